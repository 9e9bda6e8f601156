#include "instruments/nav_console.h"

#include <QFontMetricsF>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>
#include <vector>

#include "instruments/angular_gauge.h"
#include "instruments/compass.h"
#include "instruments/seven_segment.h"
#include "instruments/sliding_scale.h"
#include "protocol/angles.h"

namespace tolvane {
namespace {

struct Write {
    int control;
    int dispatch;
    double value;
    bool operator==(const Write&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Write& w)
{
    return os << "{" << w.control << ", " << w.dispatch << ", " << w.value << "}";
}

// A plain widget stands in for the message view.
struct Host {
    explicit Host(QSize size = QSize(800, 600))
    {
        view.resize(size);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    template <typename T = QWidget> T* Control(int id) const
    {
        return console.Window()->findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }
    QString Readout(int id) const { return Control<CiSevenSegmentAnalogX>(id)->Text(); }

    QWidget view;
    std::vector<Write> writes;
    NavConsole console{&view, [this](int c, int d, double v) { writes.push_back({c, d, v}); }};
};

// A rectangle in dialog units of `font`, as the templates define them.
QRect DialogRect(const QFont& font, QPoint origin, int x, int y, int width, int height)
{
    const QFontMetricsF fm(font);
    const double hu = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 208.0;
    const double vu = fm.height() / 8.0;
    const auto px = [](int units, double per) { return static_cast<int>(std::lround(units * per)); };
    return {origin + QPoint(px(x, hu), px(y, vu)), QSize(px(width, hu), px(height, vu))};
}

TEST(NavConsole, CannotOpenWithoutAParent)
{
    NavConsole console(nullptr);
    EXPECT_FALSE(console.Open());
    EXPECT_FALSE(console.IsOpen());
    EXPECT_EQ(console.Window(), nullptr);
    console.Update(1.0f, 2.0f, 3.0f); // nothing to write into
}

TEST(NavConsole, OpensACaptionedChildWithTheControlsOfItsTemplate)
{
    Host h;
    ASSERT_TRUE(h.console.Open());
    CaptionedChild* w = h.console.Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), &h.view);
    EXPECT_EQ(w->Caption(), QStringLiteral("Nav Console"));
    EXPECT_TRUE(w->isVisible());
    const QPoint origin = w->ClientRect().topLeft();
    EXPECT_EQ(w->ClientRect(), DialogRect(w->font(), origin, 0, 0, 309, 126));

    const struct {
        int id;
        const char* className;
        const char* name;
        int x, y, width, height;
    } controls[] = {
        {1360, "CiAngularGaugeX", "Roll", 0, 0, 120, 100},
        {1361, "CiSlidingScaleX", "Pitch", 118, 0, 74, 100},
        {1363, "CiSevenSegmentAnalogX", "Roll readout", 32, 104, 50, 16},
        {1364, "CiSevenSegmentAnalogX", "Pitch readout", 127, 105, 50, 15},
        {1365, "CiSevenSegmentAnalogX", "Azimuth readout", 222, 105, 50, 16},
        {1362, "CiCompassX", "Azimuth", 191, 0, 117, 100},
        {1366, "CiPanelX", "Instrument panel", 0, 0, 309, 126},
    };
    qsizetype above = w->children().size();
    for (const auto& c : controls) {
        QWidget* control = h.Control(c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_STREQ(control->metaObject()->className(), c.className) << c.id;
        EXPECT_EQ(control->accessibleName().toStdString(), c.name) << c.id;
        EXPECT_EQ(control->geometry(), DialogRect(w->font(), origin, c.x, c.y, c.width, c.height)) << c.id;
        EXPECT_TRUE(control->isVisible()) << c.id;
        // The template's first control lies on top, the panel beneath all.
        EXPECT_LT(w->children().indexOf(control), above) << c.id;
        above = w->children().indexOf(control);
    }
}

TEST(NavConsole, OpensAtTheTopRightWhateverWhereItWas)
{
    const struct {
        QSize first;  // the view when first opened
        QPoint moved; // where the console was dragged
        QSize second; // the view when opened again
    } cases[] = {{{800, 600}, {10, 200}, {800, 600}}, {{800, 600}, {0, 0}, {1024, 700}}, {{1200, 900}, {300, 50}, {900, 500}}};
    for (const auto& c : cases) {
        Host h(c.first);
        ASSERT_TRUE(h.console.Open());
        const QSize size = h.console.Window()->size();
        EXPECT_EQ(h.console.Window()->pos(), QPoint(c.first.width() - size.width(), 0));
        h.console.Window()->move(c.moved);
        h.console.Close();
        EXPECT_FALSE(h.console.IsOpen());
        EXPECT_EQ(h.console.Window(), nullptr);
        h.view.resize(c.second);
        ASSERT_TRUE(h.console.Open());
        EXPECT_EQ(h.console.Window()->size(), size);
        EXPECT_EQ(h.console.Window()->pos(), QPoint(c.second.width() - size.width(), 0)) << c.second.width();
        h.view.resize(c.first); // and stays there as the view is resized
        EXPECT_EQ(h.console.Window()->pos(), QPoint(c.first.width() - size.width(), 0)) << c.first.width();
    }
}

TEST(NavConsole, OpeningWhileOpenKeepsTheWindowWhereItIs)
{
    Host h;
    ASSERT_TRUE(h.console.Open());
    CaptionedChild* w = h.console.Window();
    w->move(20, 30);
    EXPECT_TRUE(h.console.Open());
    EXPECT_EQ(h.console.Window(), w);
    EXPECT_EQ(w->pos(), QPoint(20, 30));
}

TEST(NavConsole, ControlsStartFromTheirStoredStateEachTime)
{
    Host h;
    ASSERT_TRUE(h.console.Open());
    h.console.Update(123.0f, 45.0f, -30.0f);
    h.console.Close();
    ASSERT_TRUE(h.console.Open());
    EXPECT_EQ(h.Control<CiAngularGaugeX>(1360)->Property(65), 0.0);
    EXPECT_EQ(h.Control<CiCompassX>(1362)->Property(16), 0.0);
    EXPECT_EQ(h.Readout(1365), QStringLiteral("  0"));
}

TEST(NavConsole, UpdateMakesTheEightWritesInOrder)
{
    Host h;
    ASSERT_TRUE(h.console.Open());
    const float azimuth = 123.456f, roll = -12.5f, pitch = 7.3f;
    h.console.Update(azimuth, roll, pitch);
    const double a = azimuth, r = roll, p = pitch;
    const std::vector<Write> expected = {{1362, 16, a}, {1365, 2, a}, {1361, 27, p},    {1364, 2, p},
                                         {1360, 65, r}, {1363, 2, r}, {1360, 63, -20.0}, {1360, 62, 20.0}};
    EXPECT_EQ(h.writes, expected);
    // And the controls hold them.
    EXPECT_EQ(h.Control<CiCompassX>(1362)->Property(16), a);
    EXPECT_EQ(h.Control<CiSlidingScaleX>(1361)->Property(27), p);
    EXPECT_EQ(h.Control<CiAngularGaugeX>(1360)->Property(65), r);
    EXPECT_EQ(h.Readout(1365), QStringLiteral("123"));
    EXPECT_EQ(h.Readout(1364), QStringLiteral("  7"));
    EXPECT_EQ(h.Readout(1363), QStringLiteral("-13"));
}

// An orientation message's binary angles, turned into degrees as the
// dispatcher does, and what the instruments then hold and show.
TEST(NavConsole, MessageAnglesReachEachInstrument)
{
    const struct {
        std::uint16_t azimuth;
        std::int16_t roll, pitch;
        const char *azimuthText, *rollText, *pitchText;
    } cases[] = {{0xFFFF, 0, 0, "360", "  0", "  0"},
                 {0x8000, -8192, 8192, "180", "-45", " 45"},
                 {4096, 4096, -4096, " 23", " 23", "-23"}, // exactly 22.5 degrees
                 {16384, -32768, 32767, " 90", "---", "180"}};
    Host h;
    ASSERT_TRUE(h.console.Open());
    for (const auto& c : cases) {
        const auto azimuth = static_cast<float>(UnsignedAngleDegrees(c.azimuth));
        const auto roll = static_cast<float>(SignedAngleDegrees(c.roll));
        const auto pitch = static_cast<float>(SignedAngleDegrees(c.pitch));
        h.console.Update(azimuth, roll, pitch);
        EXPECT_EQ(h.Control<CiCompassX>(1362)->Property(16), static_cast<double>(azimuth));
        EXPECT_EQ(h.Control<CiAngularGaugeX>(1360)->Property(65), static_cast<double>(roll));
        EXPECT_EQ(h.Control<CiSlidingScaleX>(1361)->Property(27), static_cast<double>(pitch));
        EXPECT_EQ(h.Readout(1365).toStdString(), c.azimuthText) << c.azimuth;
        EXPECT_EQ(h.Readout(1363).toStdString(), c.rollText) << c.roll;
        EXPECT_EQ(h.Readout(1364).toStdString(), c.pitchText) << c.pitch;
    }
}

TEST(NavConsole, PutsTheGaugeMinimumAndMaximumBackAfterEveryUpdate)
{
    Host h;
    ASSERT_TRUE(h.console.Open());
    auto* gauge = h.Control<CiAngularGaugeX>(1360);
    for (float roll : {-80.0f, -20.0f, 0.0f, 33.3f, 90.0f}) {
        gauge->SetProperty(63, -70.0);
        gauge->SetProperty(62, 70.0);
        h.writes.clear();
        h.console.Update(10.0f, roll, 0.0f);
        EXPECT_EQ(gauge->Property(63), -20.0) << roll;
        EXPECT_EQ(gauge->Property(62), 20.0) << roll;
        ASSERT_EQ(h.writes.size(), 8u);
        EXPECT_EQ(h.writes[6], (Write{1360, 63, -20.0}));
        EXPECT_EQ(h.writes[7], (Write{1360, 62, 20.0}));
    }
}

TEST(NavConsole, WritesNothingWhileClosed)
{
    Host h;
    h.console.Update(1.0f, 2.0f, 3.0f);
    ASSERT_TRUE(h.console.Open());
    h.console.Close();
    h.console.Update(1.0f, 2.0f, 3.0f);
    EXPECT_TRUE(h.writes.empty());
}

TEST(NavConsole, IsClosedWhenTheViewGoesWithItsWindow)
{
    auto view = std::make_unique<QWidget>();
    NavConsole console(view.get());
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
        h.console.Update(static_cast<float>(i * 9.5), static_cast<float>(i * 5 - 100), static_cast<float>(40 - i * 2.3));
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
