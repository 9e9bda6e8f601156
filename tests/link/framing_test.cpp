// The decoder's timestamps and the sentence receiver fed on its own. The
// messages of every near miss and edge of framing, split at every offset
// (which exercises the spans the decoder hands to one receiver), and what
// the decoder counts are pinned by the recorded mixed stream
// (tests/data/make_mixed_stream.py, checked by protocol_tests).
#include "link/framing.h"

#include <gtest/gtest.h>

#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace test;

struct Got {
    std::uint16_t type;
    Bytes payload;
    std::int64_t at = 0;
    bool operator==(const Got&) const = default;
};

void PrintTo(const Got& g, std::ostream* os) { *os << g.type << "/" << g.payload.size() << "@" << g.at; }

Got Keep(const DeviceMessage& m)
{
    // The bytes past the length never show an earlier, longer message.
    for (std::size_t i = m.length; i < kMaxReceivedPayload; ++i) EXPECT_EQ(m.payload[i], 0) << m.type << " at " << i;
    return {m.type, Bytes(m.payload, m.payload + m.length), m.timestamp};
}

// Byte i arrives at time t + i, past 32 bits: a frame is stamped with its
// CR, a sentence with its '$' (DEL is text in it). Frame(0x78) is 0D 0A 7E
// 78 00 0D: its checksum CR starts a frame (that the next 'x' breaks) before
// it has been read.
TEST(FramingStreams, TimestampsAreThoseOfTheFirstByte)
{
    const Bytes stream = Cat({{0x00, 0x0D}, Frame(0x78, {}), B("xx"), B(Nmea("A\x7F")), Frame(0xC3, {})});
    StreamDecoder decoder;
    std::vector<Got> got;
    auto keep = [&](const DeviceMessage& m) { got.push_back(Keep(m)); };
    const std::int64_t t = (std::int64_t{1} << 32) + 100;
    for (std::int64_t i = 0; i < std::ssize(stream); ++i) decoder.Feed(&stream[i], 1, t + i, keep);
    EXPECT_EQ(got, (std::vector<Got>{{0x78, {}, t + 2}, {0x20, B(Nmea("A\x7F")), t + 10}, {0xC3, {}, t + 16}}));
    // Fed byte by byte, as the decoder feeds it while a frame is under way,
    // the sentence receiver takes a blank and DEL as text too.
    NmeaReceiver nmea;
    int delivered = 0;
    for (const std::uint8_t b : B(Nmea("A \x7F"))) delivered += nmea.Feed(b, 0);
    EXPECT_EQ(delivered, 1);
}

// The one hex-digit reader, for NMEA checksums and capture files: the
// characters either side of each digit range are not digits.
TEST(HexDigitValue, DigitsOfEitherCaseAndTheirNeighbours)
{
    const std::pair<std::uint8_t, int> cases[] = {
        {'0', 0},   {'9', 9},   {'A', 10},  {'F', 15},  {'a', 10},  {'f', 15},  {'/', -1},
        {':', -1},  {'@', -1},  {'G', -1},  {'`', -1},  {'g', -1},  {0x00, -1}, {0xB0, -1},
    };
    for (const auto& [c, value] : cases) EXPECT_EQ(HexDigitValue(c), value) << c;
}

} // namespace
} // namespace tolvane
