// The capture file's lines written and read back, what reading makes of
// headers, raw bytes and damaged lines, and the writer under a disk that
// does not keep up: the caller never waits, nothing is lost until the
// buffer is full, then the loss is counted.
#include "capture/capture_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <random>
#include <thread>

#include "capture/capture_writer.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

TEST(CaptureFormat, RoundTripKeepsHeaderChunksAndGaps)
{
    const CaptureHeader header{1, 38400, "2024-05-01T13:45:10+0200", "/dev/serial/by-id/usb adapter"};
    std::mt19937 random(7);
    std::vector<CaptureChunk> chunks;
    std::string text = FormatHeader(header);
    for (int i = 0; i < 200; ++i) {
        CaptureChunk chunk{ChunkKind::Received, i * 37 + static_cast<int>(random() % 30), {}, 0};
        if (i % 50 == 49) {
            chunk.kind = ChunkKind::Gap;
            chunk.lost = random() % 100000 + 1;
            text += FormatGapLine(chunk.ms, chunk.lost);
        } else {
            chunk.kind = i % 3 == 0 ? ChunkKind::Sent : ChunkKind::Received;
            chunk.bytes.resize(random() % 256 + 1);
            for (auto& b : chunk.bytes) b = static_cast<std::uint8_t>(random());
            text += FormatChunkLine(chunk.kind, chunk.ms, chunk.bytes.data(), chunk.bytes.size());
        }
        chunks.push_back(chunk);
    }
    const Capture capture = ParseCapture(text);
    EXPECT_FALSE(capture.raw);
    EXPECT_EQ(FormatHeader(capture.header), FormatHeader(header));
    EXPECT_TRUE(capture.badLines.empty());
    EXPECT_EQ(capture.chunks, chunks);
}

TEST(CaptureFormat, LinesLookAsDocumented)
{
    const std::uint8_t bytes[] = {0x0D, 0x0A, 0x7E, 0xC3, 0x00, 0x30};
    EXPECT_EQ(FormatChunkLine(ChunkKind::Sent, 1533, bytes, sizeof bytes), "T 1533 0D 0A 7E C3 00 30\n");
    EXPECT_EQ(FormatGapLine(20, 4096), "G 20 4096\n");
    EXPECT_EQ(FormatHeader({1, 9600, "2024-05-01T13:45:10+0200", "/dev/ttyUSB0"}),
              "TOLVANE-CAPTURE 1 baud=9600 start=2024-05-01T13:45:10+0200 device=/dev/ttyUSB0\n");
}

TEST(CaptureFormat, InputWithoutHeaderIsRawReceivedBytes)
{
    const std::string raw("\r\n~G\x01\x03\xC7$HC", 10);
    const Capture capture = ParseCapture(raw);
    EXPECT_TRUE(capture.raw);
    EXPECT_THAT(capture.chunks, ElementsAre(CaptureChunk{ChunkKind::Received, 0, Bytes(raw.begin(), raw.end()), 0}));
    EXPECT_TRUE(ParseCapture("").chunks.empty());
}

TEST(CaptureFormat, DamagedLinesAreSkippedAndNumbered)
{
    const Capture capture = ParseCapture("TOLVANE-CAPTURE 1 baud=4800 start=x device=/dev/ttyS0\r\n"
                                         "R 10 0d 0A\r\n"
                                         "\n"
                                         "R 11\n"     // 4: no bytes
                                         "X 12 00\n"  // 5: unknown direction
                                         "R 13 0G\n"  // 6: not hex
                                         "T -1 00\n"  // 7: negative time
                                         "G 14 0\n"   // 8: nothing lost
                                         "R 15 123\n" // 9: three digits
                                         "G 16 5\n"
                                         "T 17 FF");
    EXPECT_THAT(capture.badLines, ElementsAre(4u, 5u, 6u, 7u, 8u, 9u));
    EXPECT_EQ(capture.header.baud, 4800);
    EXPECT_THAT(capture.chunks, ElementsAre(CaptureChunk{ChunkKind::Received, 10, {0x0D, 0x0A}, 0},
                                            CaptureChunk{ChunkKind::Gap, 16, {}, 5}, CaptureChunk{ChunkKind::Sent, 17, {0xFF}, 0}));
}

// Lines kept in memory; every write after the header waits until opened,
// as a disk that has stalled.
struct StalledDisk {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    std::string text;
    struct Output : CaptureOutput {
        explicit Output(StalledDisk& disk) : disk_(disk) {}
        bool WriteLine(const std::string& line) override
        {
            std::unique_lock lock(disk_.mutex);
            if (!disk_.text.empty()) disk_.cv.wait(lock, [this] { return disk_.open; });
            disk_.text += line;
            return true;
        }
        StalledDisk& disk_;
    };
};

TEST(CaptureWriter, FloodAgainstStalledDiskLosesOnlyWhatOverflows)
{
    constexpr std::size_t kBuffer = 4096, kChunk = 100, kFlood = 10000; // the buffer is no multiple of the chunk
    StalledDisk disk;
    CaptureWriter writer(kBuffer);
    ASSERT_TRUE(writer.Start(std::make_unique<StalledDisk::Output>(disk), {1, 38400, "", ""}, 1000));
    Bytes flood(kFlood + 50);
    for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<std::uint8_t>(i * 7);
    // A reader that waited on the stalled disk would never finish.
    auto reader = std::async(std::launch::async, [&] {
        for (std::size_t at = 0; at < kFlood; at += kChunk) writer.Received(flood.data() + at, kChunk, static_cast<std::int32_t>(1000 + at / kChunk));
    });
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready) << "the reader waited on the disk";
    EXPECT_EQ(writer.LostCount(), kFlood - kBuffer);
    {
        std::lock_guard lock(disk.mutex);
        disk.open = true;
    }
    disk.cv.notify_all();
    // Room again once written: later bytes are kept, after the gap.
    auto gapWritten = [&disk] {
        std::lock_guard lock(disk.mutex);
        return disk.text.find("\nG ") != std::string::npos;
    };
    for (int i = 0; i < 400 && !gapWritten(); ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(gapWritten());
    writer.Received(flood.data() + kFlood, 50, 5000);
    writer.Stop();

    const Capture capture = ParseCapture(disk.text);
    EXPECT_TRUE(capture.badLines.empty());
    EXPECT_EQ(capture.header.baud, 38400);
    ASSERT_GE(capture.chunks.size(), 3u);
    Bytes kept;
    for (std::size_t i = 0; i + 2 < capture.chunks.size(); ++i) {
        EXPECT_EQ(capture.chunks[i].kind, ChunkKind::Received) << i;
        kept.insert(kept.end(), capture.chunks[i].bytes.begin(), capture.chunks[i].bytes.end());
    }
    EXPECT_EQ(kept, Bytes(flood.begin(), flood.begin() + kBuffer));
    EXPECT_EQ(capture.chunks.front().ms, 0);
    EXPECT_EQ(capture.chunks.back(), (CaptureChunk{ChunkKind::Received, 4000, Bytes(flood.begin() + kFlood, flood.end()), 0}));
    const CaptureChunk& gap = capture.chunks[capture.chunks.size() - 2];
    EXPECT_EQ(gap.kind, ChunkKind::Gap);
    EXPECT_EQ(gap.lost, kFlood - kBuffer);
}

TEST(CaptureWriter, FileGetsEveryLineInOrderAsWritten)
{
    CaptureWriter writer;
    std::string error;
    EXPECT_FALSE(writer.Open("/nonexistent/dir/c.tcap", {}, 0, error));
    EXPECT_THAT(error, ::testing::HasSubstr("/nonexistent/dir/c.tcap"));
    EXPECT_FALSE(writer.Running());

    const test::TempDir dir;
    const std::string name = dir / "c.tcap";
    ASSERT_TRUE(writer.Open(name, {1, 0, "", "/dev/ttyUSB0"}, 100, error)) << error;
    const std::uint8_t received[] = {1, 2, 3}, sent[] = {0x0D, 0x0A, 0x7E};
    writer.Received(received, sizeof received, 150);
    writer.Sent(sent, sizeof sent, 160);
    writer.Received(received, 0, 170); // nothing read: no line
    writer.Stop();
    writer.Received(received, sizeof received, 180); // after the stop: ignored
    std::string content;
    ASSERT_TRUE(ReadWholeFile(name, content, error));
    const Capture capture = ParseCapture(content);
    EXPECT_EQ(capture.header.device, "/dev/ttyUSB0");
    EXPECT_THAT(capture.chunks, ElementsAre(CaptureChunk{ChunkKind::Received, 50, {1, 2, 3}, 0},
                                            CaptureChunk{ChunkKind::Sent, 60, {0x0D, 0x0A, 0x7E}, 0}));
    EXPECT_EQ(writer.LostCount(), 0u);
}

} // namespace
} // namespace tolvane
