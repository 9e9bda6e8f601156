#include "instruments/plot_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tolvane::plot {
namespace {

// The shorter turn wins, through north either way; exactly half a turn
// goes back.
TEST(PlotMath, UnwrapsHeadingAcrossNorthBothWays)
{
    const struct {
        double previous, heading, unwrapped;
    } rows[] = {{359, 1, 361},    {1, 359, -1},       {361, 0.5, 360.5},     {-1, 358, -2},
                {10, 190, -170},  {10, 189.9, 189.9}, {720.5, 0.5, 720.5},   {0, 180, -180}};
    for (const auto& r : rows)
        EXPECT_NEAR(UnwrapHeading(r.previous, r.heading), r.unwrapped, 1e-9) << r.previous << " " << r.heading;
    for (const auto& [in, out] : {std::pair{-0.25, 359.75}, {720.0, 0.0}, {-360.0, 0.0}, {359.5, 359.5}})
        EXPECT_DOUBLE_EQ(WrapHeading(in), out) << in;

    // Through north and back in the ring; then a long spin, which stays
    // continuous however often the ring brings it back by whole turns.
    SampleRing ring(16);
    for (double h : {350.0, 355.0, 0.0, 5.0, 0.0, 355.0}) ring.Append(0, h, 0, 0);
    std::string seen;
    for (std::size_t i = 0; i < ring.Size(); ++i) seen += std::to_string(int(ring[i].values[kHeading])) + " ";
    EXPECT_EQ(seen, "350 355 360 365 360 355 ");
    for (int i = 0; i < 4000; ++i) ring.Append(i, std::fmod(i * 90.0, 360.0), 0, 0);
    for (std::size_t i = 1; i < ring.Size(); ++i)
        ASSERT_FLOAT_EQ(ring[i].values[kHeading] - ring[i - 1].values[kHeading], 90.0f) << i;
    EXPECT_LT(std::abs(ring.Newest().values[kHeading]), 360.0f * 33);
}

// Fixed capacity, oldest overwritten; times never go back; look-ups by time.
TEST(PlotMath, RingKeepsTheNewestSamplesInTimeOrder)
{
    SampleRing ring(3); // rounded up to 4
    for (std::int32_t t : {10, 20, 30, 25, 40, 50}) ring.Append(t, 0, t, 0);
    EXPECT_EQ(ring.Capacity(), 4u);
    std::string held;
    for (std::size_t i = 0; i < ring.Size(); ++i) held += std::to_string(ring[i].timeMs) + " ";
    EXPECT_EQ(held, "30 30 40 50 ");
    EXPECT_EQ(ring[1].values[kPitch], 25.0f);
    const struct {
        std::int32_t t;
        std::size_t first, nearest;
    } rows[] = {{0, 0, 0}, {30, 0, 0}, {31, 2, 1}, {35, 2, 1}, {36, 2, 2}, {50, 3, 3}, {51, 4, 3}};
    for (const auto& r : rows) {
        EXPECT_EQ(ring.FirstAtOrAfter(r.t), r.first) << r.t;
        EXPECT_EQ(ring.Nearest(r.t), r.nearest) << r.t;
    }
}

// Ten columns of 100 ms from 0: a column's extremes, first and last, and
// whether it joins the sample before it.
TEST(PlotMath, DecimationKeepsMinAndMaxPerColumn)
{
    SampleRing ring(64);
    for (auto [t, v] : {std::pair{-1, 0.0}, {0, 5.0}, {10, -3.0}, {20, 8.0}, {99, 1.0}, {100, 2.0},
                        {2200, 7.0}, {2250, 6.0}, {2999, 9.0}, {3000, 4.0}})
        ring.Append(t, 0, v, 0);
    std::vector<Column> out;
    Decimate(ring, 0, 1000, 10, out);
    const auto text = [](const Column& c) {
        const TraceSpan& s = c.trace[kPitch];
        return c.count == 0 ? std::string("-")
                            : std::to_string(c.count) + (c.joined ? "j " : " ") + std::to_string(int(s.min)) + ".." +
                                  std::to_string(int(s.max)) + " " + std::to_string(int(s.first)) + "/" +
                                  std::to_string(int(s.last));
    };
    EXPECT_EQ(text(out[0]) + "|" + text(out[1]) + "|" + text(out[2]), "4j -3..8 5/1|1j 2..2 2/2|-");
    Decimate(ring, 2000, 3000, 10, out); // after a silence of 2.1 s: not joined
    EXPECT_EQ(text(out[2]) + "|" + text(out[9]), "2 6..7 7/6|1j 9..9 9/9");

}

TEST(PlotMath, AxesAndTickLabels)
{
    const struct {
        double min, max, minSpan, lo, hi, step;
    } axes[] = {{-3.2, 7.9, 4, -5, 10, 5},   {0.1, 0.3, 4, -2, 3, 1},    {350, 370, 10, 350, 370, 5},
                {12, 88, 10, 0, 90, 30},      {0, 3600, 10, 0, 3600, 1800}, {INFINITY, -INFINITY, 4, -2, 2, 1},
                {-0.05, 0.05, 0.1, -0.05, 0.05, 0.05}};
    for (const auto& a : axes) {
        const Axis got = AutoscaleAxis(a.min, a.max, a.minSpan, 4);
        EXPECT_NEAR(got.lo, a.lo, 1e-9) << a.min << ".." << a.max;
        EXPECT_NEAR(got.hi, a.hi, 1e-9) << a.min << ".." << a.max;
        EXPECT_NEAR(got.step, a.step, 1e-9) << a.min << ".." << a.max;
    }
    const struct {
        double value, step;
        bool heading;
        const char* text;
    } labels[] = {{370, 10, true, "10"},    {-0.5, 0.5, true, "359.5"}, {360, 15, true, "0"},
                  {-360, 90, false, "-360"}, {-0.04, 0.1, false, "0.0"}, {2.25, 0.05, false, "2.25"}};
    for (const auto& l : labels) EXPECT_EQ(AngleTickLabel(l.value, l.step, l.heading), l.text) << l.value;
    for (const auto& [ms, text] : {std::pair{-90'000, "-1:30"}, {0, "0:00"}, {-600'000, "-10:00"}, {-5'000, "-0:05"}})
        EXPECT_EQ(TimeTickLabel(ms), text);
    std::string csv;
    AppendCsvRow(csv, Sample{12'345, {-0.0001f, -1.5f, 0.25f}});
    AppendCsvRow(csv, Sample{7, {725.5f, 0, 90}});
    EXPECT_EQ(csv, "12.345,0.000,-1.500,0.250\r\n0.007,5.500,0.000,90.000\r\n");
}

} // namespace
} // namespace tolvane::plot
