// The degree conversions the requests carry. (Every request's frame, byte
// for byte, is pinned by the capture tests' table of the requests.)
#include "protocol/angles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

namespace tolvane {
namespace {

TEST(Angles, DegreesToCountsTruncatesTowardZeroAndWraps)
{
    // 1e6 degrees: 182044448.85 truncates to 182044448, whose low 16 bits
    // are 0xC720; its negative keeps 0x38E0.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::pair<float, std::int16_t> cases[] = {
        {-1.0f, -182},   {10.5f, 1911},    {45.0f, 8192},      {0.1f, 18},       {-0.1f, -18},  {179.9f, 32749},
        {-180.0f, -32768}, {180.0f, -32768}, {270.0f, -16384}, {360.0f, 0},      {0.0f, 0},     {-0.004f, 0},
        {1e6f, -14560},  {-1e6f, 14560},   {nan, 0},           {inf, 0},
    };
    (void)DegreesToCounts(3e38f); // beyond every integer type: only has to be defined (UBSan)
    for (const auto& [degrees, counts] : cases) EXPECT_EQ(DegreesToCounts(degrees), counts) << degrees;
    // Every count survives the way back.
    for (int c = -32768; c < 32768; c += 7)
        ASSERT_EQ(DegreesToCounts(static_cast<float>(SignedAngleDegrees(static_cast<std::int16_t>(c)))), c) << c;
    EXPECT_EQ(UnsignedAngleDegrees(0xFFFF), 360.0 - 180.0 / 32768);
}

// The texts are kept in blocks made on first use; every count must find
// its own text, in either reading, whatever order they are asked for in.
// 2048 counts are exactly 11.25 degrees, which the C library rounds to even.
TEST(Angles, OneDecimalTextOfEveryCount)
{
    char expected[16];
    for (std::int32_t c = 65535; c >= -32768; c -= 1) {
        std::snprintf(expected, sizeof expected, "%.1f", c * (180.0 / 32768));
        const auto u = static_cast<std::uint16_t>(c);
        ASSERT_STREQ(c < 32768 ? SignedAngleText(static_cast<std::int16_t>(c)) : UnsignedAngleText(u), expected) << c;
        ASSERT_STREQ(c >= 0 && c < 32768 ? UnsignedAngleText(u) : expected, expected) << c;
    }
    EXPECT_STREQ(SignedAngleText(2048), "11.2");
}

} // namespace
} // namespace tolvane
