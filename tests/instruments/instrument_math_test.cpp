#include "instruments/instrument_math.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace tolvane::instruments {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
using ::testing::ElementsAre;

std::string G(double v) { char t[32]; std::snprintf(t, sizeof t, "%g", v); return t; }

// The value's place on the arc, its ends held and NaN at the low end;
// seven majors with two minors between each. The pitch scale's 50 degrees
// follow the value (its centre held to a signed angle's range): the
// window, a tick every degree in it (M every 10, m every 5, . the others),
// where the first and last lie (0 the low end, 1 the high end), the labels.
TEST(InstrumentMath, ArcsAndScales)
{
    constexpr Arc kRoll{-90, 90, 180}, kWide{0, 100, 270};
    const std::tuple<Arc, double, double> arcs[] = {
        {kRoll, -1e3, -90}, {kRoll, -20, -20}, {kRoll, 0, 0},       {kRoll, 90, 90},   {kRoll, 120, 90},
        {kRoll, kInf, 90},  {kRoll, kNaN, -90}, {kWide, -20, -135}, {kWide, 75, 67.5}, {kWide, 90, 108},
        {kWide, 100, 135},  {kWide, kNaN, -135}};
    for (const auto& [arc, value, angle] : arcs) EXPECT_DOUBLE_EQ(ArcAngle(arc, value), angle) << value << arc.max;
    EXPECT_THAT(MajorTicks(-90, 90, 7), ElementsAre(-90, -60, -30, 0, 30, 60, 90));
    EXPECT_THAT(MinorTicks(-90, 90, 7, 2), ElementsAre(-80, -70, -50, -40, -20, -10, 10, 20, 40, 50, 70, 80));
    EXPECT_THAT(MajorTicks(-90, 90, 1), ElementsAre(-90));
    EXPECT_THAT(MinorTicks(-90, 90, 1, 2), ElementsAre());

    const std::pair<double, const char*> pitches[] = {
        {7.3, "-17.7..32.3 ..m....M....m....M....m....M....m....M....m....M.. 0.014..0.994 -10 0 10 20 30"},
        {-42.5, "-67.5..-17.5 ..m....M....m....M....m....M....m....M....m....M.. 0.01..0.99 -60 -50 -40 -30 -20"},
        {5, "-20..30 M....m....M....m....M....m....M....m....M....m....M 0..1 -20 -10 0 10 20 30"},
        {500, "155..205 m....M....m....M....m....M....m....M....m....M....m 0..1 160 170 180 190 200"},
        {kNaN, "-25..25 m....M....m....M....m....M....m....M....m....M....m 0..1 -20 -10 0 10 20"},
    };
    for (const auto& [value, expected] : pitches) {
        const ScaleWindow w = FollowingWindow(value, 50);
        const std::vector<ScaleTick> ticks = WindowTicks(w, 1, 5, 10);
        ASSERT_FALSE(ticks.empty()) << value;
        std::string kinds, labels;
        for (const ScaleTick& t : ticks) {
            kinds += "Mm."[static_cast<int>(t.kind)];
            if (t.kind == TickKind::kMajor) labels += " " + TickLabel(t.value);
        }
        EXPECT_EQ(G(w.low) + ".." + G(w.high) + " " + kinds + " " + G(ticks.front().position) + ".." +
                      G(ticks.back().position) + labels,
                  expected);
    }
    const std::vector<ScaleTick> one = WindowTicks({0.5, 1.5}, 1, 5, 10);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(std::vector({one[0].value, one[0].position}), std::vector({1.0, 0.5}));
    EXPECT_TRUE(WindowTicks({0, 200000.5}, 1, 5, 10).empty()) << "too many ticks to draw";
    EXPECT_EQ(TickLabel(-0.0) + " " + TickLabel(-20.4) + " " + TickLabel(29.5), "0 -20 30");
}

// A heading in [0, 360), the card turned against it, and the point of the
// compass it is nearest (the boundaries of N, NE and NW beside their near
// misses); the card's labels every 30 degrees and nowhere else.
TEST(InstrumentMath, HeadingsAndTheCard)
{
    const std::tuple<double, double, const char*> rows[] = {
        {22.4, 22.4, "N"},   {22.5, 22.5, "NE"}, {135, 135, "SE"}, {337.4, 337.4, "NW"}, {337.5, 337.5, "N"},
        {720.5, 0.5, "N"}, {-90, 270, "W"},      {-1e-20, 0, "N"}, {kNaN, 0, "N"},        {kInf, 0, "N"}};
    for (const auto& [heading, normalized, point] : rows) {
        EXPECT_DOUBLE_EQ(NormalizeHeading(heading), normalized) << heading;
        EXPECT_DOUBLE_EQ(CardRotation(heading), -normalized) << heading;
        EXPECT_STREQ(DirectionName(heading), point) << heading;
    }
    std::string labels;
    for (int d : {0, 30, 90, 150, 180, 270, 330, -30, 15, 360}) labels += CardLabel(d) + "|";
    EXPECT_EQ(labels, "N|3|E|15|S|W|33||||");
}

// Whole degrees, halves away from zero, right-aligned; dashes when the
// rounded value does not fit the cells (a minus sign takes one). A logical
// box keeps its aspect, centred, or is stretched: scale x, y, offset x, y.
TEST(InstrumentMath, ReadoutsAndFit)
{
    const std::tuple<double, int, const char*> rows[] = {
        {359.9945068359375, 3, "360"}, {-45.5, 3, "-46"}, {22.5, 3, " 23"},    {-0.4, 3, "  0"},
        {-0.5, 3, " -1"},              {999.4, 3, "999"}, {999.5, 3, "---"},   {-99.4, 3, "-99"},
        {-99.5, 3, "---"},             {kNaN, 3, "---"},  {-180.0, 4, "-180"}, {-1.0, 1, "-"}};
    for (const auto& [value, digits, text] : rows) EXPECT_EQ(ReadoutText(value, digits), text) << value << digits;
    const std::tuple<double, double, double, double, bool, std::vector<double>> fits[] = {
        {180, 163, 360, 163, true, {1, 1, 90, 0}},
        {180, 163, 360, 400, true, {2, 2, 0, 37}},
        {75, 26, 150, 13, false, {2, 0.5, 0, 0}}};
    for (const auto& [lw, lh, w, h, keepAspect, fit] : fits) {
        const Fit got = FitBox(lw, lh, w, h, keepAspect);
        EXPECT_EQ(std::vector({got.sx, got.sy, got.dx, got.dy}), fit) << w << "x" << h;
    }
}

} // namespace
} // namespace tolvane::instruments
