// Captures: the file's lines written and read back, what reading makes of
// raw bytes and damaged lines, and the writer under a disk that does not
// keep up (the caller never waits, nothing is lost until the buffer is
// full, then the loss is counted); then decoding them: every request's frame
// and name, and the command line (a transcript under tests/data/golden).
// The messages are the receivers' own, pinned by the recorded mixed stream.
#include "capture/capture_decode.h"
#include "capture/capture_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "capture/capture_writer.h"
#include "protocol/requests.h"
#include "link/framing.h"
#include "support/golden.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using namespace test;
using ::testing::ElementsAre;

std::string Line(ChunkKind kind, std::int64_t ms, const Bytes& b)
{
    return FormatChunkLine(kind, ms, b.data(), b.size());
}

// A capture as the file's lines (or "raw" for one without a header), then
// the numbers of the lines refused in reading it.
std::string Lines(const Capture& capture)
{
    std::string out = capture.raw ? "raw\n" : FormatHeader(capture.header);
    for (const auto& c : capture.chunks)
        out += c.kind == ChunkKind::Gap ? FormatGapLine(c.ms, c.lost) : Line(c.kind, c.ms, c.bytes);
    for (const std::size_t line : capture.badLines) out += "refused line " + std::to_string(line) + "\n";
    return out;
}

// The file's lines as written (every byte value, the longest times and
// counts) read back whole; raw bytes read as one received chunk; a file
// with damaged lines, each refused by number and the rest kept. The
// transcript pins the lines' look and what was read.
TEST(CaptureFormat, LinesWrittenAndReadBack)
{
    const Capture capture{false, {1, 38400, "2024-05-01T13:45:10+0200", "/dev/serial/by-id/usb adapter"},
        {{ChunkKind::Sent, 1533, {0x0D, 0x0A, 0x7E, 0xC3, 0x00, 0x30}, 0}, {ChunkKind::Gap, 20, {}, 4096},
         {ChunkKind::Received, 0, Filled(256, 0), 0}, {ChunkKind::Sent, 37, {0xFF}, 0},
         {ChunkKind::Gap, 40, {}, 9'999'999'999'999'999'999u}, {ChunkKind::Received, kCaptureMaxMs, {0}, 0}}, {}};
    const std::string written = Lines(capture);
    EXPECT_EQ(Lines(ParseCapture(written)), written);
    // Lines of up to 16384 characters are read; longer ones are skipped without being held.
    EXPECT_EQ(ParseCapture("TOLVANE-CAPTURE 1\n" + Line(ChunkKind::Received, 20, Bytes(5460))).chunks.at(0).bytes,
              Bytes(5460));
    EXPECT_THAT(ParseCapture("TOLVANE-CAPTURE 1 device=" + std::string(16400, 'x') + "\nR 1 00").badLines,
                ElementsAre(1u));
    const std::string damaged = std::string("TOLVANE-CAPTURE 1 baud=4800 start=x device=/dev/ttyS0\r\n"
                                "R 10 0d 0A\r\n"
                                "\n"
                                "R 11\n"     // 4: no bytes
                                "X 12 00\n"  // 5: unknown direction
                                "R 13 0G\n"  // 6: not hex
                                "T -1 00\n"  // 7: negative time
                                "G 14 0\n"   // 8: nothing lost
                                "R 15 123\n" // 9: three digits
                                "G 16 5\n"
                                "T 17 FF\n"
                                "G 18 99999999999999999999\n" // 12: more than 64 bits
                                "R 2147483648 01\n"          // past 32 bits
                                "R 68719476736 00\n"         // 14: beyond the longest time
                                "G 9223372036854775808 5\n"  // 15
                                ) + Line(ChunkKind::Received, 19, Bytes(5461)) + // 16: longer than any written
                                "R 20 04";
    ExpectGolden("capture_format.txt", "written and read back:\n" + written + "\nraw bytes, read:\n" +
                                           Lines(ParseCapture(std::string("\r\n~G\x01\x03\xC7$HC", 10))) +
                                           "\nnothing, read:\n" + Lines(ParseCapture("")) + "\ndamaged, read:\n" +
                                           Lines(ParseCapture(damaged)));
}

// Lines kept in memory, each write waiting while the test holds the gate,
// as a disk that has stalled.
struct StalledDisk : CaptureOutput {
    StalledDisk(std::mutex& g, std::string& t) : gate(g), text(t) {}
    bool WriteLine(const std::string& line) override
    {
        std::lock_guard lock(gate);
        text += line;
        return true;
    }
    std::mutex& gate;
    std::string& text;
};

TEST(CaptureWriter, FloodAgainstStalledDiskLosesOnlyWhatOverflows)
{
    constexpr std::size_t kBuffer = 4096, kChunk = 100, kFlood = 10000; // the buffer is no multiple of the chunk
    const Bytes flood = Filled(kFlood + 50);
    std::mutex gate;
    std::string text;
    CaptureWriter writer(kBuffer);
    ASSERT_TRUE(writer.Start(std::make_unique<StalledDisk>(gate, text), {1, 38400, "", ""}, 1000));
    {
        const std::lock_guard stall(gate);
        auto reader = std::async(std::launch::async, [&] {
            for (std::size_t at = 0; at < kFlood; at += kChunk)
                writer.Received(&flood[at], kChunk, static_cast<std::int32_t>(1000 + at / kChunk));
        });
        ASSERT_EQ(reader.wait_for(5s), std::future_status::ready) << "the reader waited on the disk";
        EXPECT_EQ(writer.LostCount(), kFlood - kBuffer);
    }
    // Room again once written: later bytes are kept, after the gap.
    ASSERT_TRUE(WaitFor([&] {
        const std::lock_guard lock(gate);
        return text.find("\nG ") != std::string::npos;
    }));
    writer.Received(&flood[kFlood], 50, 5000);
    writer.Stop();
    // Those that queued behind the stalled write went out together, each as the line it had alone.
    std::string lines = FormatHeader({1, 38400, "", ""});
    for (std::size_t at = 0; at < kBuffer; at += kChunk)
        lines += Line(ChunkKind::Received, at / kChunk, Bytes(&flood[at], &flood[std::min(at + kChunk, kBuffer)]));
    EXPECT_EQ(text.substr(0, lines.size()), lines);
    const Capture capture = ParseCapture(text);
    ASSERT_GE(capture.chunks.size(), 3u);
    EXPECT_EQ(capture.header.baud, 38400);
    Bytes kept;
    std::uint64_t lost = 0;
    for (auto c = capture.chunks.begin(); c < capture.chunks.end() - 1; ++c)
        kept = Cat({kept, c->bytes}), lost += c->lost;
    EXPECT_EQ(kept, Bytes(flood.begin(), flood.begin() + kBuffer));
    EXPECT_EQ(lost, kFlood - kBuffer); // in one gap, or two when the writer took its buffer while the flood went on
    EXPECT_EQ(capture.chunks.back(), (CaptureChunk{ChunkKind::Received, 4000, Bytes(flood.end() - 50, flood.end())}));
}

TEST(CaptureWriter, FileGetsEveryLineInOrderAsWritten)
{
    const TempDir dir;
    CaptureWriter writer;
    std::string error, content;
    EXPECT_FALSE(writer.Open(dir / "none/c.tcap", {}, 0, error));
    EXPECT_THAT(error, ::testing::HasSubstr(dir / "none/c.tcap"));
    ASSERT_TRUE(writer.Open(dir / "c.tcap", {1, 0, "", "/dev/ttyUSB0"}, 100, error)) << error;
    const std::uint8_t bytes[] = {0x0D, 0x0A, 0x7E};
    writer.Received(bytes, 2, 150);
    writer.Sent(bytes, 3, 160);
    writer.Received(bytes, 0, 170); // nothing read: no line
    writer.Stop();
    writer.Received(bytes, 3, 180); // after the stop: ignored
    ASSERT_TRUE(ReadWholeFile(dir / "c.tcap", content, error));
    EXPECT_EQ(content, "TOLVANE-CAPTURE 1 baud=0 start= device=/dev/ttyUSB0\nR 50 0D 0A\nT 60 0D 0A 7E\n");
}

// Every request, its frame byte for byte (CR LF '~' type length payload,
// then the low byte of the sum of all before it) and its name as a decoded
// capture shows it: a read beside a set of each request that has both, and
// the other names. Angles go as counts of 180/32768 degrees (-1 degree is
// -182, 10.5 is 1911, 45 is 8192), little-endian. The start-up defaults
// load the roll (bit 2, 18 at offset 8) and pitch (bit 3, -18 at offset 6)
// offsets; flags clear for declination, body offset and interval are sent
// as zero. The WMM request is for 31 March 2004, 45.5 S, 122.25 W, -1000 ft
// (-304.8006 m, the nearest float), f32 little-endian.
TEST(CaptureDecode, EveryRequestsFrameAndName)
{
    using D = StartupDefaults;
    const D defaults{.mask = D::kRollOffset | D::kPitchOffset, .declination = 5, .bodyOffset = 7, .pitchOffset = -18,
                     .rollOffset = 18, .interval = 9};
    OutgoingRequest unknown = SerialNumberRequest();
    unknown.type = 0x33;
    const std::tuple<OutgoingRequest, const char*, const char*> requests[] = {
        {SerialNumberRequest(), "0D 0A 7E C3 00 58", "serial number request"},
        {SelfTestRequest(), "0D 0A 7E 48 00 DD", "self test request"},
        {ResetRequest(), "0D 0A 7E 42 00 D7", "reset request"},
        {CompensationParametersRequest(), "0D 0A 7E 67 00 FC", "compensation parameters request"},
        {OffsetsReadRequest(), "0D 0A 7E 50 07 00 00 00 00 00 00 00 EC", "offsets request (read)"},
        {OffsetsSetRequest(Offsets::kBody | Offsets::kPitch, 1911, -182, 8192),
         "0D 0A 7E 50 07 05 77 07 4A FF 00 20 D8", "offsets request (set)"},
        {DeclinationReadRequest(), "0D 0A 7E 54 03 00 00 00 EC", "declination request (read)"},
        {DeclinationSetRequest(-182), "0D 0A 7E 54 03 01 4A FF 36", "declination request (set)"},
        {OrientationRateReadRequest(), "0D 0A 7E 7F 02 FF FF 14", "orientation rate request (read)"},
        {OrientationRateSetRequest(145), "0D 0A 7E 7F 02 91 00 A7", "orientation rate request (set)"},
        {StartupDefaultsReadRequest(), "0D 0A 7E 66 0C 00 00 00 00 00 00 00 00 00 00 00 00 07",
         "start-up defaults request (read)"},
        {StartupDefaultsLoadRequest(defaults), "0D 0A 7E 66 0C 0C 00 00 00 00 00 EE FF 12 00 00 00 12",
         "start-up defaults request (load)"},
        {CompensationRequest(CompensationAction::Start), "0D 0A 7E 72 01 01 09", "compensation request (start)"},
        {CompensationRequest(CompensationAction::Revert), "0D 0A 7E 72 01 04 0C", "compensation request (revert)"},
        {CompensationRequest(CompensationAction{5}), "0D 0A 7E 72 01 05 0D", "compensation request (?)"},
        {WmmRequest(31, 3, 4, -45.5, -122.25, -1000.0),
         "0D 0A 7E 55 0F 1F 03 04 00 00 36 C2 00 80 F4 C2 7A 66 98 C3 88", "WMM request"},
        {unknown, "0D 0A 7E 33 00 C8", "unknown request 0x33"},
    };
    for (const auto& [request, frame, name] : requests) {
        std::uint8_t bytes[kMaxSentFrame];
        const std::size_t size =
            EncodeBinaryFrame(static_cast<std::uint8_t>(request.type), request.payload, request.length, bytes);
        Capture sent;
        sent.chunks.push_back({ChunkKind::Sent, 5, Bytes(bytes, bytes + size), 0});
        EXPECT_EQ(Line(ChunkKind::Sent, 5, sent.chunks[0].bytes), "T 5 " + std::string(frame) + "\n");
        EXPECT_TRUE(DecodeCapture(sent, {}).empty()) << frame;
        EXPECT_THAT(DecodeCapture(sent, {.requests = true}), ElementsAre("SENT      " + std::string(name))) << frame;
    }
}

// tolvane-decode's runs: each command line, its exit status, what it
// printed and its complaints. The capture files are inputs in tests/data
// (a frame cut across two lines, a request sent, a sentence, a gap; a line
// that is not hex); standard input holds a raw stream.
TEST(DecodeCli, OptionsInputsAndFailures)
{
    const std::string data = TOLVANE_TEST_DATA, file = data + "/capture_decode_input.tcap";
    constexpr std::uint8_t kBaud = TypeByte(MessageType::Baud);
    const Bytes raw = Cat({Frame(kBaud, {0x03}), B("junk"), Frame(kBaud, {0x01})});
    const std::vector<std::string> runs[] = {
        {file},
        {"--no-nmea", file},
        {"--time", "--requests", file},
        {},
        {data + "/capture_decode_damaged.tcap"},
        {"/"},
        {"a.tcap", "b.tcap"},
        {"--csv", file},
        {"--csv", "--time", file},
    };
    std::string transcript;
    for (const auto& args : runs) {
        std::istringstream in(S(raw));
        std::ostringstream out, err;
        const int status = DecodeMain(args, in, out, err);
        transcript += "$ tolvane-decode";
        for (const auto& arg : args) transcript += " " + arg;
        transcript += "\nexit " + std::to_string(status) + "\n" + out.str() + "stderr: " + err.str() + "\n";
    }
    ExpectGolden("capture_decode_cli.txt", ReplaceAll(transcript, data, "<data>"));
}

// Input handed over in two pieces: the first line is out, flushed as into
// a pipe, before the second piece is asked for.
TEST(CaptureDecode, StreamsItsInput)
{
    struct TwoPieces : std::streambuf {
        std::string pieces[2];
        int given = 0;
        const std::string* flushed = nullptr;
        bool printedBeforeSecond = false;
        int_type underflow() override
        {
            if (given == 2) return traits_type::eof();
            if (given == 1) printedBeforeSecond = !flushed->empty();
            std::string& piece = pieces[given++];
            setg(piece.data(), piece.data(), piece.data() + piece.size());
            return traits_type::to_int_type(piece[0]);
        }
    } source;
    const Bytes baud = Frame(TypeByte(MessageType::Baud), {0x03});
    source.pieces[0] = FormatHeader({}) + Line(ChunkKind::Received, 1, baud);
    source.pieces[1] = Line(ChunkKind::Received, 2, baud);
    struct Pipe : std::stringbuf {
        std::string flushed;
        int sync() override { return flushed = str(), 0; }
    } pipe;
    std::ostream out(&pipe);
    std::ostringstream err;
    source.flushed = &pipe.flushed;
    std::istream in(&source);
    ASSERT_EQ(DecodeMain({}, in, out, err), 0);
    EXPECT_TRUE(source.printedBeforeSecond);
    EXPECT_EQ(pipe.flushed, "DBAUD     38400\nDBAUD     38400\n");
}

TEST(CaptureDecode, IsoTimesKeepTheCapturesOffset)
{
    EXPECT_EQ(IsoTimeAfter("2026-12-31T23:59:59-0130", 1001), "2027-01-01T00:00:00.001-01:30");
    EXPECT_EQ(IsoTimeAfter("2026-02-28T12:00:00+0000", 86400000), "2026-03-01T12:00:00.000+00:00");
    EXPECT_EQ(IsoTimeAfter("2026-01-01T00:00:00+0000", INT32_MAX), "2026-01-25T20:31:23.647+00:00");
    EXPECT_EQ(IsoTimeAfter("2026-01-01T00:00:00+0000", kCaptureMaxMs), "2028-03-06T08:44:36.735+00:00");
    EXPECT_EQ(IsoTimeAfter("2026-01-01T00:00:00+0000", kCaptureMaxMs + 1), "");
    EXPECT_EQ(IsoTimeAfter("2026-01-01T00:00:00+0000", INT64_MAX), ""); // no such capture time
    EXPECT_EQ(IsoTimeAfter("2026-02-28 12:00:00", 0), "");
    EXPECT_EQ(IsoTimeAfter("", 0), "");
    EXPECT_EQ(CsvField("a,\"b\""), "\"a,\"\"b\"\"\"");
    EXPECT_EQ(CsvField("plain"), "plain");
}

} // namespace
} // namespace tolvane
