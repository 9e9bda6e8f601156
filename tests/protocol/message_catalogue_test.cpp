#include "protocol/message_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {
namespace {

// Payload bytes written field after field, little-endian.
class Bytes {
public:
    Bytes& u8(int v) { return Put(static_cast<std::uint32_t>(v), 1); }
    Bytes& s16(int v) { return Put(static_cast<std::uint32_t>(v), 2); }
    Bytes& s32(std::int32_t v) { return Put(static_cast<std::uint32_t>(v), 4); }
    Bytes& f32(float v)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return Put(bits, 4);
    }
    Bytes& text(std::string_view s)
    {
        for (char c : s)
            u8(static_cast<unsigned char>(c));
        return *this;
    }
    Bytes& fill(std::size_t n, int v)
    {
        for (std::size_t i = 0; i < n; ++i)
            u8(v);
        return *this;
    }
    std::vector<std::uint8_t> data;

private:
    Bytes& Put(std::uint32_t v, int width)
    {
        for (int i = 0; i < width; ++i)
            data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
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

struct RenderCase {
    std::string name;
    DeviceMessage message;
    const char* mnemonic;
    std::string text;
};

// Test names carry the row's name; the default would dump its bytes.
void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }

const std::vector<RenderCase>& RenderCases()
{
    static const std::vector<RenderCase> cases = {
        {"DRAWD", Msg('d', Bytes().s16(100).s16(-200).s16(300).fill(12, 0x77).s16(-1).s16(2).s16(-3).fill(12, 0x77)
                               .s16(-57).s16(-12).s16(0x4000)),
         "DRAWD", "Acc=(100, -200, 300)  Mag=(-1, 2, -3)  Temp=-5.7  Alt=-12  Hdg=90.0"},
        {"DBUG_integers", Msg('~', Bytes().u8(0).u8('A').s16(5).s16(-2)), "DBUG", "Type=A   5(0005)  -2(FFFE)"},
        {"DBUG_odd_byte_dropped", Msg('~', Bytes().u8(0).u8('z').s16(-1).u8(7)), "DBUG", "Type=z   -1(FFFF)"},
        {"DBUG_at_most_eight", Msg('~', Bytes().u8(0).u8('B').s16(1).s16(2).s16(3).s16(4).s16(5).s16(6).s16(7)
                                           .s16(8).s16(9)),
         "DBUG", "Type=B   1(0001)  2(0002)  3(0003)  4(0004)  5(0005)  6(0006)  7(0007)  8(0008)"},
        {"DBUG_floats", Msg('~', Bytes().u8(1).u8('f').f32(1.5f).f32(-0.000123f).f32(1e10f).u8(0x40)), "DBUG",
         "Type=f   1.5  -0.000123  1E+10"},
        {"DBUG_at_most_four_floats", Msg('~', Bytes().u8(2).u8('g').f32(1).f32(2).f32(3).f32(4).f32(5)), "DBUG",
         "Type=g   1  2  3  4"},
        {"DBUG_no_values", Msg('~', Bytes().u8(0).u8('C')), "DBUG", "Type=C "},
        {"DBUG_one_byte", Msg('~', Bytes().u8(1)), "DBUG", "Type=? "},
        {"DPOSN", Msg('W', Bytes().u8(255).s32(12345).s32(-6789).f32(45.5f).f32(-122.25f).s16(100).s16(0x8000)
                               .s16(7).s16(65535)),
         "DPOSN", "rate=255  N=12.3  E=-6.8  Lat=45.50000  Lon=-122.25000  alt=100  Hdg=180.0  epe=7  steps=65535"},
        {"DGPVT_coarse", Msg('_', Bytes().u8(1).f32(45.5f).f32(-122.25f).s16(12).s16(15).s16(7).s16(-30).s32(3725)),
         "DGPVT", "Coarse  UTC=1:02:05  Lat=45.50000  Lon=-122.25000  EPE=12  HDOP=1.5  SatCnt=7  Alt=-30"},
        {"DGPVT_precise", Msg('_', Bytes().u8(2).fill(16, 0).s32(86399)), "DGPVT",
         "Precise  UTC=23:59:59  Lat=0.00000  Lon=0.00000  EPE=0  HDOP=0.0  SatCnt=0  Alt=0"},
        {"DGPVT_invalid", Msg('_', Bytes().u8(0xFF)), "DGPVT",
         "Invalid  UTC=0:00:00  Lat=0.00000  Lon=0.00000  EPE=0  HDOP=0.0  SatCnt=0  Alt=0"},
        {"DVRSN", Msg(0xC3, Bytes().s16(2).s16(5).s16(0x0100).s32(1234).u8(-3).u8(1)), "DVRSN",
         "Vrsn=2.05  Opts=0x0100  Ser.#=1234  Up=-Z  Fwd=X"},
        {"DVRSN_other_axes", Msg(0xC3, Bytes().s16(10).s16(123).s16(0xABCD).s32(-1).u8(2).u8(-1)), "DVRSN",
         "Vrsn=10.123  Opts=0xABCD  Ser.#=-1  Up=Y  Fwd=-X"},
        {"DVRSN_unknown_axes", Msg(0xC3, Bytes().fill(10, 0).u8(0).u8(4)), "DVRSN",
         "Vrsn=0.00  Opts=0x0000  Ser.#=0  Up=?  Fwd=?"},
        {"DPOWER", Msg('D', Bytes().text("Compass v2.5").u8(0).text("hidden")), "DPOWER", "Compass v2.5"},
        {"DPOWER_ends_at_length", Msg('D', Bytes().text("ABCDEF"), 3), "DPOWER", "ABC"},
        {"DZDR", Msg('V', Bytes().text("xyz")), "DZDR", ""},
        {"DINICAL", Msg('P', Bytes().u8(9).s16(2048).s16(-2048).s16(0x8000)), "DINICAL",
         "body offset=11.2  roll offset=-11.2  pitch offset=-180.0"},
        {"DINIP", Msg('R', Bytes().text("xyz")), "DINIP", ""},
        {"DINIA", Msg('S', Bytes().u8(9).s16(-123)), "DINIA", "altitude=-123"},
        {"DIMVAR", Msg('T', Bytes().u8(1).s16(-2730)), "DIMVAR", "magnetic declination=-15.0"},
        {"DFCTRY_on", Msg('J', Bytes().u8(0x80)), "DFCTRY", "Factory mode on"},
        {"DFCTRY_off", Msg('J', Bytes().u8(0)), "DFCTRY", "Factory mode off"},
        {"DCCTBL_one_byte", Msg('e', Bytes().u8(1)), "DCCTBL", "Success"},
        {"DCCTBL_empty", Msg('e'), "DCCTBL", "Fail"},
        {"DCCTBL_page", Msg('e', Bytes().u8(1).u8(12).fill(64, 0xAA)), "DCCTBL", "Success  Page 12  <64 bytes of data>"},
        {"DCCTBL_no_data", Msg('e', Bytes().u8(0).u8(255)), "DCCTBL", "Fail  Page 255  <0 bytes of data>"},
        {"DSTAT", Msg('I', Bytes().s16(235).s16(0xC000).s16(1500)), "DSTAT", "Temp=23.5  Hdg=270.0  Alt=1500"},
        {"DOBSR", Msg('Y', Bytes().u8(200).f32(1.25f).f32(-0.5f).s16(3).s16(4).s16(-5)), "DOBSR",
         "Req=200  Lat=1.25000  Lon=-0.50000  EPE=3  Alt=4  EVE=-5"},
        {"DGPSCT_status_0", Msg('^', Bytes().u8(0).u8(3).u8(1).u8(50).u8(0)), "DGPSCT", "Status=0  Error=3"},
        {"DGPSCT_active", Msg('^', Bytes().u8(2).u8(0).u8(1).u8(75).text("FW 1.23").u8(0)), "DGPSCT",
         "Status=2  Error=0  Active  DutyCycle=75%  FirmVer=FW 1.23"},
        {"DGPSCT_sleeping", Msg('^', Bytes().u8(1).u8(4).u8(0).u8(0)), "DGPSCT",
         "Status=1  Error=4  Sleeping  DutyCycle=0%"},
        {"DGPSCT_firmware_cut_at_20", Msg('^', Bytes().u8(0).u8(0).u8(0).u8(0).text("ABCDEFGHIJKLMNOPQRSTUVWXYZ")),
         "DGPSCT", "Status=0  Error=0  FirmVer=ABCDEFGHIJKLMNOPQRST"},
        {"DGPSCT_firmware_ends_at_length", Msg('^', Bytes().fill(4, 0).text("v12345"), 7), "DGPSCT",
         "Status=0  Error=0  FirmVer=v12"},
        {"DPED", Msg('N', Bytes().u8(1).u8(0)), "DPED", "Running on, Side/Back off"},
        {"DPED_reversed", Msg('N', Bytes().u8(0).u8(2)), "DPED", "Running off, Side/Back on"},
        {"DTEST_passed", Msg('H', Bytes().s16(0)), "DTEST", "All passed"},
        {"DTEST_failed", Msg('H', Bytes().s16(0x0012)), "DTEST", "Results=0x0012"},
        {"DBAUD_0", Msg('G', Bytes().u8(0)), "DBAUD", "4800"},
        {"DBAUD_3", Msg('G', Bytes().u8(3)), "DBAUD", "38400"},
        {"DBAUD_4", Msg('G', Bytes().u8(4)), "DBAUD", "???"},
        {"DSDFLT", Msg('f', Bytes().s16(1).s16(182).s16(-182).s16(2048).s16(4096).s16(100)), "DSDFLT",
         "Result=0x01  MagDecl=1.0  BOffset=-1.0  POffset=11.2  ROffset=22.5  DORIENTIntrvl=100"},
        {"DSDFLT_wide_result", Msg('f', Bytes().s16(0x1234)), "DSDFLT",
         "Result=0x1234  MagDecl=0.0  BOffset=0.0  POffset=0.0  ROffset=0.0  DORIENTIntrvl=0"},
        {"DMCALP", Msg('g', Bytes().s16(1).s16(-2).s16(3).s16(-4).s16(5).s16(-6).s16(8192).s16(-16384).s16(77)),
         "DMCALP", "N=1  A=-2  B=3  C=-4  F0=5  F1=-6  MagDecl=45.0  MagOffset=-90.0  RMS=77"},
        {"DSVCAL_success", Msg('i', Bytes().u8(1)), "DSVCAL", "Success"},
        {"DSVCAL_failure", Msg('i', Bytes().u8(0)), "DSVCAL", "Failure"},
        {"DORIENT_6_bytes", Msg('p', Bytes().s16(0x8000).s16(2048).s16(0xC000)), "DORIENT",
         "Roll=-180.0  Pitch=11.2  Azimuth=270.0"},
        {"DORIENT_17_bytes", Msg('p', Bytes().s16(0).s16(0).s16(0).fill(11, 1)), "DORIENT",
         "Roll=0.0  Pitch=0.0  Azimuth=0.0"},
        {"DORIENT_18_bytes", Msg('p', Bytes().s16(0x8000).s16(2048).s16(0xC000).s16(1).s16(-2).s16(3).s16(-4).s16(5)
                                        .s16(-6)),
         "DORIENT", "Roll=-180.0  Pitch=11.2  Azimuth=270.0  RFUAcc=1,-2,3  RFUMag=-4,5,-6"},
        {"DORRATE", Msg(0x7F, Bytes().s16(-1)), "DORRATE", "DORIENT interval=-1 msec"},
        {"DRMC", Msg('q', Bytes().s32(3725).u8('A').f32(45.5f).f32(-122.25f).s16(9).f32(12.5f).s16(0x4000).u8(31)
                              .u8(3).u8(4)),
         "DRMC", "Stat=A  3/31/04  1:02:05  Lat=45.50000  Lon=-122.25000  EPE=9  Azim=90.0  Speed=12.5"},
        {"DRMC_zero_status", Msg('q', Bytes().s32(86399).u8(0)), "DRMC",
         "Stat=?  0/0/00  23:59:59  Lat=0.00000  Lon=0.00000  EPE=0  Azim=0.0  Speed=0.0"},
        {"DMCAL", Msg('r', Bytes().u8(1).u8(0).u8(3).u8(0).u8(5).u8(1).u8(2).u8(0).u8(0).u8(4).u8(12).s16(0)), "DMCAL",
         "State=get data  Status=0  Bins=3,0,5,1,2,0,0,4  Comp=12  Qual=0"},
        {"DMCAL_state_7", Msg('r', Bytes().u8(7).u8(255).fill(8, 255).u8(100).s16(-1)), "DMCAL",
         "State=???  Status=255  Bins=255,255,255,255,255,255,255,255  Comp=100  Qual=-1"},
        {"DMCAL_abort", Msg('r', Bytes().u8(3)), "DMCAL", "State=abort  Status=0  Bins=0,0,0,0,0,0,0,0  Comp=0  Qual=0"},
        {"DWMM", Msg('U', Bytes().u8(1).s16(2048).text("WMM2020").u8(0).text("x")), "DWMM",
         "state=1  MagDecl=11.250000  Source=WMM2020"},
        {"DWMM_ends_at_length", Msg('U', Bytes().u8(0).s16(-1).text("abcdef"), 5), "DWMM",
         "state=0  MagDecl=-0.005493  Source=ab"},
        {"NMEA", Msg(kNmeaType, Bytes().text("$GPGGA,123519,4807.038,N*47")), "NMEA", "$GPGGA,123519,4807.038,N*47"},
        {"NMEA_ends_at_length", Msg(kNmeaType, Bytes().text("$GPXYZ*12"), 6), "NMEA", "$GPXYZ"},
    };
    return cases;
}

class RenderMessageCase : public ::testing::TestWithParam<RenderCase> {};

TEST_P(RenderMessageCase, RendersMnemonicAndText)
{
    const RenderCase& c = GetParam();
    StatusLine line;
    std::memset(line.text, 'Z', sizeof line.text); // a missing terminator or stale text shows
    ASSERT_TRUE(RenderMessage(c.message, line));
    EXPECT_STREQ(line.mnemonic, c.mnemonic);
    EXPECT_EQ(line.mnemonic, FindFormatter(c.message.type)->mnemonic);
    EXPECT_EQ(std::string(line.text, strnlen(line.text, sizeof line.text)), c.text);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, RenderMessageCase, ::testing::ValuesIn(RenderCases()),
                         [](const auto& testInfo) { return testInfo.param.name; });

TEST(MessageCatalogue, TableIsInCatalogueOrderWithDistinctMnemonics)
{
    const std::uint16_t types[] = {'d', '~', 'W', '_', 0xC3, 'D', 'V', 'P', 'R', 'S', 'T', 'J', 'e', 'I',
                                   'Y', '^', 'N', 'H', 'G', 'f', 'g', 'i', 'p', 0x7F, 'q', 'r', 'U', 0x20};
    std::set<std::string> mnemonics;
    std::set<std::uint16_t> withEffects;
    for (std::size_t i = 0; i < kFormatterCount; ++i) {
        const MessageFormatter& f = kMessageFormatters[i];
        EXPECT_EQ(f.type, types[i]) << "entry " << i;
        ASSERT_NE(f.render, nullptr);
        mnemonics.insert(f.mnemonic);
        if (f.effect != nullptr)
            withEffects.insert(f.type);
    }
    EXPECT_EQ(mnemonics.size(), kFormatterCount);
    EXPECT_EQ(withEffects, (std::set<std::uint16_t>{'D', 'P', 'T', '~', 'q'}));
}

TEST(MessageCatalogue, OnlyCatalogueTypesRenderAndOthersLeaveTheLineAlone)
{
    int rendered = 0;
    for (std::uint32_t type = 0; type <= 0xFFFF; ++type) {
        const DeviceMessage m = Msg(static_cast<std::uint16_t>(type), Bytes().fill(20, 1));
        StatusLine line;
        line.mnemonic = "OLD";
        std::snprintf(line.text, sizeof line.text, "old text");
        if (RenderMessage(m, line)) {
            ++rendered;
            EXPECT_EQ(FindFormatter(m.type)->type, type);
        } else {
            EXPECT_EQ(FindFormatter(m.type), nullptr);
            EXPECT_STREQ(line.mnemonic, "OLD");
            EXPECT_STREQ(line.text, "old text");
        }
    }
    EXPECT_EQ(rendered, static_cast<int>(kFormatterCount));
}

// The message sits at the end of a heap block of exactly its size, so under
// AddressSanitizer a read past the payload buffer is reported.
TEST(RenderMessageBounds, EveryTypeAndLengthGivesATerminatedTextWithinTheLimit)
{
    std::mt19937 random(20240611);
    for (const MessageFormatter& f : kMessageFormatters) {
        for (int fill = 0; fill < 3; ++fill) {
            for (std::uint16_t length = 0; length <= kMaxReceivedPayload; ++length) {
                auto m = std::make_unique<DeviceMessage>();
                m->type = f.type;
                m->length = length;
                for (std::uint8_t& b : m->payload)
                    b = fill == 0 ? 0x00 : fill == 1 ? 0xFF : static_cast<std::uint8_t>(random());
                StatusLine line;
                std::memset(line.text, 'Z', sizeof line.text);
                ASSERT_TRUE(RenderMessage(*m, line));
                EXPECT_LE(strnlen(line.text, sizeof line.text), kStatusTextMax)
                    << f.mnemonic << " fill " << fill << " length " << length;
            }
        }
    }
}

TEST(RenderMessageBounds, LongRenderingsAreCutAtTheLimit)
{
    const std::string big = "340282346638528859811704183484516925440.00000";
    const struct {
        DeviceMessage message;
        std::string text;
    } cases[] = {
        {Msg('W', Bytes().u8(0).s32(0).s32(0).f32(FLT_MAX).f32(FLT_MAX)),
         "rate=0  N=0.0  E=0.0  Lat=" + big + "  Lon=" + big + "  alt=0  "},
        {Msg('_', Bytes().u8(0).f32(FLT_MAX).f32(-FLT_MAX)),
         "Invalid  UTC=0:00:00  Lat=" + big + "  Lon=-" + big + "  EPE=0 "},
        {Msg('q', Bytes().s32(0).u8('A').f32(-FLT_MAX).f32(FLT_MAX).s16(0).f32(FLT_MAX)),
         "Stat=A  0/0/00  0:00:00  Lat=-" + big + "  Lon=" + big + "  EPE"},
    };
    for (const auto& c : cases) {
        StatusLine line;
        ASSERT_TRUE(RenderMessage(c.message, line));
        EXPECT_EQ(c.text.size(), kStatusTextMax);
        EXPECT_EQ(line.text, c.text);
    }
}

// Records every effect in order; like the real log, a line written while no
// log is open is dropped.
class FakeEffects : public MessageEffects {
public:
    explicit FakeEffects(bool open) : open_(open) {}
    bool LogIsOpen() const override { return open_; }
    void LogWriteLine(const char* text) override
    {
        if (open_)
            calls.push_back(std::string("line:") + text);
    }
    void LogSetHeaderPending() override { calls.push_back("header"); }
    void LogSetMountOffset(std::int16_t counts) override { calls.push_back("mount:" + std::to_string(counts)); }
    void LogSetDeclination(std::int16_t counts) override { calls.push_back("decl:" + std::to_string(counts)); }
    void LogWriteRecord() override { calls.push_back("record"); }
    void SendRequest(const OutgoingRequest& r) override
    {
        char text[24];
        std::snprintf(text, sizeof text, "send:%04X/%u:", static_cast<unsigned>(r.type),
                      static_cast<unsigned>(r.length));
        std::string call = text;
        for (std::size_t i = 0; i < r.length && i < sizeof r.payload; ++i) {
            std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(r.payload[i]));
            call += text;
        }
        calls.push_back(call);
    }
    std::vector<std::string> calls;

private:
    bool open_;
};

TEST(MessageEffects, EachTypeActsOnTheLogAndLinkAsShown)
{
    using Calls = std::vector<std::string>;
    const struct {
        const char* name;
        DeviceMessage message;
        Calls open;
        Calls closed;
    } cases[] = {
        {"DPOWER", Msg('D', Bytes().text("Hi")), {"line:", "header"}, {}},
        {"DINICAL", Msg('P', Bytes().u8(0).s16(-2).s16(77).s16(88)), {"mount:-2", "send:0054/3:000000"}, {"mount:-2"}},
        {"DIMVAR", Msg('T', Bytes().u8(0).s16(-300)), {"decl:-300", "record"}, {"decl:-300"}},
        {"DBUG", Msg('~', Bytes().u8(0).u8('A').s16(5).s16(-2)), {"line:Type=A   5(0005)  -2(FFFE)"}, {}},
        {"DRMC", Msg('q', Bytes().s32(1).u8('A')), {"send:0050/7:00000000000000"}, {}},
        {"DORIENT", Msg('p', Bytes().s16(1).s16(2).s16(3)), {}, {}},
        {"DVRSN", Msg(0xC3, Bytes().s16(1)), {}, {}},
        {"unknown", Msg('x', Bytes().u8(0).s16(5)), {}, {}},
    };
    for (const auto& c : cases) {
        for (bool open : {true, false}) {
            StatusLine line;
            RenderMessage(c.message, line);
            FakeEffects effects(open);
            ApplyMessageEffects(c.message, line, effects);
            EXPECT_EQ(effects.calls, open ? c.open : c.closed) << c.name << (open ? " open" : " closed");
        }
    }
}

} // namespace
} // namespace tolvane
