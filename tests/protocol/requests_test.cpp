// Every request against its literal frame, checksum included, then decoded
// back by the receiver; and the degree conversions the requests carry.
#include "protocol/requests.h"

#include "link/framing.h"
#include "protocol/angles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const OutgoingRequest& r)
{
    std::uint8_t frame[kMaxSentFrame];
    const auto n = EncodeBinaryFrame(static_cast<std::uint8_t>(r.type), r.payload, r.length, frame);
    return Bytes(frame, frame + n);
}

struct RequestCase {
    const char* name;
    OutgoingRequest request;
    Bytes frame;
};

TEST(Requests, FramesAreByteExactAndDecodeBack)
{
    StartupDefaults values;
    values.declination = 500; // flag clear: not sent
    values.bodyOffset = 7;    // flag clear: not sent
    values.pitchOffset = -18;
    values.rollOffset = 18;
    values.interval = 145; // flag clear: not sent
    values.mask = StartupDefaults::kRollOffset | StartupDefaults::kPitchOffset;

    const std::vector<RequestCase> cases{
        {"serial number", SerialNumberRequest(), {0x0D, 0x0A, 0x7E, 0xC3, 0x00, 0x58}},
        {"self test", SelfTestRequest(), {0x0D, 0x0A, 0x7E, 0x48, 0x00, 0xDD}},
        {"reset", ResetRequest(), {0x0D, 0x0A, 0x7E, 0x42, 0x00, 0xD7}},
        {"compensation parameters", CompensationParametersRequest(), {0x0D, 0x0A, 0x7E, 0x67, 0x00, 0xFC}},
        {"offsets read", OffsetsReadRequest(),
         {0x0D, 0x0A, 0x7E, 0x50, 0x07, 0, 0, 0, 0, 0, 0, 0, 0xEC}},
        {"offsets set body and pitch", OffsetsSetRequest(Offsets::kBody | Offsets::kPitch, 1911, -182, 8192),
         {0x0D, 0x0A, 0x7E, 0x50, 0x07, 0x05, 0x77, 0x07, 0x4A, 0xFF, 0x00, 0x20, 0xD8}},
        {"declination read", DeclinationReadRequest(), {0x0D, 0x0A, 0x7E, 0x54, 0x03, 0x00, 0x00, 0x00, 0xEC}},
        {"declination set -1 degree", DeclinationSetRequest(-182),
         {0x0D, 0x0A, 0x7E, 0x54, 0x03, 0x01, 0x4A, 0xFF, 0x36}},
        {"orientation rate read", OrientationRateReadRequest(), {0x0D, 0x0A, 0x7E, 0x7F, 0x02, 0xFF, 0xFF, 0x14}},
        {"orientation rate 145 ms", OrientationRateSetRequest(145), {0x0D, 0x0A, 0x7E, 0x7F, 0x02, 0x91, 0x00, 0xA7}},
        {"orientation rate none", OrientationRateSetRequest(0), {0x0D, 0x0A, 0x7E, 0x7F, 0x02, 0x00, 0x00, 0x16}},
        {"start-up defaults read", StartupDefaultsReadRequest(),
         {0x0D, 0x0A, 0x7E, 0x66, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07}},
        {"start-up defaults load roll and pitch", StartupDefaultsLoadRequest(values),
         {0x0D, 0x0A, 0x7E, 0x66, 0x0C, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEE, 0xFF, 0x12, 0x00, 0x00, 0x00, 0x12}},
        {"compensation start", CompensationRequest(CompensationAction::Start), {0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x01, 0x09}},
        {"compensation status", CompensationRequest(CompensationAction::Status), {0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x02, 0x0A}},
        {"compensation abort", CompensationRequest(CompensationAction::Abort), {0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x03, 0x0B}},
        {"compensation revert", CompensationRequest(CompensationAction::Revert), {0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x04, 0x0C}},
        // 31 March 2004, 45.5 S, 122.25 W, -1000 ft.
        {"WMM", WmmRequest(31, 3, 4, -45.5, -122.25, -1000.0),
         {0x0D, 0x0A, 0x7E, 0x55, 0x0F, 0x1F, 0x03, 0x04, 0x00, 0x00, 0x36, 0xC2, 0x00, 0x80, 0xF4, 0xC2,
          0x7A, 0x66, 0x98, 0xC3, 0x88}},
    };

    for (const auto& c : cases) {
        EXPECT_EQ(Encode(c.request), c.frame) << c.name;

        BinaryReceiver rx;
        int delivered = 0;
        for (auto b : c.frame) delivered += rx.Feed(b, 0);
        ASSERT_EQ(delivered, 1) << c.name;
        EXPECT_EQ(rx.Message().type, c.request.type) << c.name;
        EXPECT_EQ(Bytes(rx.Message().payload, rx.Message().payload + rx.Message().length),
                  Bytes(c.request.payload, c.request.payload + c.request.length))
            << c.name;
    }
}

TEST(Requests, WmmAltitudeIsTheNearestFloatOfMetres)
{
    const OutgoingRequest r = WmmRequest(1, 1, 0, 0.0, 0.0, 1000.0);
    float metres;
    std::memcpy(&metres, r.payload + 11, sizeof metres);
    EXPECT_EQ(metres, static_cast<float>(304.8006096012));
}

TEST(Angles, DegreesToCountsTruncatesTowardZeroAndWraps)
{
    const struct {
        float degrees;
        std::int16_t counts;
    } cases[] = {
        {-1.0f, -182},   {10.5f, 1911},   {45.0f, 8192},     {0.1f, 18},         {-0.1f, -18},
        {179.9f, 32749}, {-180.0f, -32768}, {180.0f, -32768}, {270.0f, -16384}, {360.0f, 0},
        {0.0f, 0},       {-0.004f, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(DegreesToCounts(c.degrees), c.counts) << c.degrees;
}

TEST(Angles, OutOfRangeInputsReduceWithoutOverflow)
{
    // 1e6 degrees: 182044448.85 truncates to 182044448, whose low 16 bits
    // are 0xC720; its negative keeps 0x38E0.
    EXPECT_EQ(DegreesToCounts(1e6f), -14560);
    EXPECT_EQ(DegreesToCounts(-1e6f), 14560);
    // Beyond every integer type; the result only has to be defined.
    (void)DegreesToCounts(3e38f);
    EXPECT_EQ(DegreesToCounts(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(DegreesToCounts(std::numeric_limits<float>::infinity()), 0);
}

TEST(Angles, CountsToDegrees)
{
    EXPECT_EQ(UnsignedAngleDegrees(0xC000), 270.0);
    EXPECT_EQ(SignedAngleDegrees(static_cast<std::int16_t>(0x8000)), -180.0);
    EXPECT_EQ(SignedAngleDegrees(2048), 11.25);
    EXPECT_EQ(UnsignedAngleDegrees(0xFFFF), 360.0 - 180.0 / 32768);
    // Every count survives the way back.
    for (int c = -32768; c < 32768; c += 7)
        ASSERT_EQ(DegreesToCounts(static_cast<float>(SignedAngleDegrees(static_cast<std::int16_t>(c)))), c) << c;
}

// The texts are kept in blocks made on first use; every count must find
// its own text, in either reading, whatever order they are asked for in.
TEST(Angles, OneDecimalTextOfEveryCount)
{
    char expected[16];
    for (std::int32_t c = 65535; c >= -32768; c -= 1) {
        std::snprintf(expected, sizeof expected, "%.1f", c * (180.0 / 32768));
        const char* got = c < 32768 ? SignedAngleText(static_cast<std::int16_t>(c))
                                    : UnsignedAngleText(static_cast<std::uint16_t>(c));
        ASSERT_STREQ(got, expected) << c;
        if (c >= 0 && c < 32768) {
            ASSERT_STREQ(UnsignedAngleText(static_cast<std::uint16_t>(c)), expected) << c;
        }
    }
    // 2048 counts are exactly 11.25 degrees, which the C library rounds to even.
    EXPECT_STREQ(SignedAngleText(2048), "11.2");
    EXPECT_STREQ(UnsignedAngleText(0xC000), "270.0");
    EXPECT_STREQ(SignedAngleText(-32768), "-180.0");
}

} // namespace
} // namespace tolvane
