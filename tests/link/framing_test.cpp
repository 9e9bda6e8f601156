// The decoder's timestamps, and its spans against both receivers fed byte
// by byte. The messages of every near miss and edge of framing, split at
// every offset, and what the decoder counts are pinned by the recorded
// mixed stream (tests/data/make_mixed_stream.py, checked by protocol_tests).
#include "link/framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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
// CR, a sentence with its '$'. Frame(0x78) is 0D 0A 7E 78 00 0D: its checksum
// CR starts a frame (that the next 'x' breaks) before it has been read.
TEST(FramingStreams, TimestampsAreThoseOfTheFirstByte)
{
    const Bytes stream = Cat({{0x00, 0x0D}, Frame(0x78, {}), B("xx"), B(Nmea("A")), Frame(0xC3, {})});
    StreamDecoder decoder;
    std::vector<Got> got;
    auto keep = [&](const DeviceMessage& m) { got.push_back(Keep(m)); };
    const std::int64_t t = (std::int64_t{1} << 32) + 100;
    for (std::int64_t i = 0; i < std::ssize(stream); ++i) decoder.Feed(&stream[i], 1, t + i, keep);
    EXPECT_EQ(got, (std::vector<Got>{{0x78, {}, t + 2}, {0x20, B(Nmea("A")), t + 10}, {0xC3, {}, t + 15}}));
}

// The decoder hands whole spans to one receiver where the other would
// ignore them; that must never change what is delivered, nor its time.
// The reference offers every byte to both receivers, NMEA first.
TEST(FramingStreams, DecoderSpansMatchByteByByteFeeding)
{
    std::mt19937 rng(99);
    const Bytes recorded = ReadBytes(std::string(TOLVANE_TEST_DATA) + "/mixed_stream.bin");
    ASSERT_GT(recorded.size(), 1000u);
    const std::uint8_t special[] = {0x0D, 0x0A, 0x7E, '$', '*', 0x00, 0x7F, 0x80, 'A', '0'};
    for (int round = 0; round < 50; ++round) {
        // Pieces of the recorded stream, cut anywhere, between special or random bytes.
        Bytes stream;
        while (stream.size() < 4000) {
            const auto from = recorded.begin() + rng() % recorded.size();
            stream.insert(stream.end(), from, from + std::min<std::ptrdiff_t>(1 + rng() % 80, recorded.end() - from));
            for (auto n = rng() % 4; n > 0; --n) stream.push_back(rng() % 3 ? special[rng() % 10] : rng() & 0xFF);
        }
        // Chunks of random size; each chunk's bytes arrive at its number.
        std::vector<Got> reference, decoded;
        NmeaReceiver nmea;
        BinaryReceiver binary;
        StreamDecoder decoder;
        for (std::size_t at = 0, chunk = 0; at < stream.size(); ++chunk) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 300, stream.size() - at);
            const auto now = static_cast<std::int64_t>(chunk);
            decoder.Feed(stream.data() + at, n, now, [&](const DeviceMessage& m) { decoded.push_back(Keep(m)); });
            for (const std::size_t end = at + n; at < end; ++at) {
                if (nmea.Feed(stream[at], now)) reference.push_back(Keep(nmea.Message()));
                if (binary.Feed(stream[at], now)) reference.push_back(Keep(binary.Message()));
            }
        }
        ASSERT_GT(reference.size(), 20u);
        ASSERT_EQ(decoded, reference) << "round " << round;
    }
}

} // namespace
} // namespace tolvane
