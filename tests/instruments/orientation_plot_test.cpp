#include "instruments/orientation_plot.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "support/golden_image.h"

namespace tolvane {
namespace {

// A sample a second for 700 s: the drop-down's span decides the oldest
// sample the plot draws (the cursor at the left edge reads it); paused, the
// plot holds still while recording goes on; its right edge is now, so a
// silence is a gap; the CSV has the last 10 minutes, and the save dialog
// proposes the folder saved into last.
TEST(OrientationPlot, SpanChoicePauseAndCsv)
{
    QWidget view;
    view.resize(900, 600);
    view.show();
    std::int32_t now = 700'000;
    OrientationPlot plot(&view, [&now] { return now; });
    for (int s = 0; s <= 700; ++s) plot.Append(s * 1000, s % 360 + 0.25, -0.75, 0.25);
    ASSERT_TRUE(plot.Open());
    auto* spans = plot.Window()->findChild<QComboBox*>();
    ASSERT_NE(spans, nullptr);
    for (int index : {1, 2}) {
        spans->setCurrentIndex(index);
        EXPECT_EQ(plot.SpanMs(), plot::kSpans[index].ms);
    }
    EXPECT_EQ(plot.Canvas()->CursorText(plot.Canvas()->PlotArea().left()),
              "-599.00 s  Heading 101.2, Pitch -0.8, Roll 0.2"); // halves to even, as printf rounds
    // Legend, strips, grid and labels (the frame of each strip whole where a grid line falls on its edge).
    test::ExpectGoldenImage("instruments_orientation_plot.png", plot.Canvas()->grab().toImage());
    plot.SetPaused(true);
    plot.Append(701'000, 0, 0, 0);
    EXPECT_EQ(plot.RightEdgeMs(), 700'000);
    plot.SetPaused(false);
    EXPECT_EQ(plot.RightEdgeMs(), 701'000);
    now = 720'000;
    EXPECT_EQ(plot.Canvas()->CursorText(plot.Canvas()->PlotArea().right()), "0.00 s  no data");

    QTemporaryDir dir;
    ASSERT_TRUE(plot.SaveCsv(dir.filePath("plot.csv")));
    QFile file(dir.filePath("plot.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    EXPECT_EQ(rows.size(), 1 + 601 + 1); // header, 101 s .. 701 s, and the empty piece after the last CRLF
    EXPECT_EQ(rows[0], "time_s,heading_deg,pitch_deg,roll_deg,time\r");
    const QRegularExpression localTime(R"(^101\.000,101\.250,-0\.750,0\.250,[\d-]{10}T[\d:]{8}\.\d{3}[+-][\d:]{5}\r$)");
    EXPECT_TRUE(localTime.match(rows[1]).hasMatch()) << rows[1].toStdString();
    EXPECT_FALSE(plot.SaveCsv(dir.filePath("missing/plot.csv")));
    EXPECT_EQ(plot.ProposedPath(true), dir.filePath("orientation.png"));
}

} // namespace
} // namespace tolvane
