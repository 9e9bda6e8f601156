#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "instruments/angular_gauge.h"
#include "instruments/compass.h"
#include "instruments/seven_segment.h"
#include "instruments/sliding_scale.h"
#include "support/golden_image.h"

namespace tolvane {
namespace {

using Maker = std::function<std::unique_ptr<Instrument>()>;
template <typename T> Maker Make()
{
    return [] { return std::make_unique<T>(); };
}

struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override { return (paints += event->type() == QEvent::Paint), false; }
    int paints = 0;
};

// A value that leaves the picture as it was repaints nothing; an identifier
// the instrument does not have reads as NaN.
TEST(Instruments, RepaintOnlyWhenThePictureChanges)
{
    const struct {
        Maker make;
        int id;
        double first, samePicture, changed;
    } cases[] = {{Make<CiAngularGaugeX>(), 65, 100.0, 120.0, 89.0}, // beyond the arc's end
                 {Make<CiAngularGaugeX>(), 63, -95.0, -100.0, -20.0},
                 {Make<CiSevenSegmentAnalogX>(), 2, 12.2, 12.4, 12.6}, // the same digits
                 {Make<CiSlidingScaleX>(), 27, 200.0, 250.0, 179.0},   // the centre held at 180
                 {Make<CiCompassX>(), 16, 10.0, 370.0, 11.0}};          // a full turn more
    for (const auto& c : cases) {
        const std::unique_ptr<Instrument> w = c.make();
        SCOPED_TRACE(std::string(w->metaObject()->className()) + " " + std::to_string(c.id));
        w->resize(150, 150);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->SetProperty(c.id, c.first);
        QCoreApplication::processEvents();
        PaintCounter counter(w.get());
        w->SetProperty(c.id, c.first);
        w->SetProperty(c.id, c.samePicture);
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints, 0);
        w->SetProperty(c.id, c.changed);
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints, 1);
        w->SetProperty(-1, 5.0);
        EXPECT_TRUE(std::isnan(w->Property(-1)));
    }
}

// One picture per state, every pixel compared: the roll gauge's arc
// colours (red beyond 45 degrees, lime within 20), its aqua markers at the
// current minimum and maximum and its pointer from the hub, held at the
// arc's ends; the pitch scale's ticks (majors every 10, mid every 5) moving
// under the middle index; the compass card turned against the heading, its
// red north mark and long ticks every 10 degrees; the readout's lime
// segments on dark ones, dashes when the value does not fit. Each is drawn
// once at another size first: the face is drawn again for a new size.
TEST(Instruments, PicturesOfEachState)
{
    using G = CiAngularGaugeX;
    using S = CiSlidingScaleX;
    using C = CiCompassX;
    using R = CiSevenSegmentAnalogX;
    const struct {
        Maker make;
        std::vector<std::pair<int, double>> properties;
        QSize size;
        const char* file;
    } pictures[] = {
        {Make<G>(), {}, {360, 326}, "instruments_roll_0.png"},
        {Make<G>(), {{G::kCurrentMin, -60}, {G::kCurrentMax, 75}, {G::kPosition, 45}}, {360, 326},
         "instruments_roll_45_marked_-60_75.png"},
        {Make<G>(), {{G::kPosition, -200}}, {360, 326}, "instruments_roll_-200_held_at_-90.png"},
        {Make<G>(), {{G::kPosition, 135}}, {180, 163}, "instruments_roll_135_held_at_90.png"},
        {Make<S>(), {}, {222, 326}, "instruments_pitch_0.png"},
        {Make<S>(), {{S::kPosition, -23}}, {222, 326}, "instruments_pitch_-23.png"},
        {Make<S>(), {{S::kPosition, 5}}, {111, 163}, "instruments_pitch_5.png"},
        {Make<C>(), {{C::kHeading, 90}}, {326, 326}, "instruments_compass_90.png"},
        {Make<C>(), {{C::kHeading, 315}}, {163, 163}, "instruments_compass_315.png"},
        {Make<C>(), {{C::kHeading, 359.9945068359375}}, {163, 163}, "instruments_compass_359.99.png"},
        {Make<C>(), {{C::kHeading, -90}}, {163, 163}, "instruments_compass_-90.png"},
        {Make<R>(), {{R::kValue, 359.9945068359375}}, {150, 52}, "instruments_readout_360.png"},
        {Make<R>(), {{R::kValue, -45.3}}, {150, 52}, "instruments_readout_-45.png"},
        {Make<R>(), {{R::kValue, 128}}, {75, 26}, "instruments_readout_128.png"},
        {Make<R>(), {{R::kValue, 1234}}, {150, 52}, "instruments_readout_1234_dashes.png"},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.file);
        const std::unique_ptr<Instrument> w = p.make();
        for (const auto& [id, value] : p.properties) w->SetProperty(id, value);
        w->resize(p.size / 2);
        w->grab();
        w->resize(p.size);
        test::ExpectGoldenImage(p.file, w->grab().toImage());
    }
}

} // namespace
} // namespace tolvane
