// Decoding captures: the same messages as the receivers fed one byte at a
// time, however the stream is cut; requests by name; the command line.
#include "capture/capture_decode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "link/framing.h"
#include "protocol/message_catalogue.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::uint8_t> ReadData(const std::string& name)
{
    std::ifstream in(std::string(TOLVANE_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The reference: both receivers offered every byte, NMEA first, as the
// framing's own contract states.
std::vector<std::string> ReceiverLines(const std::vector<std::uint8_t>& stream)
{
    NmeaReceiver nmea;
    BinaryReceiver binary;
    std::vector<std::string> lines;
    auto show = [&lines](const DeviceMessage& m) {
        StatusLine line;
        if (RenderMessage(m, line)) lines.push_back(std::string(line.mnemonic) + "|" + line.text);
    };
    for (const std::uint8_t b : stream) {
        if (nmea.Feed(b, 0)) show(nmea.Message());
        if (binary.Feed(b, 0)) show(binary.Message());
    }
    return lines;
}

// Decoder lines back to "mnemonic|text" for comparison.
std::vector<std::string> Split(const std::vector<std::string>& decoded)
{
    std::vector<std::string> lines;
    for (const std::string& line : decoded) {
        std::string mnemonic = line.substr(0, 10);
        mnemonic.erase(mnemonic.find_last_not_of(' ') + 1);
        lines.push_back(mnemonic + "|" + line.substr(10));
    }
    return lines;
}

Capture Cut(const std::vector<std::uint8_t>& stream, std::size_t at)
{
    Capture capture;
    capture.chunks.push_back({ChunkKind::Received, 0, {stream.begin(), stream.begin() + static_cast<long>(at)}, 0});
    capture.chunks.push_back({ChunkKind::Received, 1, {stream.begin() + static_cast<long>(at), stream.end()}, 0});
    return capture;
}

TEST(CaptureDecode, StreamCutAtEveryOffsetGivesTheReceiversMessages)
{
    const auto stream = ReadData("mixed_stream.bin");
    ASSERT_FALSE(stream.empty());
    const auto expected = ReceiverLines(stream);
    ASSERT_GT(expected.size(), 50u);
    for (std::size_t at = 0; at <= stream.size(); ++at)
        ASSERT_EQ(Split(DecodeCapture(Cut(stream, at), {})), expected) << "cut at " << at;
}

TEST(CaptureDecode, GarbageGivesTheReceiversMessages)
{
    const auto mixed = ReadData("mixed_stream.bin");
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        // Random bytes, with pieces of real traffic and frame starts mixed in
        // so that the receivers get past their first state.
        std::vector<std::uint8_t> stream;
        for (int piece = 0; piece < 40; ++piece) {
            switch (random() % 3) {
            case 0:
                for (int i = 0; i < 20; ++i) stream.push_back(static_cast<std::uint8_t>(random()));
                break;
            case 1: {
                const std::size_t from = random() % mixed.size();
                const std::size_t n = std::min<std::size_t>(random() % 60, mixed.size() - from);
                stream.insert(stream.end(), mixed.begin() + static_cast<long>(from),
                              mixed.begin() + static_cast<long>(from + n));
                break;
            }
            default: stream.insert(stream.end(), {'\r', '\n', '~', '$'}); break;
            }
        }
        const std::size_t at = random() % (stream.size() + 1);
        ASSERT_EQ(Split(DecodeCapture(Cut(stream, at), {})), ReceiverLines(stream)) << "round " << round;
    }
}

struct NamedRequest {
    OutgoingRequest request;
    const char* name;
};

TEST(CaptureDecode, SentFramesAreNamedAsRequests)
{
    StartupDefaults values;
    values.interval = 100;
    const NamedRequest table[] = {
        {SerialNumberRequest(), "serial number request"},
        {OffsetsReadRequest(), "offsets request (read)"},
        {OffsetsSetRequest(Offsets::kRoll, 0, 5, 0), "offsets request (set)"},
        {DeclinationReadRequest(), "declination request (read)"},
        {DeclinationSetRequest(0), "declination request (set)"},
        {OrientationRateReadRequest(), "orientation rate request (read)"},
        {OrientationRateSetRequest(0), "orientation rate request (set)"},
        {StartupDefaultsReadRequest(), "start-up defaults request (read)"},
        {StartUpDefaultsLoadRequest(StartupDefaults::kInterval, values), "start-up defaults request (load)"},
        {CompensationRequest(CompensationAction::Start), "compensation request (start)"},
        {CompensationRequest(CompensationAction::Status), "compensation request (status)"},
        {CompensationRequest(CompensationAction::Abort), "compensation request (abort)"},
        {CompensationRequest(CompensationAction::Revert), "compensation request (revert)"},
        {CompensationParametersRequest(), "compensation parameters request"},
        {WmmRequest(1, 5, 24, 47.6, -122.3, 100), "WMM request"},
        {SelfTestRequest(), "self test request"},
        {ResetRequest(), "reset request"},
    };
    Capture capture;
    std::vector<std::string> expected;
    for (const NamedRequest& row : table) {
        std::uint8_t frame[kMaxSentFrame];
        const std::size_t n = EncodeBinaryFrame(static_cast<std::uint8_t>(row.request.type), row.request.payload,
                                                row.request.length, frame);
        capture.chunks.push_back({ChunkKind::Sent, 5, {frame, frame + n}, 0});
        expected.push_back(std::string("SENT      ") + row.name);
    }
    DecodeOptions options;
    options.requests = true;
    EXPECT_EQ(DecodeCapture(capture, options), expected);
    EXPECT_TRUE(DecodeCapture(capture, {}).empty());
}

// A temporary file removed at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::string& content)
    {
        char name[] = "/tmp/tolvane-capture-XXXXXX";
        const int fd = ::mkstemp(name);
        path_ = name;
        std::FILE* f = ::fdopen(fd, "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string Frame(std::uint8_t type, std::vector<std::uint8_t> payload)
{
    std::uint8_t out[kMaxSentFrame];
    const std::size_t n = EncodeBinaryFrame(type, payload.data(), payload.size(), out);
    return {out, out + n};
}

std::string ChunkLine(ChunkKind kind, std::int64_t ms, const std::string& bytes)
{
    return FormatChunkLine(kind, ms, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

struct CliCase {
    std::vector<std::string> options;
    std::string output;
};

TEST(DecodeCli, PrintsTheMessageViewLines)
{
    CaptureHeader header;
    header.baud = 9600;
    const std::string dbaud = Frame(0x47, {0x03});
    const std::string sentence = "$HCHDT,123.4,T*2D\r\n";
    const TempFile file(FormatHeader(header) + ChunkLine(ChunkKind::Received, 12, dbaud.substr(0, 4)) +
                        ChunkLine(ChunkKind::Received, 15, dbaud.substr(4)) +
                        ChunkLine(ChunkKind::Sent, 20, Frame(TypeByte(MessageType::Identity), {})) +
                        ChunkLine(ChunkKind::Received, 31, sentence) + FormatGapLine(40, 7) +
                        ChunkLine(ChunkKind::Received, 52, dbaud));
    const CliCase table[] = {
        {{}, "DBAUD     38400\nNMEA      $HCHDT,123.4,T*2D\n(gap)     7 bytes not captured\nDBAUD     38400\n"},
        {{"--no-nmea"}, "DBAUD     38400\n(gap)     7 bytes not captured\nDBAUD     38400\n"},
        {{"--time", "--requests"},
         "      12  DBAUD     38400\n      20  SENT      serial number request\n"
         "      31  NMEA      $HCHDT,123.4,T*2D\n      40  (gap)     7 bytes not captured\n"
         "      52  DBAUD     38400\n"},
    };
    for (const CliCase& row : table) {
        auto args = row.options;
        args.push_back(file.Path());
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(DecodeMain(args, in, out, err), 0);
        EXPECT_EQ(out.str(), row.output) << ::testing::PrintToString(row.options);
        EXPECT_EQ(err.str(), "");
    }
}

TEST(DecodeCli, ReadsRawBytesFromStandardInput)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"-"}}) {
        std::istringstream in(Frame(0x47, {0x03}) + "junk" + Frame(0x47, {0x01}));
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(DecodeMain(args, in, out, err), 0);
        EXPECT_EQ(out.str(), "DBAUD     38400\nDBAUD     9600\n");
    }
}

TEST(DecodeCli, UnreadableFileOrBadArgumentExitsWithTwo)
{
    const std::vector<std::vector<std::string>> table = {
        {"/nonexistent/x.tcap"}, {"/"}, {"--bogus"}, {"a.tcap", "b.tcap"}};
    for (const auto& args : table) {
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(DecodeMain(args, in, out, err), 2) << args[0];
        EXPECT_THAT(err.str(), HasSubstr("tolvane-decode: "));
        EXPECT_EQ(out.str(), "");
    }
}

TEST(DecodeCli, WarnsAboutDamagedLinesButDecodesTheRest)
{
    const TempFile file(FormatHeader({}) + "R 1 zz\n" + ChunkLine(ChunkKind::Received, 2, Frame(0x47, {0x03})));
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(DecodeMain({file.Path()}, in, out, err), 0);
    EXPECT_EQ(out.str(), "DBAUD     38400\n");
    EXPECT_THAT(err.str(), HasSubstr("line 2"));
}

TEST(CaptureDecode, EveryExampleInTheFormatDocumentDecodes)
{
    // The document's example lines are indented by four spaces; those of the
    // chunk and gap form start with their kind and a time in digits.
    std::ifstream doc(std::string(TOLVANE_DOCS) + "/capture-format.md");
    ASSERT_TRUE(doc) << TOLVANE_DOCS;
    std::string header;
    std::vector<std::string> examples;
    for (std::string line; std::getline(doc, line);) {
        if (!line.starts_with("    ")) continue;
        line.erase(0, 4);
        if (line.starts_with(kCaptureMagic)) header = line + "\n";
        if (line.size() > 2 && std::string("RTG").find(line[0]) != std::string::npos && line[1] == ' ' &&
            std::isdigit(static_cast<unsigned char>(line[2])))
            examples.push_back(line);
    }
    ASSERT_FALSE(header.empty());
    ASSERT_GE(examples.size(), 2u);
    for (const std::string& example : examples) {
        SCOPED_TRACE(example);
        const Capture capture = ParseCapture(header + example + "\n");
        EXPECT_TRUE(capture.badLines.empty());
        ASSERT_EQ(capture.chunks.size(), 1u);
        // Each frame line holds one whole frame: one message or request.
        EXPECT_EQ(DecodeCapture(capture, {.requests = true}).size(), 1u);
    }
}

} // namespace
} // namespace tolvane
