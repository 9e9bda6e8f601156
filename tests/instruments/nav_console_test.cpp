#include "instruments/nav_console.h"

#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "instruments/angular_gauge.h"
#include "instruments/compass.h"
#include "instruments/seven_segment.h"
#include "instruments/sliding_scale.h"
#include "support/golden_image.h"

namespace tolvane {
namespace {

// A plain widget stands in for the message view.
struct Host {
    explicit Host(QSize size = QSize(800, 600))
    {
        view.resize(size);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    Instrument* Control(int id) const
    {
        return console.Window()->findChild<Instrument*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }
    QString Readout(int id) const { return static_cast<CiSevenSegmentAnalogX*>(Control(id))->Text(); }
    QPoint TopRight() const { return {view.width() - console.Window()->width(), 0}; }

    QWidget view;
    NavConsole console{&view};
};

// Opened at the top-right corner. The client area is the template's 309 x
// 126 dialog units of the window's font, wholly covered by the panel; the
// controls lie on the panel. Opened again while open, it stays where it was
// moved; after a close it opens at the top-right again, its controls in
// their stored state.
TEST(NavConsole, OpensTheControlsOfItsTemplateAtTheTopRight)
{
    Host h;
    ASSERT_TRUE(h.console.Open());
    CaptionedChild* w = h.console.Window();
    EXPECT_EQ(w->parentWidget(), &h.view);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->pos(), h.TopRight());
    // The picture pins the caption, the client's size in dialog units of
    // the font and the controls' places, the panel beneath them all.
    test::ExpectGoldenImage("instruments_nav_console.png", w->grab().toImage());
    EXPECT_EQ(h.Control(NavConsole::kPanelId)->geometry(), w->ClientRect());

    const QSize size = w->size();
    h.console.Update(123.0f, 45.0f, -30.0f);
    w->move(10, 200);
    EXPECT_TRUE(h.console.Open());
    EXPECT_EQ(h.console.Window(), w);
    EXPECT_EQ(w->pos(), QPoint(10, 200));
    h.console.Close();
    EXPECT_FALSE(h.console.IsOpen());
    EXPECT_EQ(h.console.Window(), nullptr);
    h.view.resize(1024, 700);
    ASSERT_TRUE(h.console.Open());
    EXPECT_EQ(h.console.Window()->size(), size);
    EXPECT_EQ(h.console.Window()->pos(), h.TopRight());
    h.view.resize(900, 500); // and stays there as the view is resized
    EXPECT_EQ(h.console.Window()->pos(), h.TopRight());
    EXPECT_EQ(h.Control(NavConsole::kRollGaugeId)->Property(CiAngularGaugeX::kPosition), 0.0);
    EXPECT_EQ(h.Control(NavConsole::kCompassId)->Property(CiCompassX::kHeading), 0.0);
    EXPECT_EQ(h.Readout(NavConsole::kAzimuthReadoutId), QStringLiteral("  0"));
}

// What the instruments hold and show after an update. The gauge's stored
// minimum and maximum are put back after every update.
TEST(NavConsole, UpdateWritesTheAnglesIntoEachInstrument)
{
    const struct {
        float azimuth, roll, pitch;
        const char* readouts; // azimuth, roll, pitch
    } cases[] = {{359.99f, 0, 0, "360|  0|  0"}, {180, -45, 45, "180|-45| 45"}, {90, -180, 180, " 90|---|180"}};
    Host h;
    ASSERT_TRUE(h.console.Open());
    Instrument* gauge = h.Control(NavConsole::kRollGaugeId);
    for (const auto& c : cases) {
        gauge->SetProperty(CiAngularGaugeX::kCurrentMin, -70.0);
        gauge->SetProperty(CiAngularGaugeX::kCurrentMax, 70.0);
        h.console.Update(c.azimuth, c.roll, c.pitch);
        EXPECT_EQ(h.Control(NavConsole::kCompassId)->Property(CiCompassX::kHeading), c.azimuth);
        EXPECT_EQ(h.Control(NavConsole::kPitchScaleId)->Property(CiSlidingScaleX::kPosition), c.pitch);
        EXPECT_EQ(gauge->Property(CiAngularGaugeX::kPosition), c.roll);
        EXPECT_EQ(gauge->Property(CiAngularGaugeX::kCurrentMin), -20.0);
        EXPECT_EQ(gauge->Property(CiAngularGaugeX::kCurrentMax), 20.0);
        EXPECT_EQ(h.Readout(NavConsole::kAzimuthReadoutId) + "|" + h.Readout(NavConsole::kRollReadoutId) + "|" +
                      h.Readout(NavConsole::kPitchReadoutId),
                  c.readouts);
    }
}

// Without a window nothing opens or is written: no parent, or the view
// gone with its window.
TEST(NavConsole, WritesNothingWithoutAWindow)
{
    NavConsole orphan(nullptr);
    EXPECT_FALSE(orphan.Open());
    EXPECT_EQ(orphan.Window(), nullptr);
    orphan.Update(1.0f, 2.0f, 3.0f);

    auto view = std::make_unique<QWidget>();
    NavConsole console(view.get(), [](int, int, double) { ADD_FAILURE() << "written after the view went"; });
    ASSERT_TRUE(console.Open());
    view.reset();
    EXPECT_FALSE(console.IsOpen());
    EXPECT_EQ(console.Window(), nullptr);
    console.Update(1.0f, 2.0f, 3.0f);
    EXPECT_FALSE(console.Open());
}

// What updates leave on screen is what a full redraw paints.
TEST(NavConsole, UpdatesLeaveTheFullRedrawPicture)
{
    Host h;
    ASSERT_TRUE(h.console.Open());
    QCoreApplication::processEvents();
    for (int i = 0; i < 40; ++i) {
        h.console.Update(static_cast<float>(i * 9.5), static_cast<float>(i * 5 - 100),
                         static_cast<float>(40 - i * 2.3));
        QCoreApplication::processEvents();
    }
    QWidget* w = h.console.Window();
    const QImage onScreen =
        h.view.screen()->grabWindow(h.view.winId(), w->x(), w->y(), w->width(), w->height()).toImage();
    const QImage fresh = w->grab().toImage();
    EXPECT_TRUE(onScreen.convertToFormat(QImage::Format_RGB32) == fresh.convertToFormat(QImage::Format_RGB32));
}

} // namespace
} // namespace tolvane
