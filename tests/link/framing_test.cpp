// Both receivers against streams with their expected messages, near misses
// beside the good cases, and every stream fed split at every byte offset.
#include "link/framing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Frames and sentences are built here with their own sums, independent of
// the code under test.
Bytes Frame(std::uint8_t type, const Bytes& payload, int checksumDelta = 0)
{
    Bytes out{0x0D, 0x0A, 0x7E, type, static_cast<std::uint8_t>(payload.size())};
    out.insert(out.end(), payload.begin(), payload.end());
    unsigned sum = 0;
    for (auto b : out) sum += b;
    out.push_back(static_cast<std::uint8_t>(sum + checksumDelta));
    return out;
}

std::string Nmea(const std::string& text, bool lowerCase = false)
{
    unsigned x = 0;
    for (unsigned char c : text) x ^= c;
    char digits[3];
    std::snprintf(digits, sizeof digits, lowerCase ? "%02x" : "%02X", x);
    return "$" + text + "*" + digits;
}

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Filled(std::size_t n, std::uint8_t first = 1)
{
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

struct Expected {
    std::uint16_t type;
    Bytes payload;
};

struct Delivered {
    std::uint16_t type;
    Bytes payload;
    std::int32_t timestamp;
    bool tailZero;
};

// Feeds `stream` to one decoder in two calls split at `split`.
std::vector<Delivered> Decode(const Bytes& stream, std::size_t split)
{
    StreamDecoder decoder;
    std::vector<Delivered> out;
    auto deliver = [&](const DeviceMessage& m) {
        bool tailZero = true;
        for (std::size_t i = m.length; i < kMaxReceivedPayload; ++i) tailZero = tailZero && m.payload[i] == 0;
        out.push_back({m.type, Bytes(m.payload, m.payload + m.length), m.timestamp, tailZero});
    };
    decoder.Feed(stream.data(), split, 0, deliver);
    decoder.Feed(stream.data() + split, stream.size() - split, 0, deliver);
    return out;
}

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<Expected> expected;
};

std::vector<StreamCase> Cases()
{
    const Bytes serialNumberRequest{0x0D, 0x0A, 0x7E, 0xC3, 0x00, 0x58};
    const Bytes compensationStatus{0x0D, 0x0A, 0x7E, 0x72, 0x01, 0x02, 0x0A};
    const std::string hundred(100, 'A');
    const std::string longNmea = Nmea(hundred);
    // A frame whose checksum is itself 0x0D: 0x95 + 0x78 + 0 = 0x10D.
    const Bytes checksumIsCr{0x0D, 0x0A, 0x7E, 0x78, 0x00, 0x0D};
    Bytes over80 = Frame(0x70, Filled(81));
    Bytes len81Hiding = Cat({Bytes{0x0D, 0x0A, 0x7E, 0x70, 81}, Frame(0x48, {0x12, 0x00})});

    return {
        {"worked serial number request", serialNumberRequest, {{0xC3, {}}}},
        {"worked compensation request", compensationStatus, {{0x72, {0x02}}}},
        {"checksum one too high", Frame(0x70, {1, 2, 3, 4, 5, 6}, +1), {}},
        {"checksum one too low", Frame(0x70, {1, 2, 3, 4, 5, 6}, -1), {}},
        {"length 80 accepted", Frame(0x7E, Filled(80)), {{0x7E, Filled(80)}}},
        {"length 81 abandoned at once", over80, {}},
        {"frame inside an abandoned frame", len81Hiding, {{0x48, {0x12, 0x00}}}},
        {"CR CR LF starts a frame", Cat({Bytes{0x0D}, Frame(0x47, {2})}), {{0x47, {2}}}},
        {"missing LF", Cat({Bytes{0x0D, 0x7E, 0x47, 0x01, 0x02}, Frame(0x47, {3})}), {{0x47, {3}}}},
        {"missing tilde", Cat({Bytes{0x0D, 0x0A, 0x47, 0x01, 0x02, 0x47}, Frame(0x47, {3})}), {{0x47, {3}}}},
        {"cut-short frame, next CR at checksum position",
         Cat({Bytes{0x0D, 0x0A, 0x7E, 0x50, 0x02, 0xAA, 0xBB}, serialNumberRequest}),
         {{0xC3, {}}}},
        {"good checksum of 0x0D also starts the next frame",
         Cat({checksumIsCr, Bytes{0x0A, 0x7E, 0xC3, 0x00, 0x58}}),
         {{0x78, {}}, {0xC3, {}}}},
        {"CR inside payload does not restart", Frame(0x50, {0x0D, 0x0A, 0x7E, 0x01, 0x00, 0x00, 0x00}),
         {{0x50, {0x0D, 0x0A, 0x7E, 0x01, 0x00, 0x00, 0x00}}}},
        {"worked NMEA sentence", B("$HCHDT,123.4,T*2D"), {{0x20, B("$HCHDT,123.4,T*2D")}}},
        {"NMEA checksum digit off by one", B("$HCHDT,123.4,T*2E"), {}},
        {"NMEA first digit wrong", B("$HCHDT,123.4,T*3D"), {}},
        {"NMEA lower-case digits", B(Nmea("HCHDG,1.0,,,,", true)), {{0x20, B(Nmea("HCHDG,1.0,,,,", true))}}},
        {"NMEA without checksum never delivered", B("$HCHDT,123.4,T\r\n$HCHDT,1,T\r\n"), {}},
        {"NMEA 0x7F is text", Cat({B("$A"), Bytes{0x7F}, B("*3E")}), {{0x20, Cat({B("$A"), Bytes{0x7F}, B("*3E")})}}},
        {"NMEA 0x80 breaks", Cat({B("$A"), Bytes{0x80}, B("*C1")}), {}},
        {"NMEA control char breaks", B("$HCHDT,12\t3.4,T*24"), {}},
        {"dollar inside text restarts", B("$GPXXX,1" + Nmea("HCHDT,123.4,T")), {{0x20, B("$HCHDT,123.4,T*2D")}}},
        {"dollar in place of a digit restarts", B("$HCHDT,123.4,T*" + Nmea("A")), {{0x20, B(Nmea("A"))}}},
        {"non-hex where a zero digit is due", B("$*G0$*0G$*0"), {}},
        {"empty sentence", B("$*00"), {{0x20, B("$*00")}}},
        {"100 text characters kept as the first 80", B(longNmea), {{0x20, B(longNmea.substr(0, 80))}}},
        {"sentence then CR LF then frame",
         Cat({B(Nmea("HCHDT,1.0,T") + "\r\n"), Frame(0x70, {1, 0, 2, 0, 3, 0})}),
         {{0x20, B(Nmea("HCHDT,1.0,T"))}, {0x70, {1, 0, 2, 0, 3, 0}}}},
        {"dollar inside a binary payload",
         Frame(0x44, Cat({B(Nmea("X")), Bytes{0x00}})),
         {{0x20, B(Nmea("X"))}, {0x44, Cat({B(Nmea("X")), Bytes{0x00}})}}},
        {"dollar inside a binary payload broken by a control byte",
         Cat({Frame(0x44, Cat({B("$PWR,on"), Bytes{0x00}})), B("*00")}),
         {{0x44, Cat({B("$PWR,on"), Bytes{0x00}})}}},
        {"garbage around a frame", Cat({Bytes{0x00, 0xFF, 0x7E, 0x0A, 0x24}, Frame(0x49, {1, 2, 3, 4, 5, 6}), Bytes{0x0A}}),
         {{0x49, {1, 2, 3, 4, 5, 6}}}},
    };
}

TEST(FramingStreams, DeliverExactlyTheExpectedMessagesAtEverySplit)
{
    for (const auto& c : Cases()) {
        for (std::size_t split = 0; split <= c.stream.size(); ++split) {
            const auto got = Decode(c.stream, split);
            ASSERT_EQ(got.size(), c.expected.size()) << c.name << " split " << split;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].type, c.expected[i].type) << c.name << " #" << i;
                EXPECT_EQ(got[i].payload, c.expected[i].payload) << c.name << " #" << i;
                EXPECT_TRUE(got[i].tailZero) << c.name << " #" << i;
            }
        }
    }
}

// Byte i arrives at time 100 + i: a frame is stamped with its CR, a
// sentence with its '$'.
TEST(FramingStreams, TimestampsAreThoseOfTheFirstByte)
{
    const Bytes stream = Cat({Bytes{0x00, 0x0D}, Frame(0x78, {}), B("xx"), B(Nmea("A")), Frame(0xC3, {})});
    // Frame(0x78) is 0D 0A 7E 78 00 0D: its checksum CR starts a frame (that
    // the next 'x' breaks) before the delivered one has been read.
    StreamDecoder decoder;
    std::vector<std::pair<std::uint16_t, std::int32_t>> got;
    for (std::size_t i = 0; i < stream.size(); ++i)
        decoder.Feed(&stream[i], 1, static_cast<std::int32_t>(100 + i),
                     [&](const DeviceMessage& m) { got.emplace_back(m.type, m.timestamp); });
    const std::vector<std::pair<std::uint16_t, std::int32_t>> expected{{0x78, 102}, {0x20, 110}, {0xC3, 115}};
    EXPECT_EQ(got, expected);
}

TEST(FramingStreams, ShortMessageAfterLongOneHasNoStaleBytes)
{
    BinaryReceiver rx;
    int delivered = 0;
    for (auto b : Cat({Frame(0x64, Filled(42, 0x80)), Frame(0x64, {7})}))
        if (rx.Feed(b, 0)) ++delivered;
    ASSERT_EQ(delivered, 2);
    EXPECT_EQ(rx.Message().length, 1);
    EXPECT_EQ(rx.Message().payload[0], 7);
    for (std::size_t i = 1; i < kMaxReceivedPayload; ++i) ASSERT_EQ(rx.Message().payload[i], 0) << i;

    NmeaReceiver nmea;
    for (auto c : Nmea(std::string(60, 'Z')) + Nmea("A"))
        nmea.Feed(static_cast<std::uint8_t>(c), 0);
    EXPECT_EQ(nmea.Message().length, 5);
    for (std::size_t i = 5; i < kMaxReceivedPayload; ++i) ASSERT_EQ(nmea.Message().payload[i], 0) << i;
}

TEST(FramingEncode, EveryLengthRoundTripsThroughTheReceiver)
{
    for (std::size_t n = 0; n <= kMaxSentPayload; ++n) {
        const Bytes payload = Filled(n, static_cast<std::uint8_t>(n * 7));
        std::uint8_t frame[kMaxSentFrame + 1];
        frame[n + kFrameOverhead] = 0xEE; // sentinel: nothing written past the frame
        ASSERT_EQ(EncodeBinaryFrame(0x55, payload.data(), n, frame), n + kFrameOverhead);
        EXPECT_EQ(Bytes(frame, frame + n + kFrameOverhead), Frame(0x55, payload)) << n;
        EXPECT_EQ(frame[n + kFrameOverhead], 0xEE);
    }
}

// Frames separated by garbage free of CR and '$' are all found, whatever
// else the garbage holds.
TEST(FramingStreams, EveryFrameInRandomGarbageIsFound)
{
    std::mt19937 rng(12345);
    Bytes stream;
    std::vector<Expected> expected;
    for (int k = 0; k < 500; ++k) {
        const std::size_t garbage = rng() % 20;
        for (std::size_t i = 0; i < garbage; ++i) {
            std::uint8_t g;
            do g = static_cast<std::uint8_t>(rng()); while (g == 0x0D || g == '$');
            stream.push_back(g);
        }
        Bytes payload(rng() % 81);
        for (auto& b : payload) b = static_cast<std::uint8_t>(rng());
        const auto type = static_cast<std::uint8_t>(rng());
        const Bytes frame = Frame(type, payload);
        stream.insert(stream.end(), frame.begin(), frame.end());
        expected.push_back({type, payload});
    }
    std::vector<Expected> binary;
    BinaryReceiver rx;
    for (auto b : stream)
        if (rx.Feed(b, 0)) binary.push_back({rx.Message().type, Bytes(rx.Message().payload, rx.Message().payload + rx.Message().length)});
    ASSERT_EQ(binary.size(), expected.size());
    for (std::size_t i = 0; i < binary.size(); ++i) {
        EXPECT_EQ(binary[i].type, expected[i].type) << i;
        EXPECT_EQ(binary[i].payload, expected[i].payload) << i;
    }
}

// The decoder hands whole spans to one receiver where the other would
// ignore them; that must never change what is delivered. The reference
// offers every byte to both receivers, as the framing rules are written.
TEST(FramingStreams, DecoderSpansMatchByteByByteFeeding)
{
    std::mt19937 rng(99);
    const std::uint8_t special[] = {0x0D, 0x0A, 0x7E, '$', '*', 0x00, 0x7F, 0x80, 'A', '0'};
    for (int round = 0; round < 50; ++round) {
        Bytes stream;
        while (stream.size() < 4000) {
            switch (rng() % 4) {
            case 0: { // a frame, its payload free to hold '$', CR and the rest
                Bytes payload(rng() % 81);
                for (auto& b : payload) b = rng() % 3 ? special[rng() % std::size(special)] : static_cast<std::uint8_t>(rng());
                const Bytes f = Frame(static_cast<std::uint8_t>(rng()), payload, rng() % 8 == 0 ? 1 : 0);
                stream.insert(stream.end(), f.begin(), f.end());
                break;
            }
            case 1: { // a sentence, sometimes cut or spoilt
                std::string text;
                for (auto n = rng() % 90; n > 0; --n) text += static_cast<char>(0x20 + rng() % 0x60);
                for (auto& c : text)
                    if (c == '$' || c == '*') c = 'x';
                std::string sentence = Nmea(text, rng() % 2);
                if (rng() % 6 == 0) sentence.resize(rng() % (sentence.size() + 1));
                if (!sentence.empty() && rng() % 6 == 0) sentence[rng() % sentence.size()] = static_cast<char>(special[rng() % std::size(special)]);
                stream.insert(stream.end(), sentence.begin(), sentence.end());
                break;
            }
            default: // garbage
                for (auto n = rng() % 12; n > 0; --n)
                    stream.push_back(rng() % 2 ? special[rng() % std::size(special)] : static_cast<std::uint8_t>(rng()));
            }
        }

        // Chunks of random size; every byte of a chunk arrives at its start time.
        std::vector<std::size_t> chunkOf(stream.size());
        std::vector<std::pair<std::size_t, std::size_t>> chunks;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 300, stream.size() - at);
            for (std::size_t k = at; k < at + n; ++k) chunkOf[k] = chunks.size();
            chunks.emplace_back(at, n);
            at += n;
        }

        std::vector<Delivered> reference;
        NmeaReceiver nmea;
        BinaryReceiver binary;
        auto keep = [](std::vector<Delivered>& out, const DeviceMessage& m) {
            out.push_back({m.type, Bytes(m.payload, m.payload + m.length), m.timestamp, true});
        };
        for (std::size_t k = 0; k < stream.size(); ++k) {
            const auto now = static_cast<std::int32_t>(chunkOf[k]);
            if (nmea.Feed(stream[k], now)) keep(reference, nmea.Message());
            if (binary.Feed(stream[k], now)) keep(reference, binary.Message());
        }

        std::vector<Delivered> decoded;
        StreamDecoder decoder;
        for (std::size_t c = 0; c < chunks.size(); ++c)
            decoder.Feed(stream.data() + chunks[c].first, chunks[c].second, static_cast<std::int32_t>(c),
                         [&](const DeviceMessage& m) { keep(decoded, m); });

        ASSERT_GT(reference.size(), 20u);
        ASSERT_EQ(decoded.size(), reference.size()) << "round " << round;
        for (std::size_t k = 0; k < decoded.size(); ++k) {
            ASSERT_EQ(decoded[k].type, reference[k].type) << "round " << round << " #" << k;
            ASSERT_EQ(decoded[k].payload, reference[k].payload) << "round " << round << " #" << k;
            ASSERT_EQ(decoded[k].timestamp, reference[k].timestamp) << "round " << round << " #" << k;
        }
    }
}

} // namespace
} // namespace tolvane
