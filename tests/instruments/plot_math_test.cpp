#include "instruments/plot_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace tolvane::plot {
namespace {

std::string G(double v) { char t[32]; std::snprintf(t, sizeof t, "%g", v); return t; }

// The shorter turn wins, through north either way; exactly half a turn
// goes back. In the ring a heading stays continuous through north and
// back, and a long spin stays so however often the ring brings it back by
// whole turns.
TEST(PlotMath, HeadingsUnwrapAcrossNorth)
{
    const std::tuple<double, double, double> rows[] = {{359, 1, 361},   {1, 359, -1},       {361, 0.5, 360.5},
                                                       {-1, 358, -2},   {10, 190, -170},    {10, 189.9, 189.9},
                                                       {720.5, 0.5, 720.5}, {0, 180, -180}};
    for (const auto& [previous, heading, unwrapped] : rows)
        EXPECT_NEAR(UnwrapHeading(previous, heading), unwrapped, 1e-9) << previous << " " << heading;
    for (const auto& [in, out] : {std::pair{-0.25, 359.75}, {720.0, 0.0}, {-360.0, 0.0}, {359.5, 359.5}})
        EXPECT_DOUBLE_EQ(WrapHeading(in), out) << in;

    SampleRing ring(16);
    std::vector<float> held;
    for (double h : {355.0, 0.0, 5.0, 0.0, 355.0, 350.0}) ring.Append(0, h, 0, 0);
    for (std::size_t i = 0; i < ring.Size(); ++i) held.push_back(ring[i].values[kHeading]);
    EXPECT_EQ(held, (std::vector<float>{355, 360, 365, 360, 355, 350}));
    for (int i = 0; i < 4000; ++i) ring.Append(i, std::fmod(i * 90.0, 360.0), 0, 0);
    for (std::size_t i = 1; i < ring.Size(); ++i)
        ASSERT_FLOAT_EQ(ring[i].values[kHeading] - ring[i - 1].values[kHeading], 90.0f) << i;
    EXPECT_LT(std::abs(ring.Newest().values[kHeading]), 360.0f * 33);
}

// A capacity rounded up to a power of two, the oldest overwritten, times
// never going back; the first sample at or after a time and the nearest
// (a tie goes to the earlier).
TEST(PlotMath, RingKeepsTheNewestInTimeOrder)
{
    SampleRing ring(3);
    for (std::int32_t t : {10, 20, 30, 25, 40, 50}) ring.Append(t, 0, t, 0);
    EXPECT_EQ(ring.Capacity(), 4u);
    std::string held; // time/pitch
    for (std::size_t i = 0; i < ring.Size(); ++i) held += G(ring[i].timeMs) + "/" + G(ring[i].values[kPitch]) + " ";
    EXPECT_EQ(held, "30/30 30/25 40/40 50/50 ");
    // at a time: the first at or after it, the nearest
    const std::tuple<std::int32_t, std::size_t, std::size_t> rows[] = {{0, 0, 0},  {30, 0, 0}, {31, 2, 1}, {35, 2, 1},
                                                                      {36, 2, 2}, {50, 3, 3}, {51, 4, 3}};
    for (const auto& [t, first, nearest] : rows)
        EXPECT_EQ(std::pair(ring.FirstAtOrAfter(t), ring.Nearest(t)), std::pair(first, nearest)) << t;
}

// Ten columns of 100 ms: each column's count, whether it joins the sample
// before it (not after a silence of 2.1 s), its pitch's extremes, first
// and last; "-" for an empty column.
TEST(PlotMath, DecimationKeepsTheExtremesOfEachColumn)
{
    SampleRing ring(64);
    for (auto [t, v] : {std::pair{-1, 0.0}, {0, 5.0}, {10, -3.0}, {20, 8.0}, {99, 1.0}, {100, 2.0}, {2200, 7.0},
                        {2250, 6.0}, {2999, 9.0}, {3000, 4.0}})
        ring.Append(t, 0, v, 0);
    const std::pair<int, const char*> rows[] = {
        {0, "4 joined -3..8 5/1|1 joined 2..2 2/2|-|-|-|-|-|-|-|-"},
        {2000, "-|-|2 6..7 7/6|-|-|-|-|-|-|1 joined 9..9 9/9"},
    };
    std::vector<Column> columns;
    for (const auto& [from, expected] : rows) {
        Decimate(ring, from, from + 1000, 10, columns);
        std::string made;
        for (const Column& c : columns) {
            const TraceSpan& s = c.trace[kPitch];
            made += made.empty() ? "" : "|";
            made += c.count == 0 ? "-" : G(c.count) + (c.joined ? " joined " : " ") + G(s.min) + ".." + G(s.max) + " " +
                                             G(s.first) + "/" + G(s.last);
        }
        EXPECT_EQ(made, expected) << "from " << from;
    }
}

// The axes' limits and step for a range and a least span; the tick labels
// of angles, of headings wrapped, and of times; a heading read by the
// cursor; the CSV rows.
TEST(PlotMath, AxesLabelsAndCsvRows)
{
    // values from min to max, the least span: the axis "lo..hi by step"
    const std::tuple<double, double, double, const char*> axes[] = {
        {-3.2, 7.9, 4, "-5..10 by 5"},      {0.1, 0.3, 4, "-2..3 by 1"},         {350, 370, 10, "350..370 by 5"},
        {12, 88, 10, "0..90 by 30"},        {0, 3600, 10, "0..3600 by 1800"},    {INFINITY, -INFINITY, 4, "-2..2 by 1"},
        {-0.05, 0.05, 0.1, "-0.05..0.05 by 0.05"}};
    for (const auto& [min, max, minSpan, expected] : axes) {
        const Axis got = AutoscaleAxis(min, max, minSpan, 4);
        EXPECT_EQ(G(got.lo) + ".." + G(got.hi) + " by " + G(got.step), expected) << min << ".." << max;
    }
    // unwrapped headings from lo to hi on the 0 .. 360 axis; beyond a turn the strip wraps
    const std::tuple<double, double, const char*, bool> strips[] = {
        {10, 20, "10..20 ", false},  {350, 370, "350..360 0..10 ", false}, {-30, -20, "330..340 ", false},
        {-10, 10, "350..360 0..10 ", false}, {0, 360, "0..360 ", false}, {0, 400, "0..360 ", true}};
    for (const auto& [lo, hi, expected, wraps] : strips) {
        Interval parts[2];
        std::string made;
        for (int i = 0, n = WrapInterval(lo, hi, parts); i < n; ++i) made += G(parts[i].lo) + ".." + G(parts[i].hi) + " ";
        EXPECT_EQ(made, expected) << lo << ".." << hi;
        EXPECT_EQ(HeadingWraps(lo, hi), wraps) << lo << ".." << hi;
    }
    const std::tuple<double, double, bool, const char*> labels[] = {
        {370, 10, true, "10"},     {-0.5, 0.5, true, "359.5"}, {360, 15, true, "0"},
        {-360, 90, false, "-360"}, {-0.04, 0.1, false, "0.0"}, {2.25, 0.05, false, "2.25"}};
    for (const auto& [value, step, heading, text] : labels)
        EXPECT_EQ(AngleTickLabel(value, step, heading), text) << value;
    for (const auto& [ms, text] : {std::pair{-90'000, "-1:30"}, {0, "0:00"}, {-600'000, "-10:00"}, {-1'000, "-0:01"}})
        EXPECT_EQ(TimeTickLabel(ms), text);
    EXPECT_EQ(AnglesText(Sample{0, {-0.04f, 0, 0}}), "Heading 0.0, Pitch 0.0, Roll 0.0"); // not 360.0
    std::string csv;
    // 2026-12-07 10:45:10.250 UTC, one hour east; 10:45:10.007 UTC, an hour and a half west
    AppendCsvRow(csv, Sample{12'345, {-0.0001f, -1.5f, 0.25f}}, 1'796'640'310'250, 3600);
    AppendCsvRow(csv, Sample{7, {725.5f, 0, 90}}, 1'796'640'310'007, -5400);
    EXPECT_EQ(csv, "12.345,0.000,-1.500,0.250,2026-12-07T11:45:10.250+01:00\r\n"
                   "0.007,5.500,0.000,90.000,2026-12-07T09:15:10.007-01:30\r\n");
    EXPECT_EQ(IsoLocalTime(-1, 0), "1969-12-31T23:59:59.999+00:00");
}

} // namespace
} // namespace tolvane::plot
