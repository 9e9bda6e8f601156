// Where the plot puts values, ticks and labels, and what its cursor reads.
#include "instruments/plot_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tolvane::plot {
namespace {

// A strip 100 pixels high from 20 down, over -10 .. 10: -10 on the line
// below the strip, 10 on its top line; a value beyond the axis beyond the
// strip. The time axis 601 pixels wide from 50: now on the last column;
// 100 wide: a tick between columns on the one to its left. The extremes
// of the columns that hold samples, of the traces asked for.
TEST(PlotGeometry, ValuesTicksAndExtremes)
{
    const struct {
        Axis axis;
        double value, y;
    } values[] = {{{-10, 10, 5}, -10, 120}, {{-10, 10, 5}, 10, 20}, {{-10, 10, 5}, 0, 70},
                  {{-10, 10, 5}, 2.5, 57.5}, {{-10, 10, 5}, 12, 10}, {kWrappedHeadingAxis, 90, 95}};
    for (const auto& v : values) EXPECT_NEAR(ValueY(v.axis, 20, 100, v.value), v.y, 1e-9) << v.value;
    const struct {
        int width, backMs, x;
    } ticks[] = {{601, 0, 650}, {601, 30'000, 50}, {601, 5'000, 550}, {100, 5'000, 132}, {100, 0, 149}};
    for (const auto& t : ticks) EXPECT_EQ(TimeTickX(50, t.width, 30'000, t.backMs), t.x) << t.width << " " << t.backMs;

    std::vector<Column> columns(3);
    columns[0] = {1, false, {{5, 7, 5, 7}, {-1, 2, 2, -1}, {0, 0, 0, 0}}};
    columns[1] = {0, false, {{-99, 99, 0, 0}, {-99, 99, 0, 0}, {-99, 99, 0, 0}}}; // no samples: not read
    columns[2] = {2, true, {{6, 9, 9, 6}, {0, 1, 0, 1}, {-4, 3, 3, -4}}};
    const struct {
        std::initializer_list<int> traces;
        double lo, hi;
    } extremes[] = {{{kHeading}, 5, 9}, {{kPitch, kRoll}, -4, 3}, {{kPitch}, -1, 2}};
    for (const auto& e : extremes) {
        const Interval got = Extremes(columns, e.traces);
        EXPECT_TRUE(got.lo == e.lo && got.hi == e.hi) << got.lo << ".." << got.hi;
    }
    EXPECT_TRUE(std::isinf(Extremes({}, {kHeading}).lo) && Extremes({}, {kHeading}).lo > 0);
}

// Labels 30 pixels wide placed from the right, 6 pixels apart at least:
// one at the right end pushed in, one centred, one too close left out (the
// next measured from the last one placed), one a pixel too close and one
// just far enough, one at the left end pushed in. The first kept off the
// end by the gap; a row narrower than a label puts it at the left end.
TEST(PlotGeometry, TimeLabelsLeftOutWhereTheyWouldTouch)
{
    TimeLabelRow row(60, 500, 500, 6);
    const struct {
        int tickX, x;
    } labels[] = {{492, 470}, {440, 425}, {410, -1}, {400, 385}, {365, -1}, {364, 349}, {61, 60}};
    for (const auto& l : labels) EXPECT_EQ(row.Place(l.tickX, 30).value_or(-1), l.x) << l.tickX;
    EXPECT_EQ(TimeLabelRow(60, 500, 499, 6).Place(492, 30), std::nullopt);
    EXPECT_EQ(TimeLabelRow(60, 80, 500, 6).Place(75, 30), 60);
}

// A sample a second from 0 to 700 s, heading the second's count. Over
// 30 s ending at 700 s, 300 columns of 100 ms: the first column's end
// (670.1 s) reads the oldest sample drawn (671 s, not 670 s before the
// span), the last column the newest; beside the plot nothing. With the
// right edge moved on, the cursor finds a sample 2 s away but not 2.001 s,
// and over 10 min in 100 columns one 10 s away (two columns, 12 s); only
// the time where none is near, nothing where none is drawn.
TEST(PlotGeometry, CursorReadsTheNearestSampleDrawn)
{
    SampleRing ring(1024);
    for (int s = 0; s <= 700; ++s) ring.Append(s * 1000, s % 360, 0, 0);
    using K = CursorReading::Kind;
    const struct {
        std::int32_t rightMs, spanMs;
        int column, width;
        K kind;
        std::int32_t offsetMs;
        std::size_t sample;
    } cases[] = {
        {700'000, 30'000, 0, 300, K::kSample, -29'000, 671},    {700'000, 30'000, 299, 300, K::kSample, 0, 700},
        {700'000, 30'000, 300, 300, K::kNothing, 0, 0},         {700'000, 30'000, -1, 300, K::kNothing, 0, 0},
        {702'000, 30'000, 299, 300, K::kSample, -2'000, 700},   {702'001, 30'000, 299, 300, K::kNoData, 0, 0},
        {720'000, 30'000, 149, 300, K::kNoData, -15'000, 0},    {710'000, 600'000, 99, 100, K::kSample, -10'000, 700},
        {712'001, 600'000, 99, 100, K::kNoData, 0, 0},          {800'000, 30'000, 150, 300, K::kNothing, 0, 0},
    };
    for (const auto& c : cases) {
        const CursorReading got = ReadCursor(ring, c.rightMs, c.spanMs, c.column, c.width);
        EXPECT_TRUE(got.kind == c.kind && got.offsetMs == c.offsetMs && got.sample == c.sample)
            << c.rightMs << " " << c.column << ": " << got.kind << " " << got.offsetMs << " " << got.sample;
    }
    EXPECT_EQ(ReadCursor(SampleRing(4), 0, 30'000, 0, 300).kind, K::kNothing);
}

} // namespace
} // namespace tolvane::plot
