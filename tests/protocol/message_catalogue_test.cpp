// A recorded stream of a noisy line against the messages and lines it must
// yield (`make regen` rewrites the expected file when a change is meant);
// the renderings it does not reach (limits, lengths, the rarer branches),
// the bounds every rendering keeps, and the effects.
#include "protocol/message_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "link/framing.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

const std::string kDataDir = TOLVANE_TEST_DATA;

// One line per delivered message: type, length, payload in hex, then the
// rendered mnemonic and text, or a dash for a type that is not shown. The
// text starts as 'Z's, so that a missing terminator or a text not written
// shows; the bytes past the length must be zeros, never an earlier message.
// Last, what the decoder counted.
std::string DecodeAll(const test::Bytes& stream, std::size_t split)
{
    StreamDecoder decoder;
    std::string out;
    auto deliver = [&](const DeviceMessage& m) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02X %2u ", m.type, m.length);
        out += hex;
        for (std::size_t i = 0; i < m.length; ++i) {
            std::snprintf(hex, sizeof hex, "%02X", m.payload[i]);
            out += hex;
        }
        EXPECT_EQ(std::count(m.payload + m.length, std::end(m.payload), 0), kMaxReceivedPayload - m.length) << out;
        StatusLine line;
        std::memset(line.text, 'Z', sizeof line.text);
        out += RenderMessage(m, line) ? "\n   " + std::string(line.mnemonic) + " | " +
                                            std::string(line.text, strnlen(line.text, sizeof line.text)) + "\n"
                                      : "\n   -\n";
    };
    decoder.Feed(stream.data(), split, 0, deliver);
    decoder.Feed(stream.data() + split, stream.size() - split, 0, deliver);
    const ReceiverCounts c = decoder.Counts();
    return out + "frames " + std::to_string(c.frames) + ", checksum failures " + std::to_string(c.checksumFailures) +
           ", lengths refused " + std::to_string(c.resyncs) + ", sentences " + std::to_string(c.nmeaGood) +
           ", sentences with a wrong checksum " + std::to_string(c.nmeaBad) + "\n";
}

// The stream (made by make_mixed_stream.py) holds every received type, the
// near misses and edges of framing and the limits of each rendering.
TEST(RecordedStream, MixedStreamYieldsTheExpectedMessagesAtEverySplit)
{
    const auto stream = test::ReadBytes(kDataDir + "/mixed_stream.bin");
    ASSERT_FALSE(stream.empty());
    const std::string got = DecodeAll(stream, stream.size());
    const std::string expectedPath = kDataDir + "/mixed_stream.expected";
    if (std::getenv("TOLVANE_REGEN")) {
        std::ofstream(expectedPath, std::ios::binary) << got;
        GTEST_SKIP() << "rewrote " << expectedPath;
    }
    EXPECT_EQ(got, test::S(test::ReadBytes(expectedPath)));
    for (std::size_t split = 0; split < stream.size(); ++split) ASSERT_EQ(DecodeAll(stream, split), got) << split;
}

// Payload bytes written field after field, little-endian.
struct Bytes {
    Bytes& Put(std::uint32_t v, int width)
    {
        for (int i = 0; i < width; ++i) data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& u8(int v) { return Put(static_cast<std::uint32_t>(v), 1); }
    Bytes& s16(int v) { return Put(static_cast<std::uint32_t>(v), 2); }
    Bytes& s32(std::int32_t v) { return Put(static_cast<std::uint32_t>(v), 4); }
    Bytes& text(const std::string& s) { return data.insert(data.end(), s.begin(), s.end()), *this; }
    Bytes& fill(std::size_t n, int v) { return data.insert(data.end(), n, static_cast<std::uint8_t>(v)), *this; }
    std::vector<std::uint8_t> data;
};

// `length` below the byte count leaves nonzero bytes past the length, which
// the receivers never deliver: it shows that texts stop at the length.
DeviceMessage Msg(std::uint16_t type, const Bytes& b = {}, int length = -1)
{
    DeviceMessage m;
    m.type = type;
    m.length = static_cast<std::uint16_t>(length < 0 ? b.data.size() : static_cast<std::size_t>(length));
    std::copy(b.data.begin(), b.data.end(), m.payload);
    return m;
}

// What a stream cannot hold: texts end at the length, not at the bytes.
TEST(RenderMessage, TextsStopAtTheLength)
{
    const std::pair<DeviceMessage, std::string> cases[] = {
        {Msg('D', Bytes().text("ABCDEF"), 3), "DPOWER|ABC"},
        {Msg('^', Bytes().fill(4, 0).text("v12345"), 7), "DGPSCT|Status=0  Error=0  FirmVer=v12"},
        {Msg('U', Bytes().u8(0).s16(-1).text("abcdef"), 5), "DWMM|state=0  MagDecl=-0.005493  Source=ab"},
        {Msg(kNmeaType, Bytes().text("$GPXYZ*12"), 6), "NMEA|$GPXYZ"},
    };
    for (const auto& [message, text] : cases) {
        StatusLine line;
        EXPECT_TRUE(RenderMessage(message, line));
        EXPECT_EQ(std::string(line.mnemonic) + "|" + line.text, text);
    }
}

// Exactly the catalogue's types are shown, once each; any other leaves the
// line as it was. Each shown type, at every length and with zeros, ones or
// noise, gives a terminated text within the limit; the message sits at the
// end of a heap block of its size, so that AddressSanitizer sees a read past it.
TEST(RenderMessage, OnlyCatalogueTypesRenderAndStayWithinTheLimit)
{
    std::mt19937 random(20240611);
    std::size_t rendered = 0;
    for (std::uint32_t type = 0; type <= 0xFFFF; ++type) {
        const MessageFormatter* f = FindFormatter(static_cast<std::uint16_t>(type));
        ASSERT_TRUE(f == nullptr || f->type == type) << type;
        rendered += f != nullptr;
        for (std::uint16_t run = f ? 0 : 20; run < (f ? 3 * 81 : 21); ++run) {
            auto m = std::make_unique<DeviceMessage>();
            m->type = static_cast<std::uint16_t>(type);
            m->length = run % 81;
            for (auto& b : m->payload) b = run < 81 ? 0 : run < 162 ? 0xFF : static_cast<std::uint8_t>(random());
            StatusLine line;
            line.mnemonic = "OLD";
            std::memset(line.text, 'Z', sizeof line.text);
            ASSERT_EQ(RenderMessage(*m, line), f != nullptr) << type;
            ASSERT_TRUE(f ? strnlen(line.text, sizeof line.text) <= kStatusTextMax
                          : line.mnemonic + std::string(line.text, sizeof line.text) == "OLD" + std::string(sizeof line.text, 'Z'))
                << type << " " << run;
        }
    }
    EXPECT_EQ(rendered, kFormatterCount);
}

// Records every effect in order; like the real log, a line written while no
// log is open is dropped.
struct FakeEffects : MessageEffects {
    explicit FakeEffects(bool isOpen) : open(isOpen) {}
    bool LogIsOpen() const override { return open; }
    void LogWriteLine(const char* text) override { calls += open ? std::string("line:") + text + ";" : ""; }
    void LogSetHeaderPending() override { calls += "header;"; }
    void LogSetMountOffset(std::int16_t counts) override { calls += "mount:" + std::to_string(counts) + ";"; }
    void LogSetDeclination(std::int16_t counts) override { calls += "decl:" + std::to_string(counts) + ";"; }
    void LogWriteRecord() override { calls += "record;"; }
    void SendRequest(const OutgoingRequest& r) override
    {
        calls += "send:" + std::to_string(r.type) + "/" + std::string(r.payload, r.payload + r.length) + ";";
    }
    bool open;
    std::string calls;
};

TEST(MessageEffects, EachTypeActsOnTheLogAndLinkAsShown)
{
    const struct {
        DeviceMessage message;
        std::string open, closed;
    } cases[] = {
        {Msg('D', Bytes().text("Hi")), "line:;header;", ""},
        {Msg('P', Bytes().u8(0).s16(-2).s16(7).s16(8)), "mount:-2;send:84/" + std::string(3, '\0') + ";", "mount:-2;"},
        {Msg('T', Bytes().u8(0).s16(-300)), "decl:-300;record;", "decl:-300;"},
        {Msg('~', Bytes().u8(0).u8('A').s16(5).s16(-2)), "line:Type=A   5(0005)  -2(FFFE);", ""},
        {Msg('q', Bytes().s32(1).u8('A')), "send:80/" + std::string(7, '\0') + ";", ""},
        {Msg('p', Bytes().s16(1).s16(2).s16(3)), "", ""},
        {Msg('x', Bytes().u8(0).s16(5)), "", ""},
    };
    for (const auto& c : cases) {
        for (bool open : {true, false}) {
            StatusLine line;
            RenderMessage(c.message, line);
            FakeEffects effects(open);
            ApplyMessageEffects(c.message, line, effects);
            EXPECT_EQ(effects.calls, open ? c.open : c.closed) << c.message.type << (open ? " open" : " closed");
        }
    }
}

} // namespace
} // namespace tolvane
