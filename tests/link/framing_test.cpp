// Both receivers against streams with their expected messages, near misses
// beside the good cases, and every stream fed split at every byte offset.
#include "link/framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace test;

struct Got {
    std::uint16_t type;
    Bytes payload;
    std::int32_t at = 0;
    bool operator==(const Got&) const = default;
};

void PrintTo(const Got& g, std::ostream* os) { *os << g.type << "/" << g.payload.size() << "@" << g.at; }

Got Keep(const DeviceMessage& m)
{
    // The bytes past the length never show an earlier, longer message.
    for (std::size_t i = m.length; i < kMaxReceivedPayload; ++i) EXPECT_EQ(m.payload[i], 0) << m.type << " at " << i;
    return {m.type, Bytes(m.payload, m.payload + m.length), m.timestamp};
}

// Feeds `stream` to one decoder in two calls split at `split`.
std::vector<Got> Decode(const Bytes& stream, std::size_t split)
{
    StreamDecoder decoder;
    std::vector<Got> out;
    auto deliver = [&](const DeviceMessage& m) { out.push_back(Keep(m)); };
    decoder.Feed(stream.data(), split, 0, deliver);
    decoder.Feed(stream.data() + split, stream.size() - split, 0, deliver);
    return out;
}

struct Case {
    const char* name;
    Bytes stream;
    std::vector<Got> expected;
};

// Streams with the messages they must yield, near misses beside good cases.
std::vector<Case> Cases()
{
    const Bytes serialNumberRequest{0x0D, 0x0A, 0x7E, 0xC3, 0x00, 0x58};
    const std::string longNmea = Nmea(std::string(100, 'A'));
    // A frame whose checksum is itself 0x0D: 0x95 + 0x78 + 0 = 0x10D.
    const Bytes checksumIsCr{0x0D, 0x0A, 0x7E, 0x78, 0x00, 0x0D};
    const Bytes nmeaX = B(Nmea("X")), pwr = Cat({B("$PWR,on"), {0}});
    return {
        {"worked serial number request", serialNumberRequest, {{0xC3, {}}}},
        {"worked compensation request", {0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x02, 0x0A}, {{0x72, {0x02}}}},
        {"checksum one too high", Frame(0x70, {1, 2, 3, 4, 5, 6}, +1), {}},
        {"checksum one too low", Frame(0x70, {1, 2, 3, 4, 5, 6}, -1), {}},
        {"length 80 accepted", Frame(0x7E, Filled(80)), {{0x7E, Filled(80)}}},
        {"length 81 abandoned at once", Frame(0x70, Filled(81)), {}},
        {"frame inside an abandoned one", Cat({{0x0D, 0x0A, 0x7E, 0x70, 81}, Frame(0x48, {0x12})}), {{0x48, {0x12}}}},
        {"short frame after a long one", Cat({Frame(0x64, Filled(42, 0x80)), Frame(0x64, {7})}),
         {{0x64, Filled(42, 0x80)}, {0x64, {7}}}},
        {"CR CR LF starts a frame", Cat({{0x0D}, Frame(0x47, {2})}), {{0x47, {2}}}},
        {"missing LF", Cat({{0x0D, 0x7E, 0x47, 0x01, 0x02}, Frame(0x47, {3})}), {{0x47, {3}}}},
        {"missing tilde", Cat({{0x0D, 0x0A, 0x47, 0x01, 0x02, 0x47}, Frame(0x47, {3})}), {{0x47, {3}}}},
        {"cut-short frame, next CR at checksum position", Cat({{0x0D, 0x0A, 0x7E, 0x50, 0x02, 0xAA, 0xBB},
                                                               serialNumberRequest}), {{0xC3, {}}}},
        {"good checksum of 0x0D also starts the next frame", Cat({checksumIsCr, {0x0A, 0x7E, 0xC3, 0x00, 0x58}}),
         {{0x78, {}}, {0xC3, {}}}},
        {"CR inside payload does not restart", Frame(0x50, {0x0D, 0x0A, 0x7E, 1, 0, 0, 0}),
         {{0x50, {0x0D, 0x0A, 0x7E, 1, 0, 0, 0}}}},
        {"worked NMEA sentence", B("$HCHDT,123.4,T*2D"), {{0x20, B("$HCHDT,123.4,T*2D")}}},
        {"NMEA checksum digit off by one", B("$HCHDT,123.4,T*2E"), {}},
        {"NMEA first digit wrong", B("$HCHDT,123.4,T*3D"), {}},
        {"NMEA lower-case digits, a and f", B("$HCHDT,123.3,T*2a$HCHDT,123.6,T*2f"),
         {{0x20, B("$HCHDT,123.3,T*2a")}, {0x20, B("$HCHDT,123.6,T*2f")}}},
        {"NMEA without checksum never delivered", B("$HCHDT,123.4,T\r\n$HCHDT,1,T\r\n"), {}},
        {"NMEA 0x7F is text", Cat({B("$A"), {0x7F}, B("*3E")}), {{0x20, Cat({B("$A"), {0x7F}, B("*3E")})}}},
        {"NMEA 0x80 breaks", Cat({B("$A"), {0x80}, B("*C1")}), {}},
        {"NMEA control char breaks", B("$HCHDT,12\t3.4,T*24"), {}},
        {"dollar inside text restarts", B("$GPXXX,1" + Nmea("HCHDT,123.4,T")), {{0x20, B("$HCHDT,123.4,T*2D")}}},
        {"dollar in place of a digit restarts", B("$HCHDT,123.4,T*" + Nmea("J")), {{0x20, B("$J*4A")}}},
        {"non-hex where a zero digit is due", B("$*G0$*0G$*0"), {}},
        {"empty sentence", B("$*00"), {{0x20, B("$*00")}}},
        {"100 text characters kept as the first 80, then a short one", B(longNmea + Nmea("A")),
         {{0x20, B(longNmea.substr(0, 80))}, {0x20, B(Nmea("A"))}}},
        {"sentence then CR LF then frame", Cat({B(Nmea("HCHDT,1.0,T") + "\r\n"), Frame(0x70, {1, 0, 2, 0, 3, 0})}),
         {{0x20, B(Nmea("HCHDT,1.0,T"))}, {0x70, {1, 0, 2, 0, 3, 0}}}},
        {"dollar inside a binary payload", Frame(0x44, Cat({nmeaX, {0}})), {{0x20, nmeaX}, {0x44, Cat({nmeaX, {0}})}}},
        {"dollar inside a binary payload, a control byte after", Cat({Frame(0x44, pwr), B("*00")}), {{0x44, pwr}}},
        {"garbage around a frame", Cat({{0x00, 0xFF, 0x7E, 0x0A, 0x24}, Frame(0x49, {1, 2, 3, 4, 5, 6}), {0x0A}}),
         {{0x49, {1, 2, 3, 4, 5, 6}}}},
    };
}

TEST(FramingStreams, DeliverExactlyTheExpectedMessagesAtEverySplit)
{
    for (const auto& c : Cases())
        for (std::size_t split = 0; split <= c.stream.size(); ++split)
            ASSERT_EQ(Decode(c.stream, split), c.expected) << c.name << ", split at " << split;
}

// Byte i arrives at time 100 + i: a frame is stamped with its CR, a
// sentence with its '$'. Frame(0x78) is 0D 0A 7E 78 00 0D: its checksum
// CR starts a frame (that the next 'x' breaks) before it has been read.
TEST(FramingStreams, TimestampsAreThoseOfTheFirstByte)
{
    const Bytes stream = Cat({{0x00, 0x0D}, Frame(0x78, {}), B("xx"), B(Nmea("A")), Frame(0xC3, {})});
    StreamDecoder decoder;
    std::vector<Got> got;
    auto keep = [&](const DeviceMessage& m) { got.push_back(Keep(m)); };
    for (std::int32_t i = 0; i < std::ssize(stream); ++i) decoder.Feed(&stream[i], 1, 100 + i, keep);
    EXPECT_EQ(got, (std::vector<Got>{{0x78, {}, 102}, {0x20, B(Nmea("A")), 110}, {0xC3, {}, 115}}));
}

// Good frame, bad checksum, impossible length, good and bad sentences.
TEST(FramingStreams, CountsWhatTheStreamHeld)
{
    const Bytes stream = Cat({Frame(0x44, {1, 2, 3}), Frame(0x44, {1, 2, 3}, 1), {0x0D, 0x0A, 0x7E, 0x44, 0xF0},
                              B("$GPHDT,1.0,T*34\r\n$GPHDT,1.0,T*00\r\n"), Frame(0x44, {})});
    StreamDecoder decoder;
    decoder.Feed(stream.data(), stream.size(), 0, [](const DeviceMessage&) {});
    const ReceiverCounts c = decoder.Counts();
    EXPECT_EQ(std::make_tuple(c.frames, c.checksumFailures, c.resyncs, c.nmeaGood, c.nmeaBad),
              std::make_tuple(2u, 1u, 1u, 1u, 1u));
}

// The decoder hands whole spans to one receiver where the other would
// ignore them; that must never change what is delivered, nor its time.
// The reference offers every byte to both receivers, NMEA first.
TEST(FramingStreams, DecoderSpansMatchByteByByteFeeding)
{
    std::mt19937 rng(99);
    const std::vector<Case> cases = Cases();
    const std::uint8_t special[] = {0x0D, 0x0A, 0x7E, '$', '*', 0x00, 0x7F, 0x80, 'A', '0'};
    for (int round = 0; round < 50; ++round) {
        // The streams above, some cut short, between special or random bytes.
        Bytes stream;
        while (stream.size() < 4000) {
            const Bytes& part = cases[rng() % cases.size()].stream;
            stream.insert(stream.end(), part.begin(), part.end() - (rng() % 4 ? 0 : rng() % part.size()));
            for (auto n = rng() % 4; n > 0; --n) stream.push_back(rng() % 3 ? special[rng() % 10] : rng() & 0xFF);
        }
        // Chunks of random size; each chunk's bytes arrive at its number.
        std::vector<Got> reference, decoded;
        NmeaReceiver nmea;
        BinaryReceiver binary;
        StreamDecoder decoder;
        for (std::size_t at = 0, chunk = 0; at < stream.size(); ++chunk) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 300, stream.size() - at);
            const auto now = static_cast<std::int32_t>(chunk);
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
