// Decoding captures: requests by name and the command line. The messages
// are the receivers' own, whose tests feed them every way a stream may be
// cut.
#include "capture/capture_decode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_format.h"
#include "protocol/requests.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace test;

// A read beside a set of each request that has both; the names of the
// others are plain cases of one switch.
TEST(CaptureDecode, SentFramesAreNamedAsRequests)
{
    OutgoingRequest unknown = SerialNumberRequest();
    unknown.type = 0x33;
    const std::pair<OutgoingRequest, const char*> table[] = {
        {SerialNumberRequest(), "serial number request"}, {OffsetsReadRequest(), "offsets request (read)"},
        {OffsetsSetRequest(Offsets::kRoll, 0, 5, 0), "offsets request (set)"},
        {DeclinationReadRequest(), "declination request (read)"},
        {DeclinationSetRequest(0), "declination request (set)"},
        {OrientationRateReadRequest(), "orientation rate request (read)"},
        {OrientationRateSetRequest(0), "orientation rate request (set)"},
        {StartupDefaultsReadRequest(), "start-up defaults request (read)"},
        {StartupDefaultsLoadRequest({.mask = StartupDefaults::kInterval, .interval = 100}), "start-up defaults request (load)"},
        {CompensationRequest(CompensationAction::Start), "compensation request (start)"},
        {CompensationRequest(CompensationAction::Revert), "compensation request (revert)"},
        {CompensationRequest(CompensationAction{5}), "compensation request (?)"},
        {unknown, "unknown request 0x33"},
    };
    Capture capture;
    std::vector<std::string> expected;
    for (const auto& [request, name] : table) {
        const Bytes payload(request.payload, request.payload + request.length);
        capture.chunks.push_back({ChunkKind::Sent, 5, Frame(static_cast<std::uint8_t>(request.type), payload), 0});
        expected.push_back(std::string("SENT      ") + name);
    }
    EXPECT_EQ(DecodeCapture(capture, {.requests = true}), expected);
    EXPECT_TRUE(DecodeCapture(capture, {}).empty());
}

TEST(DecodeCli, OptionsInputsAndFailures)
{
    const auto line = [](ChunkKind kind, std::int64_t ms, const Bytes& b) {
        return FormatChunkLine(kind, ms, b.data(), b.size());
    };
    const Bytes dbaud = Frame(0x47, {0x03}), raw = Cat({dbaud, B("junk"), Frame(0x47, {0x01})});
    const Bytes head(dbaud.begin(), dbaud.begin() + 4), tail(dbaud.begin() + 4, dbaud.end());
    const TempDir dir;
    const std::string file = dir / "good.tcap", damaged = dir / "damaged.tcap";
    std::ofstream(file) << FormatHeader({1, 9600, "", ""}) + line(ChunkKind::Received, 12, head) +
                               line(ChunkKind::Received, 15, tail) +
                               line(ChunkKind::Sent, 20, Frame(TypeByte(MessageType::Identity), {})) +
                               line(ChunkKind::Received, 31, B("$HCHDT,123.4,T*2D\r\n")) + FormatGapLine(40, 7) +
                               line(ChunkKind::Received, 52, dbaud);
    std::ofstream(damaged) << FormatHeader({}) + "R 1 zz\n" + line(ChunkKind::Received, 2, dbaud);
    const std::string both = "DBAUD     38400\nDBAUD     9600\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        {{file}, 0, "DBAUD     38400\nNMEA      $HCHDT,123.4,T*2D\n(gap)     7 bytes not captured\nDBAUD     38400\n",
         ""},
        {{"--no-nmea", file}, 0, "DBAUD     38400\n(gap)     7 bytes not captured\nDBAUD     38400\n", ""},
        {{"--time", "--requests", file}, 0,
         "      12  DBAUD     38400\n      20  SENT      serial number request\n      31  NMEA      $HCHDT,123.4,T*2D\n"
         "      40  (gap)     7 bytes not captured\n      52  DBAUD     38400\n", ""},
        {{}, 0, both, ""},
        {{damaged}, 0, "DBAUD     38400\n", damaged + ": line 2 is not a capture line"},
        {{"/"}, 2, "", "tolvane-decode: cannot read /: Is a directory"},
        {{"a.tcap", "b.tcap"}, 2, "", "tolvane-decode: unexpected argument 'b.tcap'"},
        {{"--csv", file}, 0,
         std::string(kCsvHeader) + "\r\n,0x47,DBAUD,,,,\"38400\"\r\n,0x20,NMEA,,,,\"$HCHDT,123.4,T*2D\"\r\n"
                                   ",0x00,(gap),,,,\"7 bytes not captured\"\r\n,0x47,DBAUD,,,,\"38400\"\r\n",
         ""},
    };
    for (const auto& c : cases) {
        std::istringstream in(S(raw));
        std::ostringstream out, err;
        EXPECT_EQ(DecodeMain(c.args, in, out, err), c.status) << ::testing::PrintToString(c.args);
        EXPECT_EQ(out.str(), c.out) << ::testing::PrintToString(c.args);
        EXPECT_EQ(err.str().empty(), c.err.empty());
        EXPECT_THAT(err.str(), ::testing::HasSubstr(c.err));
    }
}

// Input handed over in two pieces: the first line is out before the
// second piece is asked for.
TEST(CaptureDecode, StreamsItsInput)
{
    struct TwoPieces : std::streambuf {
        std::string pieces[2];
        int given = 0;
        const std::ostringstream* out = nullptr;
        bool printedBeforeSecond = false;
        int_type underflow() override
        {
            if (given == 2) return traits_type::eof();
            if (given == 1) printedBeforeSecond = !out->str().empty();
            std::string& piece = pieces[given++];
            setg(piece.data(), piece.data(), piece.data() + piece.size());
            return traits_type::to_int_type(piece[0]);
        }
    } source;
    const Bytes baud = Frame(0x47, {0x03});
    source.pieces[0] = FormatHeader({}) + FormatChunkLine(ChunkKind::Received, 1, baud.data(), baud.size());
    source.pieces[1] = FormatChunkLine(ChunkKind::Received, 2, baud.data(), baud.size());
    std::ostringstream out, err;
    source.out = &out;
    std::istream in(&source);
    ASSERT_EQ(DecodeMain({}, in, out, err), 0);
    EXPECT_TRUE(source.printedBeforeSecond);
    EXPECT_EQ(out.str(), "DBAUD     38400\nDBAUD     38400\n");
}

TEST(CaptureDecode, IsoTimesKeepTheCapturesOffset)
{
    EXPECT_EQ(IsoTimeAfter("2026-12-31T23:59:59-0130", 1001), "2027-01-01T00:00:00.001-01:30");
    EXPECT_EQ(IsoTimeAfter("2026-02-28T12:00:00+0000", 86400000), "2026-03-01T12:00:00.000+00:00");
    EXPECT_EQ(IsoTimeAfter("2026-02-28 12:00:00", 0), "");
    EXPECT_EQ(IsoTimeAfter("", 0), "");
    EXPECT_EQ(CsvField("a,\"b\""), "\"a,\"\"b\"\"\"");
    EXPECT_EQ(CsvField("plain"), "plain");
}

} // namespace
} // namespace tolvane
