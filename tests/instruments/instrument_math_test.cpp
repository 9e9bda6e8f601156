#include "instruments/instrument_math.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/golden.h"

namespace tolvane::instruments {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The instruments' geometry and texts as a transcript, one line per input,
// in instruments_math.txt. It pins: the value's place on the arc, its ends
// held and NaN at the low end; seven majors with two minors between each;
// the pitch scale's window of 50 degrees following the value (its centre
// held to a signed angle's range), its whole-degree ticks (M major every
// 10, m mid every 5, . minor) and their places; a heading in [0, 360), the
// card turned against it and the point of the compass it is nearest (the
// boundaries of N, NE and NW beside their near misses); the card's labels;
// the readout's whole degrees, right-aligned, or dashes when the rounded
// value does not fit (a minus sign takes a cell); the fit of a logical box.
TEST(InstrumentMath, Transcript)
{
    std::ostringstream out;
    out.precision(12);
    const auto list = [&out](const std::vector<double>& values) {
        for (double v : values) out << " " << v;
        out << "\n";
    };
    for (const Arc arc : {Arc{-90.0, 90.0, 180.0}, Arc{0.0, 100.0, 270.0}})
        for (double v : {-1e3, -20.0, 0.0, 75.0, 90.0, 100.0, 120.0, kInf, kNaN})
            out << "arc " << arc.min << ".." << arc.max << " over " << arc.spanDegrees << ": " << v << " at "
                << ArcAngle(arc, v) << "\n";
    for (int majors : {7, 1}) {
        out << majors << " majors on -90..90:";
        list(MajorTicks(-90.0, 90.0, majors));
        out << "  two minors between each:";
        list(MinorTicks(-90.0, 90.0, majors, 2));
    }
    const auto window = [&out](const ScaleWindow& w) {
        const std::vector<ScaleTick> ticks = WindowTicks(w, 1.0, 5, 10);
        out << "window " << w.low << ".." << w.high << ": " << ticks.size() << " ticks";
        if (!ticks.empty())
            out << " from " << ticks.front().value << " at " << ticks.front().position << ", last at "
                << ticks.back().position << " ";
        for (const ScaleTick& t : ticks)
            out << (t.kind == TickKind::kMajor ? 'M' : t.kind == TickKind::kMid ? 'm' : '.');
        for (const ScaleTick& t : ticks)
            if (t.kind == TickKind::kMajor)
                out << " " << TickLabel(t.value) << "@" << t.position;
        out << "\n";
    };
    for (double v : {7.3, -42.5, 5.0, 500.0, kNaN}) {
        out << "pitch " << v << ": ";
        window(FollowingWindow(v, 50.0));
    }
    window({0.5, 1.5});
    window({0.0, 200000.5}); // too many ticks to draw
    out << "labels of -20 and -0: " << TickLabel(-20.0) << " " << TickLabel(-0.0) << "\n";
    for (double h : {22.4, 22.5, 135.0, 337.4, 337.5, 720.5, -90.0, -1e-20, kNaN, kInf})
        out << "heading " << h << ": " << NormalizeHeading(h) << ", card turned " << CardRotation(h) << ", "
            << DirectionName(h) << "\n";
    for (int d : {0, 30, 90, 150, 180, 270, 330, -30, 15, 360})
        out << "card label at " << d << ": '" << CardLabel(d) << "'\n";
    const struct {
        double value;
        int digits;
    } readouts[] = {{359.9945068359375, 3}, {-45.5, 3}, {22.5, 3}, {-0.4, 3}, {-0.5, 3},    {999.4, 3},
                    {999.5, 3},             {-99.4, 3}, {-99.5, 3}, {kNaN, 3}, {-180.0, 4}, {-1.0, 1}};
    for (const auto& r : readouts)
        out << "readout of " << r.value << " in " << r.digits << " cells: '" << ReadoutText(r.value, r.digits) << "'\n";
    const struct {
        double lw, lh, w, h;
        bool keepAspect;
    } fits[] = {{180, 163, 360, 163, true}, {180, 163, 360, 400, true}, {75, 26, 150, 13, false}};
    for (const auto& f : fits) {
        const Fit fit = FitBox(f.lw, f.lh, f.w, f.h, f.keepAspect);
        out << f.lw << "x" << f.lh << " on " << f.w << "x" << f.h
            << (f.keepAspect ? " keeping the aspect" : " stretched") << ": scale " << fit.sx << " " << fit.sy
            << ", offset " << fit.dx << " " << fit.dy << "\n";
    }
    test::ExpectGolden("instruments_math.txt", out.str());
}

} // namespace
} // namespace tolvane::instruments
