// A recorded stream of a noisy line against the messages, lines and effects
// it must yield (golden/protocol_mixed_stream.txt); what a stream cannot
// hold (texts cut by the length, not by the bytes), and the bounds every
// rendering keeps.
#include "protocol/message_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>

#include "link/framing.h"
#include "support/golden.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

// A type and its payload in hex: "54 0041F7".
std::string Hex(std::uint16_t type, const std::uint8_t* payload, std::size_t length)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X ", type);
    std::string out = hex;
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", payload[i]);
        out += hex;
    }
    return out;
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
    void SendRequest(const OutgoingRequest& r) override { calls += "send:" + Hex(r.type, r.payload, r.length) + ";"; }
    bool open;
    std::string calls;
};

// One line per delivered message: type, length, payload in hex, then the
// rendered mnemonic and text, or a dash for a type that is not shown, and
// the effects of showing it on the log and the link, with the log open and
// closed, for the types that have any. The text starts as 'Z's, so that a
// missing terminator or a text not written shows; the bytes past the length
// must be zeros, never an earlier message. Last, what the decoder counted.
std::string DecodeAll(const test::Bytes& stream, std::size_t split)
{
    StreamDecoder decoder;
    std::string out;
    auto deliver = [&](const DeviceMessage& m) {
        const std::string hex = Hex(m.type, m.payload, m.length);
        out += hex.substr(0, 3) + (m.length < 10 ? " " : "") + std::to_string(m.length) + " " + hex.substr(3);
        EXPECT_EQ(std::count(m.payload + m.length, std::end(m.payload), 0), kMaxReceivedPayload - m.length) << out;
        StatusLine line;
        std::memset(line.text, 'Z', sizeof line.text);
        out += RenderMessage(m, line) ? "\n   " + std::string(line.mnemonic) + " | " +
                                            std::string(line.text, strnlen(line.text, sizeof line.text)) + "\n"
                                      : "\n   -\n";
        FakeEffects open(true), closed(false);
        ApplyMessageEffects(m, line, open);
        ApplyMessageEffects(m, line, closed);
        if (!open.calls.empty() || !closed.calls.empty())
            out += "   log open: " + open.calls + "  log closed: " + closed.calls + "\n";
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
    const auto stream = test::ReadBytes(std::string(TOLVANE_TEST_DATA) + "/mixed_stream.bin");
    ASSERT_FALSE(stream.empty());
    const std::string got = DecodeAll(stream, stream.size());
    test::ExpectGolden("protocol_mixed_stream.txt", got);
    for (std::size_t split = 0; split < stream.size(); ++split) ASSERT_EQ(DecodeAll(stream, split), got) << split;
}

// What a stream cannot hold: bytes past the length, which the receivers
// never deliver. Texts end at the length, not at the bytes.
TEST(RenderMessage, TextsStopAtTheLength)
{
    const std::tuple<std::uint16_t, std::string, std::uint16_t, std::string> cases[] = {
        {'D', "ABCDEF", 3, "DPOWER|ABC"},
        {'^', std::string(4, '\0') + "v12345", 7, "DGPSCT|Status=0  Error=0  FirmVer=v12"},
        {'U', std::string("\0\xFF\xFF", 3) + "abcdef", 5, "DWMM|state=0  MagDecl=-0.005493  Source=ab"},
        {kNmeaType, "$GPXYZ*12", 6, "NMEA|$GPXYZ"},
    };
    for (const auto& [type, bytes, length, text] : cases) {
        DeviceMessage m;
        m.type = type;
        m.length = length;
        std::copy(bytes.begin(), bytes.end(), m.payload);
        StatusLine line;
        EXPECT_TRUE(RenderMessage(m, line));
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
        ASSERT_TRUE(f == nullptr || TypeByte(f->type) == type) << type;
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
            const std::string untouched = "OLD" + std::string(sizeof line.text, 'Z');
            ASSERT_TRUE(f ? strnlen(line.text, sizeof line.text) <= kStatusTextMax
                          : line.mnemonic + std::string(line.text, sizeof line.text) == untouched)
                << type << " " << run;
        }
    }
    EXPECT_EQ(rendered, kFormatterCount);
}

} // namespace
} // namespace tolvane
