// The capture file's lines written and read back, and what reading makes
// of headers, raw bytes and damaged lines.
#include "capture/capture_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using ::testing::ElementsAre;

TEST(CaptureFormat, RoundTripKeepsHeaderChunksAndGaps)
{
    CaptureHeader header;
    header.baud = 38400;
    header.startTime = "2024-05-01T13:45:10+0200";
    header.device = "/dev/serial/by-id/usb adapter";

    std::mt19937 random(7);
    std::vector<CaptureChunk> chunks;
    std::string text = FormatHeader(header);
    for (int i = 0; i < 200; ++i) {
        CaptureChunk chunk;
        chunk.ms = i * 37 + static_cast<int>(random() % 30);
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
    EXPECT_EQ(capture.header.version, kCaptureVersion);
    EXPECT_EQ(capture.header.baud, 38400);
    EXPECT_EQ(capture.header.startTime, header.startTime);
    EXPECT_EQ(capture.header.device, header.device);
    EXPECT_TRUE(capture.badLines.empty());
    EXPECT_EQ(capture.chunks, chunks);
}

TEST(CaptureFormat, LinesLookAsDocumented)
{
    const std::uint8_t bytes[] = {0x0D, 0x0A, 0x7E, 0xC3, 0x00, 0x30};
    EXPECT_EQ(FormatChunkLine(ChunkKind::Sent, 1533, bytes, sizeof bytes), "T 1533 0D 0A 7E C3 00 30\n");
    EXPECT_EQ(FormatGapLine(20, 4096), "G 20 4096\n");
    CaptureHeader header;
    header.baud = 9600;
    header.startTime = "2024-05-01T13:45:10+0200";
    header.device = "/dev/ttyUSB0";
    EXPECT_EQ(FormatHeader(header),
              "TOLVANE-CAPTURE 1 baud=9600 start=2024-05-01T13:45:10+0200 device=/dev/ttyUSB0\n");
}

TEST(CaptureFormat, InputWithoutHeaderIsRawReceivedBytes)
{
    const std::string raw("\r\n~G\x01\x03\xC7$HC", 10);
    const Capture capture = ParseCapture(raw);
    EXPECT_TRUE(capture.raw);
    ASSERT_EQ(capture.chunks.size(), 1u);
    EXPECT_EQ(capture.chunks[0].kind, ChunkKind::Received);
    EXPECT_EQ(capture.chunks[0].ms, 0);
    EXPECT_EQ(capture.chunks[0].bytes, std::vector<std::uint8_t>(raw.begin(), raw.end()));
    EXPECT_TRUE(ParseCapture("").chunks.empty());
}

TEST(CaptureFormat, DamagedLinesAreSkippedAndNumbered)
{
    const Capture capture = ParseCapture("TOLVANE-CAPTURE 1 baud=4800 start=x device=/dev/ttyS0\r\n"
                                         "R 10 0d 0A\r\n"
                                         "\n"
                                         "R 11\n"           // 4: no bytes
                                         "X 12 00\n"        // 5: unknown direction
                                         "R 13 0G\n"        // 6: not hex
                                         "T -1 00\n"        // 7: negative time
                                         "G 14 0\n"         // 8: nothing lost
                                         "R 15 123\n"       // 9: three digits
                                         "G 16 5\n"
                                         "T 17 FF");
    EXPECT_THAT(capture.badLines, ElementsAre(4u, 5u, 6u, 7u, 8u, 9u));
    EXPECT_EQ(capture.header.baud, 4800);
    EXPECT_THAT(capture.chunks,
                ElementsAre(CaptureChunk{ChunkKind::Received, 10, {0x0D, 0x0A}, 0},
                            CaptureChunk{ChunkKind::Gap, 16, {}, 5}, CaptureChunk{ChunkKind::Sent, 17, {0xFF}, 0}));
}

TEST(CaptureFormat, ReadingAFolderOrMissingFileFailsWithTheReason)
{
    std::string content;
    std::string error;
    EXPECT_FALSE(ReadWholeFile("/nonexistent/capture.tcap", content, error));
    EXPECT_THAT(error, ::testing::HasSubstr("/nonexistent/capture.tcap"));
    error.clear();
    EXPECT_FALSE(ReadWholeFile("/", content, error));
    EXPECT_THAT(error, ::testing::HasSubstr("directory"));
}

} // namespace
} // namespace tolvane
