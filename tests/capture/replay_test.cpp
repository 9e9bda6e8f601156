// tolvane-sim --replay: the schedule, the options, and a capture played
// through the simulator into SerialLink, itself captured on the way.
#include "replay.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_decode.h"
#include "capture/capture_writer.h"
#include "link/clock.h"
#include "link/framing.h"
#include "link/serial_link.h"
#include "protocol/message_catalogue.h"
#include "protocol/requests.h"
#include "sim_options.h"
#include "support/sim_process.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using sim::Replay;
using sim::ReplayChunk;

struct DueCase {
    double speed;
    std::int64_t atNs;
    std::vector<std::uint8_t> due;
};

TEST(Replay, ChunksComeDueAtTheirTimeScaledBySpeed)
{
    const std::vector<ReplayChunk> chunks = {{0, {1}}, {100, {2, 3}}, {250, {4}}};
    const DueCase table[] = {
        {1, 0, {1}},        {1, 99'999'999, {1}}, {1, 100'000'000, {1, 2, 3}}, {1, 250'000'000, {1, 2, 3, 4}},
        {2, 49'999'999, {1}}, {2, 50'000'000, {1, 2, 3}}, {2, 125'000'000, {1, 2, 3, 4}},
        {0.5, 499'999'999, {1, 2, 3}}, {0.5, 500'000'000, {1, 2, 3, 4}},
    };
    constexpr std::int64_t kStart = 7'000'000'000;
    for (const DueCase& row : table) {
        Replay replay(chunks, row.speed);
        std::vector<std::uint8_t> out;
        replay.TakeDue(kStart + row.atNs, out);
        EXPECT_TRUE(out.empty()) << "nothing before the host connects";
        EXPECT_EQ(replay.NextDueNs(), -1);
        replay.Start(kStart);
        replay.TakeDue(kStart + row.atNs, out);
        EXPECT_EQ(out, row.due) << row.speed << " at " << row.atNs;
        replay.TakeDue(kStart + row.atNs, out); // nothing twice
        EXPECT_EQ(out, row.due);
        EXPECT_EQ(replay.Done(), row.due.size() == 4u);
    }
    Replay replay(chunks, 2);
    replay.Start(kStart);
    EXPECT_EQ(replay.NextDueNs(), kStart);
    std::vector<std::uint8_t> out;
    replay.TakeDue(kStart, out);
    EXPECT_EQ(replay.NextDueNs(), kStart + 50'000'000);
}

TEST(Replay, OptionsTakeAFileAndASpeed)
{
    std::string error;
    auto parsed = sim::ParseOptions({"--replay", "a.tcap", "--speed", "2.5"}, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->replay, "a.tcap");
    EXPECT_EQ(parsed->speed, 2.5);
    EXPECT_EQ(sim::ParseOptions({}, error)->speed, 1);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--replay"}, {"--replay", ""}, {"--speed", "0"}, {"--speed", "fast"}}) {
        EXPECT_FALSE(sim::ParseOptions(bad, error)) << bad.back();
        EXPECT_FALSE(error.empty());
    }
    EXPECT_THAT(sim::HelpText(), ::testing::HasSubstr("--replay FILE"));
}

std::string Frame(std::uint8_t type, std::vector<std::uint8_t> payload)
{
    std::uint8_t out[kMaxSentFrame];
    const std::size_t n = EncodeBinaryFrame(type, payload.data(), payload.size(), out);
    return {out, out + n};
}

std::string Received(std::int64_t ms, const std::string& bytes)
{
    return FormatChunkLine(ChunkKind::Received, ms, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           bytes.size());
}

class ReplayThroughSimulator : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir / "lock"); }
    void TearDown() override { fs::remove_all(dir); }

    const fs::path dir = fs::temp_directory_path() / ("tolvane-replay-" + std::to_string(::getpid()));
};

TEST_F(ReplayThroughSimulator, LinkGetsTheCapturedMessagesAtTheirPaceAndCapturesThemAgain)
{
    // Frames split across chunks and a sentence, spread over 300 ms.
    const std::string dbaud = Frame(0x47, {0x03});
    CaptureHeader header;
    header.baud = 9600;
    const std::string original = FormatHeader(header) + Received(0, dbaud.substr(0, 3)) +
                                 Received(20, dbaud.substr(3) + "$HCHDT,123.4,T*2D\r\n") +
                                 Received(150, Frame(0x47, {0x01})) + Received(300, Frame(0x47, {0x02}));
    const fs::path file = dir / "original.tcap";
    std::ofstream(file) << original;
    const std::vector<std::string> expected = DecodeCapture(ParseCapture(original), {});
    ASSERT_EQ(expected.size(), 4u);

    const std::string device = (dir / "compass").string();
    SimProcess simulator(TOLVANE_SIM_PATH, {"--link", device, "--replay", file.string(), "--speed", "2"});
    ASSERT_TRUE(simulator.Started());
    ASSERT_FALSE(simulator.Output().empty());

    CaptureWriter capture;
    std::string error;
    const fs::path again = dir / "again.tcap";
    ASSERT_TRUE(capture.Open(again.string(), header, NowMs(), error)) << error;
    SerialLink link;
    PortMap map;
    map.SetPath(1, device);
    link.SetPortMap(map);
    link.SetLockDirectories({(dir / "lock").string()});
    link.SetCapture(&capture);
    ASSERT_EQ(link.Open(1, 9600), 1);
    // The replay ignores it, but the capture records it.
    ASSERT_GE(link.Send(SerialNumberRequest()), 0);

    std::vector<DeviceMessage> got;
    for (const auto end = std::chrono::steady_clock::now() + 3s;
         got.size() < expected.size() && std::chrono::steady_clock::now() < end;) {
        DeviceMessage m;
        if (link.TakeMessage(m) == SerialLink::kEmpty)
            std::this_thread::sleep_for(2ms);
        else
            got.push_back(m);
    }
    std::this_thread::sleep_for(100ms); // nothing more may follow
    DeviceMessage extra;
    EXPECT_EQ(link.TakeMessage(extra), SerialLink::kEmpty);
    link.SetCapture(nullptr);
    link.Close();
    capture.Stop();

    std::vector<std::string> lines;
    for (const DeviceMessage& m : got) {
        StatusLine line;
        ASSERT_TRUE(RenderMessage(m, line));
        char text[200];
        std::snprintf(text, sizeof text, "%-10s%s", line.mnemonic, line.text);
        lines.push_back(text);
    }
    EXPECT_EQ(lines, expected);
    // 300 ms of capture at double speed, paced, not dumped at once.
    ASSERT_EQ(got.size(), 4u);
    EXPECT_GE(got.back().timestamp - got.front().timestamp, 120);
    EXPECT_LT(got.back().timestamp - got.front().timestamp, 1000);

    std::string content;
    ASSERT_TRUE(ReadWholeFile(again.string(), content, error)) << error;
    DecodeOptions options;
    options.requests = true;
    std::vector<std::string> recaptured = DecodeCapture(ParseCapture(content), options);
    EXPECT_THAT(recaptured, ::testing::Contains("SENT      serial number request"));
    std::erase(recaptured, "SENT      serial number request");
    EXPECT_EQ(recaptured, expected);
}

TEST_F(ReplayThroughSimulator, UnreadableReplayFileStopsTheSimulator)
{
    SimProcess simulator(TOLVANE_SIM_PATH, {"--replay", (dir / "missing.tcap").string()});
    ASSERT_TRUE(simulator.Started());
    EXPECT_EQ(simulator.Stop(0), 2);
}

} // namespace
} // namespace tolvane
