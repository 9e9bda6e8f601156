// A recorded stream of a noisy line against the messages and lines it must
// yield (`make regen` rewrites the expected file when a change is meant);
// the renderings it does not reach (limits, lengths, the rarer branches),
// the bounds every rendering keeps, and the effects.
#include "protocol/message_catalogue.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
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
// rendered mnemonic and text, or a dash for a type that is not shown.
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
        StatusLine line;
        out += RenderMessage(m, line) ? std::string("\n   ") + line.mnemonic + " | " + line.text + "\n" : "\n   -\n";
    };
    decoder.Feed(stream.data(), split, 0, deliver);
    decoder.Feed(stream.data() + split, stream.size() - split, 0, deliver);
    return out;
}

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
    Bytes& f32(float v) { return Put(std::bit_cast<std::uint32_t>(v), 4); }
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

std::string Render(const DeviceMessage& m)
{
    StatusLine line;
    std::memset(line.text, 'Z', sizeof line.text); // a missing terminator or stale text shows
    EXPECT_TRUE(RenderMessage(m, line));
    return std::string(line.mnemonic) + "|" + std::string(line.text, strnlen(line.text, sizeof line.text));
}

TEST(RenderMessage, LimitsLengthsAndRareBranches)
{
    const std::string big = "340282346638528859811704183484516925440.00000";
    const std::pair<DeviceMessage, std::string> cases[] = {
        {Msg('~', Bytes().u8(0).u8('z').s16(-1).u8(7)), "DBUG|Type=z   -1(FFFF)"},
        {Msg('~', Bytes().u8(0).u8('B').s16(1).s16(2).s16(3).s16(4).s16(5).s16(6).s16(7).s16(8).s16(9)),
         "DBUG|Type=B   1(0001)  2(0002)  3(0003)  4(0004)  5(0005)  6(0006)  7(0007)  8(0008)"},
        {Msg('~', Bytes().u8(2).u8('g').f32(1).f32(2).f32(3).f32(4).f32(5)), "DBUG|Type=g   1  2  3  4"},
        {Msg('~', Bytes().u8(1).u8('f').f32(1e10f).u8(0x40)), "DBUG|Type=f   1E+10"},
        {Msg('~', Bytes().u8(1)), "DBUG|Type=? "},
        {Msg('_', Bytes().u8(2).fill(16, 0).s32(86340)), "DGPVT|Precise  UTC=23:59:00  Lat=0.00000  Lon=0.00000  "
                                                         "EPE=0  HDOP=0.0  SatCnt=0  Alt=0"},
        {Msg('_', Bytes().u8(0xFF)),
         "DGPVT|Invalid  UTC=0:00:00  Lat=0.00000  Lon=0.00000  EPE=0  HDOP=0.0  SatCnt=0  Alt=0"},
        {Msg(0xC3, Bytes().s16(10).s16(123).s16(0xABCD).s32(-1).u8(2).u8(-1)),
         "DVRSN|Vrsn=10.123  Opts=0xABCD  Ser.#=-1  Up=Y  Fwd=-X"},
        {Msg('D', Bytes().text("ABCDEF"), 3), "DPOWER|ABC"},
        {Msg('e', Bytes().u8(0).u8(255)), "DCCTBL|Fail  Page 255  <0 bytes of data>"},
        {Msg('^', Bytes().u8(1).u8(4).u8(0).u8(0)), "DGPSCT|Status=1  Error=4  Sleeping  DutyCycle=0%"},
        {Msg('^', Bytes().fill(4, 0).text("ABCDEFGHIJKLMNOPQRSTUVWXYZ")),
         "DGPSCT|Status=0  Error=0  FirmVer=ABCDEFGHIJKLMNOPQRST"},
        {Msg('^', Bytes().fill(4, 0).text("v12345"), 7), "DGPSCT|Status=0  Error=0  FirmVer=v12"},
        {Msg('N', Bytes().u8(0).u8(2)), "DPED|Running off, Side/Back on"},
        {Msg('f', Bytes().s16(0x1234)),
         "DSDFLT|Result=0x1234  MagDecl=0.0  BOffset=0.0  POffset=0.0  ROffset=0.0  DORIENTIntrvl=0"},
        {Msg('p', Bytes().s16(0).s16(0).s16(0).fill(11, 1)), "DORIENT|Roll=0.0  Pitch=0.0  Azimuth=0.0"},
        {Msg('q', Bytes().s32(86340).u8(0)),
         "DRMC|Stat=?  0/0/00  23:59:00  Lat=0.00000  Lon=0.00000  EPE=0  Azim=0.0  Speed=0.0"},
        {Msg('r', Bytes().u8(3)), "DMCAL|State=abort  Status=0  Bins=0,0,0,0,0,0,0,0  Comp=0  Qual=0"},
        {Msg('r', Bytes().u8(4)), "DMCAL|State=???  Status=0  Bins=0,0,0,0,0,0,0,0  Comp=0  Qual=0"},
        {Msg('U', Bytes().u8(0).s16(-1).text("abcdef"), 5), "DWMM|state=0  MagDecl=-0.005493  Source=ab"},
        {Msg(kNmeaType, Bytes().text("$GPXYZ*12"), 6), "NMEA|$GPXYZ"},
        // Cut at 131 characters.
        {Msg('W', Bytes().u8(0).s32(0).s32(0).f32(FLT_MAX).f32(FLT_MAX)),
         "DPOSN|rate=0  N=0.0  E=0.0  Lat=" + big + "  Lon=" + big + "  alt=0  "},
        {Msg('_', Bytes().u8(0).f32(FLT_MAX).f32(-FLT_MAX)),
         "DGPVT|Invalid  UTC=0:00:00  Lat=" + big + "  Lon=-" + big + "  EPE=0 "},
        {Msg('q', Bytes().s32(0).u8('A').f32(-FLT_MAX).f32(FLT_MAX).s16(0).f32(FLT_MAX)),
         "DRMC|Stat=A  0/0/00  0:00:00  Lat=-" + big + "  Lon=" + big + "  EPE"},
    };
    for (const auto& [message, text] : cases) EXPECT_EQ(Render(message), text);
    std::string axes;
    for (int code = -4; code <= 4; ++code) axes += std::string(AxisCodeText(static_cast<std::int8_t>(code))) + " ";
    EXPECT_EQ(axes, "? -Z -Y -X ? X Y Z ? ");
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
