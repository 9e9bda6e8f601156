// The capture writer under a disk that does not keep up: the caller never
// waits, nothing is lost until the buffer is full, then the loss is counted.
#include "capture/capture_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace tolvane {
namespace {

using namespace std::chrono_literals;

// Lines kept in memory; every write after the header sleeps until opened,
// as a disk that has stalled.
class StalledOutput : public CaptureOutput {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        bool open = false;
        std::string text;
    };
    explicit StalledOutput(Shared& shared) : shared_(shared) {}
    bool WriteLine(const std::string& line) override
    {
        std::unique_lock lock(shared_.mutex);
        if (!shared_.text.empty()) shared_.cv.wait(lock, [this] { return shared_.open; });
        shared_.text += line;
        return true;
    }

private:
    Shared& shared_;
};

std::vector<std::uint8_t> Pattern(std::size_t n, std::size_t from = 0)
{
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>((from + i) * 7);
    return bytes;
}

std::vector<std::uint8_t> ReceivedBytes(const Capture& capture, std::size_t first, std::size_t last)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = first; i < last; ++i) {
        EXPECT_EQ(capture.chunks[i].kind, ChunkKind::Received) << i;
        bytes.insert(bytes.end(), capture.chunks[i].bytes.begin(), capture.chunks[i].bytes.end());
    }
    return bytes;
}

TEST(CaptureWriter, FloodAgainstStalledDiskLosesOnlyWhatOverflows)
{
    constexpr std::size_t kBuffer = 4096;
    constexpr std::size_t kChunk = 100; // the buffer is no multiple of it
    constexpr std::size_t kFlood = 10000;
    StalledOutput::Shared shared;
    CaptureWriter writer(kBuffer);
    CaptureHeader header;
    header.baud = 38400;
    ASSERT_TRUE(writer.Start(std::make_unique<StalledOutput>(shared), header, 1000));

    const auto flood = Pattern(kFlood);
    // A reader that waited on the stalled disk would never finish.
    auto reader = std::async(std::launch::async, [&] {
        for (std::size_t at = 0; at < kFlood; at += kChunk)
            writer.Received(flood.data() + at, kChunk, static_cast<std::int32_t>(1000 + at / kChunk));
    });
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready) << "the reader waited on the disk";
    EXPECT_EQ(writer.LostCount(), kFlood - kBuffer);

    {
        std::lock_guard lock(shared.mutex);
        shared.open = true;
    }
    shared.cv.notify_all();
    // Room again once written: later bytes are kept, after the gap.
    const auto later = Pattern(50, kFlood);
    auto gapWritten = [&shared] {
        std::lock_guard lock(shared.mutex);
        return shared.text.find("\nG ") != std::string::npos;
    };
    for (int i = 0; i < 400 && !gapWritten(); ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(gapWritten());
    writer.Received(later.data(), later.size(), 5000);
    writer.Stop();

    const Capture capture = ParseCapture(shared.text);
    EXPECT_TRUE(capture.badLines.empty());
    EXPECT_EQ(capture.header.baud, 38400);
    ASSERT_GE(capture.chunks.size(), 3u);
    const std::size_t gap = capture.chunks.size() - 2;
    EXPECT_EQ(ReceivedBytes(capture, 0, gap), std::vector<std::uint8_t>(flood.begin(), flood.begin() + kBuffer));
    EXPECT_EQ(capture.chunks[gap].kind, ChunkKind::Gap);
    EXPECT_EQ(capture.chunks[gap].lost, kFlood - kBuffer);
    EXPECT_EQ(capture.chunks.back().bytes, later);
    EXPECT_EQ(capture.chunks.back().ms, 4000);
    EXPECT_EQ(capture.chunks.front().ms, 0);
}

TEST(CaptureWriter, FileGetsEveryLineInOrderAsWritten)
{
    char name[] = "/tmp/tolvane-writer-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    CaptureHeader header;
    header.device = "/dev/ttyUSB0";
    CaptureWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(name, header, 100, error)) << error;
    const std::uint8_t received[] = {1, 2, 3};
    const std::uint8_t sent[] = {0x0D, 0x0A, 0x7E};
    writer.Received(received, sizeof received, 150);
    writer.Sent(sent, sizeof sent, 160);
    writer.Received(received, 0, 170); // nothing read: no line
    writer.Stop();
    writer.Received(received, sizeof received, 180); // after the stop: ignored

    std::string content;
    ASSERT_TRUE(ReadWholeFile(name, content, error));
    std::remove(name);
    const Capture capture = ParseCapture(content);
    EXPECT_EQ(capture.header.device, "/dev/ttyUSB0");
    EXPECT_THAT(capture.chunks, ::testing::ElementsAre(CaptureChunk{ChunkKind::Received, 50, {1, 2, 3}, 0},
                                                       CaptureChunk{ChunkKind::Sent, 60, {0x0D, 0x0A, 0x7E}, 0}));
    EXPECT_EQ(writer.LostCount(), 0u);
}

TEST(CaptureWriter, UncreatableFileIsReported)
{
    CaptureWriter writer;
    std::string error;
    EXPECT_FALSE(writer.Open("/nonexistent/dir/c.tcap", {}, 0, error));
    EXPECT_THAT(error, ::testing::HasSubstr("/nonexistent/dir/c.tcap"));
    EXPECT_FALSE(writer.Running());
}

} // namespace
} // namespace tolvane
