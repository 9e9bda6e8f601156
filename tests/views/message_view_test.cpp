#include "views/message_view.h"

#include <QAccessible>
#include <QPainter>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/golden_image.h"
#include "views_test_support.h"

namespace tolvane {
namespace {

using test::Settle;

StatusLine Nmea(const std::string& text)
{
    DeviceMessage m;
    m.type = kNmeaType;
    m.length = static_cast<std::uint16_t>(text.size());
    std::memcpy(m.payload, text.data(), text.size());
    StatusLine line;
    EXPECT_TRUE(RenderMessage(m, line));
    return line;
}

// Of different lengths, so that a row shifted or left stale shows.
StatusLine Numbered(int i)
{
    return Nmea("$LINE," + std::to_string(i) + std::string(static_cast<std::size_t>(i % 7) * 3, '#'));
}

// The view in a window, sized in rows, and the two pictures to compare.
struct ViewWindow {
    explicit ViewWindow(int rows)
    {
        view->SetDisplayFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
        lh = view->LineHeight();
        window.resize(640, 60 * lh);
        SetRows(rows);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        Settle(&window);
    }
    // Room for `rows` rows and part of a line more.
    void SetRows(int rows) { view->setGeometry(7, 5, 600, (rows + 1) * lh + lh / 3); }
    QRect Row(int k) const { return {0, lh / 2 + k * lh, view->width(), lh}; }
    QImage OnScreen() const // the backing store
    {
        const QImage all = window.screen()->grabWindow(window.winId()).toImage();
        return all.copy(view->geometry()).convertToFormat(QImage::Format_RGB32);
    }
    QImage Fresh() const { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QWidget window;
    MessageView* view = new MessageView(&window);
    int lh = 0;
};

// Stands in for the orientation panel: an opaque child, striped so that
// its pixels moved by a scroll show; named to the view as lying over it,
// or not.
class Panel : public QWidget {
public:
    Panel(ViewWindow& w, int top, bool named = true) : QWidget(w.view)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setGeometry(w.view->width() / 2, top, w.view->width() / 3, w.view->height());
        show();
        if (named)
            w.view->SetOverlapProvider([this] { return std::vector<QWidget*>{this}; });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        for (int y = 0; y < height(); y += 3)
            painter.fillRect(0, y, width(), 3, y % 2 == 0 ? Qt::blue : Qt::yellow);
    }
};

// After every line (Add) or step the pixels on screen are a full redraw's.
TEST(MessageView, IncrementalPaintLeavesTheFullRedrawPicture)
{
    enum Kind { Add, Batch, Rows, Font, PanelAt, ChildAt };
    struct Step {
        Kind kind;
        int n;
    };
    const struct {
        const char* name;
        int rows;
        std::vector<Step> steps;
    } cases[] = {
        {"fills, scrolls and wraps past 50", 20, {{Add, 60}}},
        {"several between paints", 15, {{Batch, 3}, {Batch, 7}, {Add, 2}, {Batch, 20}}},
        {"resized between", 20, {{Add, 10}, {Rows, 6}, {Add, 5}, {Rows, 30}, {Batch, 8}}},
        {"too short, then grown", 0, {{Add, 3}, {Rows, 1}, {Add, 2}, {Rows, 8}}},
        {"font change", 10, {{Add, 15}, {Font, 14}, {Add, 4}}},
        {"a panel over the rows", 20, {{PanelAt, 14}, {Add, 30}, {Batch, 4}}},
        {"a child over the rows that the view is not told of", 20, {{ChildAt, 14}, {Add, 30}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ViewWindow w(c.rows);
        int serial = 0;
        for (const Step& s : c.steps) {
            for (int i = 0; i < (s.kind == Add ? s.n : 1); ++i) {
                for (int j = 0; j < (s.kind == Add ? 1 : s.kind == Batch ? s.n : 0); ++j)
                    w.view->AddMessage(Numbered(serial++));
                if (s.kind == Rows)
                    w.SetRows(s.n);
                if (s.kind == Font)
                    w.view->SetDisplayFont(QFont(QStringLiteral("DejaVu Sans"), s.n));
                if (s.kind == PanelAt || s.kind == ChildAt)
                    new Panel(w, w.Row(s.n).top() + w.lh / 3, s.kind == PanelAt);
                Settle(&w.window);
                ASSERT_EQ(w.OnScreen(), w.Fresh()) << serial << " lines in " << w.view->VisibleRows() << " rows";
            }
        }
        const QImage screen = w.OnScreen();
        EXPECT_NE(screen, QImage(screen.size(), screen.format())) << "nothing drawn";
    }
}

TEST(MessageView, NewLinePaintsOneRowAndOneMoreAboveAPanel)
{
    ViewWindow w(8);
    test::PaintRecorder recorder(w.view);
    for (int i = 0; i < 20; ++i) {
        recorder.painted = {};
        w.view->AddMessage(Numbered(i));
        Settle(&w.window);
        // The next free row; once the rows are full, the bottom row.
        EXPECT_EQ(recorder.painted, QRegion(w.Row(std::min(i, 7)))) << i;
    }
    const Panel* panel = new Panel(w, w.Row(5).top());
    Settle(&w.window);
    recorder.painted = {};
    w.view->AddMessage(Numbered(20));
    Settle(&w.window);
    EXPECT_EQ(recorder.painted, (QRegion(w.Row(7)) + w.Row(4)) - panel->geometry());
}

// Black columns on white (not the palette's red): "NMEA" from one character
// in, "X" from eleven, inside the first row below half a line of margin.
TEST(MessageView, BlackColumnsOnWhite)
{
    ViewWindow w(4);
    QPalette palette = w.view->palette();
    palette.setColor(QPalette::Window, Qt::red);
    w.view->setPalette(palette);
    w.view->AddMessage(Nmea("X"));
    Settle(&w.window);
    test::ExpectGoldenImage("views_message_view_columns.png", w.OnScreen());
}

// A list of the rows on screen, each where its row is, the oldest first.
TEST(MessageView, AccessibleListOfTheVisibleLines)
{
    ViewWindow w(5);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.view);
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 8; ++i)
        w.view->AddMessage(Nmea("L" + std::to_string(i)));
    ASSERT_EQ(list->childCount(), 5);
    for (int row = 0; row < 5; ++row) {
        QAccessibleInterface* item = list->child(row);
        EXPECT_EQ(item->text(QAccessible::Name), QStringLiteral("NMEA L%1").arg(row + 3));
        EXPECT_EQ(list->indexOfChild(item), row);
        EXPECT_EQ(item->rect().top(), w.view->mapToGlobal(w.Row(row).topLeft()).y());
    }
    EXPECT_EQ(list->child(5), nullptr);
    w.SetRows(2);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), QStringLiteral("NMEA L6"));

    // Paused, the list holds still while lines go on arriving, and says so;
    // the lines chosen with the mouse are its selected items and Copy's text.
    w.view->SetPaused(true);
    for (int i = 8; i < 12; ++i)
        w.view->AddMessage(Nmea("L" + std::to_string(i)));
    EXPECT_EQ(w.view->LineCount(), 12);
    EXPECT_EQ(list->text(QAccessible::Description), QStringLiteral("Paused"));
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), QStringLiteral("NMEA L7"));
    QTest::mouseClick(w.view, Qt::LeftButton, {}, QPoint(10, 1));
    EXPECT_FALSE(list->child(1)->state().selected) << "a click above the first row chooses no line";
    QTest::mouseClick(w.view, Qt::LeftButton, {}, w.Row(1).center());
    EXPECT_FALSE(list->child(0)->state().selected);
    QTest::mouseClick(w.view, Qt::LeftButton, Qt::ShiftModifier, w.Row(0).center());
    EXPECT_TRUE(list->child(0)->state().selected && list->child(1)->state().selected);
    EXPECT_EQ(w.view->CopyText(), QStringLiteral("NMEA      L6\nNMEA      L7\n"));
    w.view->SetPaused(false);
    EXPECT_EQ(list->text(QAccessible::Description), QString());
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), QStringLiteral("NMEA L11"));
    // Cleared while paused, the view follows the new lines again.
    w.view->SetPaused(true);
    w.view->Clear();
    EXPECT_FALSE(w.view->Paused());
}

} // namespace
} // namespace tolvane
