#include "instruments/plot_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "support/golden.h"

namespace tolvane::plot {
namespace {

// The plot's maths as a transcript, one line per input, in
// instruments_plot_math.txt. It pins: a heading unwrapped by the shorter
// turn, through north either way, exactly half a turn going back, and
// wrapped into [0, 360); the ring's headings continuous through north and
// back; its fixed capacity (rounded up to a power of two), the oldest
// overwritten, times never going back, look-ups of the first sample at or
// after a time and of the nearest; ten columns of 100 ms, each with its
// sample count, whether it joins the sample before it (not after a
// silence of 2.1 s), its extremes, first and last; the axes' limits and
// step for a range and a least span; headings on the 0 .. 360 axis a strip
// of more than a turn shows; the tick labels of angles, headings wrapped,
// and of times; the CSV rows with their local times.
TEST(PlotMath, Transcript)
{
    std::ostringstream out;
    for (const auto& [previous, heading] : {std::pair{359.0, 1.0}, {1, 359}, {361, 0.5}, {-1, 358}, {10, 190},
                                            {10, 189.9}, {720.5, 0.5}, {0, 180}})
        out << "heading " << heading << " after " << previous << ": " << UnwrapHeading(previous, heading) << "\n";
    for (double in : {-0.25, 720.0, -360.0, 359.5})
        out << "heading " << in << " wrapped: " << WrapHeading(in) << "\n";

    SampleRing spin(16);
    out << "headings in the ring:";
    for (double h : {350.0, 355.0, 0.0, 5.0, 0.0, 355.0}) spin.Append(0, h, 0, 0);
    for (std::size_t i = 0; i < spin.Size(); ++i) out << " " << spin[i].values[kHeading];
    out << "\n";
    // A long spin stays continuous however often the ring brings it back
    // by whole turns.
    for (int i = 0; i < 4000; ++i) spin.Append(i, std::fmod(i * 90.0, 360.0), 0, 0);
    for (std::size_t i = 1; i < spin.Size(); ++i)
        ASSERT_FLOAT_EQ(spin[i].values[kHeading] - spin[i - 1].values[kHeading], 90.0f) << i;
    EXPECT_LT(std::abs(spin.Newest().values[kHeading]), 360.0f * 33);

    SampleRing ring(3);
    for (std::int32_t t : {10, 20, 30, 25, 40, 50}) ring.Append(t, 0, t, 0);
    out << "ring of 3 holds " << ring.Capacity() << ", times and pitches after 10 20 30 25 40 50:";
    for (std::size_t i = 0; i < ring.Size(); ++i) out << " " << ring[i].timeMs << "/" << ring[i].values[kPitch];
    out << "\n";
    for (std::int32_t t : {0, 30, 31, 35, 36, 50, 51})
        out << "at " << t << ": first at or after " << ring.FirstAtOrAfter(t) << ", nearest " << ring.Nearest(t)
            << "\n";

    SampleRing pitches(64);
    for (auto [t, v] : {std::pair{-1, 0.0}, {0, 5.0}, {10, -3.0}, {20, 8.0}, {99, 1.0}, {100, 2.0},
                        {2200, 7.0}, {2250, 6.0}, {2999, 9.0}, {3000, 4.0}})
        pitches.Append(t, 0, v, 0);
    std::vector<Column> columns;
    for (const int from : {0, 2000}) {
        Decimate(pitches, from, from + 1000, 10, columns);
        out << "pitch in columns of 100 ms from " << from << ":";
        for (const Column& c : columns) {
            const TraceSpan& s = c.trace[kPitch];
            out << (c.count > 0 ? " |" : " | -");
            if (c.count > 0)
                out << " " << c.count << (c.joined ? " joined " : " ") << s.min << ".." << s.max << " " << s.first
                    << "/" << s.last;
        }
        out << "\n";
    }

    const struct {
        double min, max, minSpan;
    } axes[] = {{-3.2, 7.9, 4}, {0.1, 0.3, 4}, {350, 370, 10}, {12, 88, 10}, {0, 3600, 10},
                {INFINITY, -INFINITY, 4}, {-0.05, 0.05, 0.1}};
    for (const auto& a : axes) {
        const Axis got = AutoscaleAxis(a.min, a.max, a.minSpan, 4);
        out << "axis for " << a.min << ".." << a.max << ", at least " << a.minSpan << ": " << got.lo << ".." << got.hi
            << " by " << got.step << "\n";
    }
    for (const auto& [lo, hi] : {std::pair{10.0, 20.0}, {350, 370}, {-30, -20}, {-10, 10}, {0, 360}, {0, 400}}) {
        Interval parts[2];
        const int n = WrapInterval(lo, hi, parts);
        out << "headings " << lo << ".." << hi << " on 0..360:";
        for (int i = 0; i < n; ++i) out << " " << parts[i].lo << ".." << parts[i].hi;
        out << (HeadingWraps(lo, hi) ? ", the strip wrapped" : "") << "\n";
    }
    const struct {
        double value, step;
        bool heading;
    } labels[] = {{370, 10, true}, {-0.5, 0.5, true}, {360, 15, true}, {-360, 90, false}, {-0.04, 0.1, false},
                  {2.25, 0.05, false}};
    for (const auto& l : labels)
        out << (l.heading ? "heading " : "angle ") << l.value << " by " << l.step << ": '"
            << AngleTickLabel(l.value, l.step, l.heading) << "'\n";
    for (std::int32_t ms : {-90'000, 0, -600'000, -5'000})
        out << "time " << ms << " ms: '" << TimeTickLabel(ms) << "'\n";
    std::string csv;
    AppendCsvRow(csv, Sample{12'345, {-0.0001f, -1.5f, 0.25f}}, 1'796'640'310'250, 3600);
    AppendCsvRow(csv, Sample{7, {725.5f, 0, 90}}, 1'796'640'310'007, -5400);
    out << "CSV rows of 12345 ms -0.0001 -1.5 0.25 at 2026-12-07 10:45:10.250 UTC, 1 h east, and 7 ms 725.5 0 90"
           " at 10:45:10.007 UTC, 1:30 west:\n" << csv << "1 ms before 1970: " << IsoLocalTime(-1, 0) << "\n";
    test::ExpectGolden("instruments_plot_math.txt", out.str());
}

} // namespace
} // namespace tolvane::plot
