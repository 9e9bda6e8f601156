// tolvane-sim --replay: the schedule, and a capture played through the
// simulator into SerialLink, itself captured on the way.
#include "replay.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "capture/capture_decode.h"
#include "capture/capture_writer.h"
#include "link/clock.h"
#include "protocol/message_catalogue.h"
#include "protocol/requests.h"
#include "support/sim_process.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace test;

TEST(Replay, ChunksComeDueAtTheirTimeScaledBySpeed)
{
    const std::vector<sim::ReplayChunk> chunks = {{0, {1}}, {100, {2, 3}}, {250, {4}}};
    const std::tuple<double, std::int64_t, Bytes> table[] = { // speed, ns after the start, bytes due by then
        {1, 0, {1}},         {1, 99'999'999, {1}},  {1, 100'000'000, {1, 2, 3}}, {1, 250'000'000, {1, 2, 3, 4}},
        {2, 49'999'999, {1}}, {2, 50'000'000, {1, 2, 3}}, {2, 125'000'000, {1, 2, 3, 4}},
        {0.5, 499'999'999, {1, 2, 3}}, {0.5, 500'000'000, {1, 2, 3, 4}},
    };
    constexpr std::int64_t kStart = 7'000'000'000;
    for (const auto& [speed, atNs, due] : table) {
        sim::Replay replay(chunks, speed);
        Bytes out;
        replay.TakeDue(kStart + atNs, out); // nothing before the host connects
        EXPECT_EQ(replay.NextDueNs(), -1);
        replay.Start(kStart);
        replay.TakeDue(kStart + atNs, out);
        replay.TakeDue(kStart + atNs, out); // nothing twice
        EXPECT_EQ(out, due) << speed << " at " << atNs;
        EXPECT_EQ(replay.Done(), due.size() == 4u);
        const double nextMs = due.size() == 1 ? 100 : 250; // the next chunk's time, scaled
        EXPECT_EQ(replay.NextDueNs(), replay.Done() ? -1 : kStart + static_cast<std::int64_t>(nextMs * 1e6 / speed));
    }
}

TEST(Replay, ThroughTheSimulatorTheLinkGetsTheCapturedMessagesAtTheirPaceAndCapturesThemAgain)
{
    // Frames split across chunks and a sentence, spread over 300 ms.
    const auto received = [](std::int64_t ms, const Bytes& b) {
        return FormatChunkLine(ChunkKind::Received, ms, b.data(), b.size());
    };
    const Bytes dbaud = Frame(0x47, {3}), head(dbaud.begin(), dbaud.begin() + 3), tail(dbaud.begin() + 3, dbaud.end());
    const std::string original = FormatHeader({1, 9600, "", ""}) + received(0, head) +
                                 received(20, Cat({tail, B("$HCHDT,123.4,T*2D\r\n")})) +
                                 received(150, Frame(0x47, {0x01})) + received(300, Frame(0x47, {0x02}));
    const TempDir dir;
    std::ofstream(dir / "original.tcap") << original;
    const std::vector<std::string> expected = DecodeCapture(ParseCapture(original), {});
    ASSERT_EQ(expected.size(), 4u);

    SimProcess sim(TOLVANE_SIM_PATH, {"--link", dir / "compass", "--replay", dir / "original.tcap", "--speed", "2"});
    ASSERT_FALSE(sim.Output().empty());
    CaptureWriter capture;
    std::string error, content;
    ASSERT_TRUE(capture.Open(dir / "again.tcap", {1, 9600, "", ""}, NowMs(), error)) << error;
    auto link = OpenLink(dir / "compass", dir.path, 9600, &capture);
    ASSERT_GE(link->Send(SerialNumberRequest()), 0); // the replay ignores it, but the capture records it
    const std::vector<DeviceMessage> got = Collect(*link, std::chrono::seconds(3), -1, expected.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // nothing more may follow
    DeviceMessage extra;
    EXPECT_EQ(link->TakeMessage(extra), SerialLink::kEmpty);
    link.reset();
    capture.Stop();

    ASSERT_EQ(got.size(), expected.size());
    std::vector<std::string> lines;
    for (const DeviceMessage& m : got) {
        StatusLine line;
        ASSERT_TRUE(RenderMessage(m, line));
        lines.push_back((std::string(line.mnemonic) + "          ").substr(0, 10) + line.text);
    }
    EXPECT_EQ(lines, expected);
    // 300 ms of capture at double speed, paced, not dumped at once.
    EXPECT_GE(got.back().timestamp - got.front().timestamp, 120);
    ASSERT_TRUE(ReadWholeFile(dir / "again.tcap", content, error)) << error;
    std::vector<std::string> recaptured = DecodeCapture(ParseCapture(content), {.requests = true});
    EXPECT_EQ(std::erase(recaptured, "SENT      serial number request"), 1u);
    EXPECT_EQ(recaptured, expected);
}

} // namespace
} // namespace tolvane
