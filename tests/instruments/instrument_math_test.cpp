#include "instruments/instrument_math.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tolvane::instruments {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The value's place on the arc, its ends held, and NaN at the low end.
TEST(ArcAngle, MapsTheValueOntoTheArcAndClamps)
{
    constexpr Arc kRoll{-90.0, 90.0, 180.0};
    constexpr Arc kWide{0.0, 100.0, 270.0};
    const struct {
        Arc arc;
        double value, angle;
    } cases[] = {{kRoll, -20, -20},  {kRoll, 90, 90},  {kRoll, 120, 90},    {kRoll, -1e3, -90}, {kRoll, kInf, 90},
                 {kRoll, kNaN, -90}, {kWide, 0, -135}, {kWide, 75, 67.5}, {kWide, 100, 135}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ArcAngle(c.arc, c.value), c.angle) << c.value << " on " << c.arc.min << ".." << c.arc.max;
}

TEST(Ticks, SevenMajorsAndTwoMinorsBetweenEach)
{
    EXPECT_THAT(MajorTicks(-90.0, 90.0, 7), testing::ElementsAre(-90, -60, -30, 0, 30, 60, 90));
    const std::vector<double> expected = {-80, -70, -50, -40, -20, -10, 10, 20, 40, 50, 70, 80};
    EXPECT_THAT(MinorTicks(-90.0, 90.0, 7, 2), testing::Pointwise(testing::DoubleNear(1e-9), expected));
    EXPECT_THAT(MajorTicks(-90.0, 90.0, 1), testing::ElementsAre(-90));
    EXPECT_TRUE(MinorTicks(-90.0, 90.0, 1, 2).empty());
}

// The pitch scale's window of 50 degrees: its ends, the whole-degree ticks
// in it, their kinds and places; the centre held to a signed angle's range.
TEST(ScaleWindow, FiftyDegreesFollowTheValueWithTicksAndLabels)
{
    const struct {
        double value, low, high, first, last;
        std::vector<double> majors;
    } cases[] = {
        {7.3, -17.7, 32.3, -17.0, 32.0, {-10, 0, 10, 20, 30}},
        {-42.5, -67.5, -17.5, -67.0, -18.0, {-60, -50, -40, -30, -20}},
        {5.0, -20.0, 30.0, -20.0, 30.0, {-20, -10, 0, 10, 20, 30}},
        {500.0, 155.0, 205.0, 155.0, 205.0, {160, 170, 180, 190, 200}},
        {kNaN, -25.0, 25.0, -25.0, 25.0, {-20, -10, 0, 10, 20}},
    };
    for (const auto& c : cases) {
        const ScaleWindow w = FollowingWindow(c.value, 50.0);
        EXPECT_DOUBLE_EQ(w.low, c.low) << c.value;
        EXPECT_DOUBLE_EQ(w.high, c.high) << c.value;
        const std::vector<ScaleTick> ticks = WindowTicks(w, 1.0, 5, 10);
        ASSERT_EQ(ticks.size(), static_cast<std::size_t>(c.last - c.first + 1)) << c.value;
        EXPECT_DOUBLE_EQ(ticks.front().value, c.first) << c.value;
        std::vector<double> majors;
        for (const ScaleTick& t : ticks) {
            EXPECT_NEAR(t.position, (t.value - c.low) / 50.0, 1e-12) << t.value;
            const long long whole = std::llround(t.value);
            EXPECT_EQ(t.kind, whole % 10 == 0 ? TickKind::kMajor : whole % 5 == 0 ? TickKind::kMid : TickKind::kMinor)
                << t.value;
            if (t.kind == TickKind::kMajor)
                majors.push_back(t.value);
        }
        EXPECT_EQ(majors, c.majors) << c.value;
    }
    EXPECT_EQ(WindowTicks({0.5, 1.5}, 1.0, 5, 10).size(), 1u) << "a window of one tick";
    EXPECT_TRUE(WindowTicks({0.0, 200000.5}, 1.0, 5, 10).empty()) << "too many ticks to draw";
    EXPECT_EQ(TickLabel(-20.0), "-20");
    EXPECT_EQ(TickLabel(-0.0), "0");
}

// A heading in [0, 360), the card turned against it, and the point of the
// compass it is nearest (the boundaries of N, NE and NW beside their near misses).
TEST(Heading, NormalizesTurnsTheCardAndNamesThePoint)
{
    const struct {
        double heading, normalized;
        const char* point;
    } cases[] = {{22.4, 22.4, "N"},  {22.5, 22.5, "NE"}, {135, 135, "SE"},    {337.4, 337.4, "NW"}, {337.5, 337.5, "N"},
                 {720.5, 0.5, "N"}, {-90, 270, "W"},    {-1e-20, 0, "N"}, {kNaN, 0, "N"},       {kInf, 0, "N"}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(NormalizeHeading(c.heading), c.normalized) << c.heading;
        EXPECT_DOUBLE_EQ(CardRotation(c.heading), -c.normalized) << c.heading;
        EXPECT_STREQ(DirectionName(c.heading), c.point) << c.heading;
    }
}

TEST(CardLabels, CardinalLettersAndTensOfDegreesEveryThirty)
{
    std::string labels;
    for (int d : {0, 30, 90, 150, 180, 270, 330, -30, 15, 360}) labels += CardLabel(d) + "|";
    EXPECT_EQ(labels, "N|3|E|15|S|W|33||||");
}

// Whole degrees, right-aligned; dashes when the rounded value does not fit
// the digits (a minus sign takes one).
TEST(ReadoutText, WholeDegreesRightAlignedOrDashesWhenTheyDoNotFit)
{
    const struct {
        double value;
        int digits;
        const char* text;
    } cases[] = {{359.9945068359375, 3, "360"}, {-45.5, 3, "-46"}, {22.5, 3, " 23"},  {-0.4, 3, "  0"},
                 {-0.5, 3, " -1"},              {999.4, 3, "999"}, {999.5, 3, "---"}, {-99.4, 3, "-99"},
                 {-99.5, 3, "---"},             {kNaN, 3, "---"},  {-180.0, 4, "-180"}, {-1.0, 1, "-"}};
    for (const auto& c : cases)
        EXPECT_EQ(ReadoutText(c.value, c.digits), c.text) << c.value << " in " << c.digits;
}

TEST(FitBox, KeepsTheAspectCentredOrStretches)
{
    const Fit wide = FitBox(180.0, 163.0, 360.0, 163.0, true);
    EXPECT_EQ((std::vector<double>{wide.sx, wide.sy, wide.dx, wide.dy}), (std::vector<double>{1, 1, 90, 0}));
    const Fit tall = FitBox(180.0, 163.0, 360.0, 400.0, true);
    EXPECT_EQ((std::vector<double>{tall.sx, tall.sy, tall.dx, tall.dy}), (std::vector<double>{2, 2, 0, 37}));
    const Fit stretched = FitBox(75.0, 26.0, 150.0, 13.0, false);
    EXPECT_EQ((std::vector<double>{stretched.sx, stretched.sy, stretched.dx}), (std::vector<double>{2, 0.5, 0}));
}

} // namespace
} // namespace tolvane::instruments
