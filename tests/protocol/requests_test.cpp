// Every request against its literal frame, checksum included; and the
// degree conversions the requests carry.
#include "protocol/requests.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <vector>

#include "link/framing.h"
#include "protocol/angles.h"

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const OutgoingRequest& r)
{
    std::uint8_t frame[kMaxSentFrame];
    return Bytes(frame, frame + EncodeBinaryFrame(static_cast<std::uint8_t>(r.type), r.payload, r.length, frame));
}

TEST(Requests, FramesAreByteExact)
{
    // Flags clear for declination, body offset and interval: those are sent as zero.
    using D = StartupDefaults;
    const D values{.mask = D::kRollOffset | D::kPitchOffset, .declination = 5, .bodyOffset = 7, .pitchOffset = -18,
                   .rollOffset = 18, .interval = 9};
    const std::pair<OutgoingRequest, Bytes> cases[] = {
        {SerialNumberRequest(), {0x0D, 0x0A, 0x7E, 0xC3, 0x00, 0x58}},
        {CompensationParametersRequest(), {0x0D, 0x0A, 0x7E, 0x67, 0x00, 0xFC}},
        {OffsetsReadRequest(), {0x0D, 0x0A, 0x7E, 0x50, 0x07, 0, 0, 0, 0, 0, 0, 0, 0xEC}},
        {OffsetsSetRequest(Offsets::kBody | Offsets::kPitch, 1911, -182, 8192),
         {0x0D, 0x0A, 0x7E, 0x50, 0x07, 0x05, 0x77, 0x07, 0x4A, 0xFF, 0x00, 0x20, 0xD8}},
        {DeclinationReadRequest(), {0x0D, 0x0A, 0x7E, 0x54, 0x03, 0x00, 0x00, 0x00, 0xEC}},
        {DeclinationSetRequest(-182), {0x0D, 0x0A, 0x7E, 0x54, 0x03, 0x01, 0x4A, 0xFF, 0x36}},
        {OrientationRateReadRequest(), {0x0D, 0x0A, 0x7E, 0x7F, 0x02, 0xFF, 0xFF, 0x14}},
        {OrientationRateSetRequest(145), {0x0D, 0x0A, 0x7E, 0x7F, 0x02, 0x91, 0x00, 0xA7}},
        {StartupDefaultsReadRequest(), {0x0D, 0x0A, 0x7E, 0x66, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07}},
        {StartupDefaultsLoadRequest(values),
         {0x0D, 0x0A, 0x7E, 0x66, 0x0C, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEE, 0xFF, 0x12, 0x00, 0x00, 0x00, 0x12}},
        {CompensationRequest(CompensationAction::Start), {0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x01, 0x09}},
        {CompensationRequest(CompensationAction::Revert), {0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x04, 0x0C}},
        // 31 March 2004, 45.5 S, 122.25 W, -1000 ft (-304.8006 m, the nearest float).
        {WmmRequest(31, 3, 4, -45.5, -122.25, -1000.0),
         {0x0D, 0x0A, 0x7E, 0x55, 15, 31, 3, 4, 0, 0, 0x36, 0xC2, 0, 0x80, 0xF4, 0xC2, 0x7A, 0x66, 0x98, 0xC3, 0x88}},
    };
    for (const auto& [request, frame] : cases) EXPECT_EQ(Encode(request), frame) << request.type;
}

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
