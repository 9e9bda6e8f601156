// Recordings played back: the file read from any line, its index and
// length, the pace, and a recording played through the link as fast as
// possible (every message in order, a gap restarting the framing, a seek,
// the end, a file that vanishes).
#include "capture/replay.h"
#include "capture/replay_recording.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "capture/capture_decode.h"
#include "link/serial_link.h"
#include "protocol/message_catalogue.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace test;

std::string Line(const Bytes& b, std::int64_t ms)
{
    return FormatChunkLine(ChunkKind::Received, ms, b.data(), b.size());
}

void Write(const std::string& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

// Each chunk as "R10:2" (kind, time, bytes) or "G20/7" (a gap and its count).
std::string Read(ReplayFile& file, std::vector<std::uint64_t>* starts = nullptr)
{
    std::string out;
    CaptureChunk c;
    for (std::uint64_t at = file.Offset(); file.Next(c); at = file.Offset()) {
        if (starts) starts->push_back(at);
        out += static_cast<char>(c.kind) + std::to_string(c.ms) +
               (c.kind == ChunkKind::Gap ? "/" + std::to_string(c.lost) : ":" + std::to_string(c.bytes.size())) + " ";
    }
    return out;
}

TEST(ReplayFile, ReadsEveryLineFromAnyLineStart)
{
    TempDir dir;
    const std::string capture = "TOLVANE-CAPTURE 1 baud=9600 start=2024-05-01T13:45:10+0200 device=/dev/tty S0\n"
                                "R 10 0D 0A\r\n\nT 12 0D 0A 7E C3 00 58\nR 13 zz\n" +
                                std::string(20000, 'R') + "\nG 20 7\nR 4294967348 7E\nR 68719476736 7E\nR 30 41";
    const struct {
        std::string content, chunks;
        std::uint64_t malformed;
        std::int64_t last;
    } rows[] = {
        {capture, "R10:2 T12:6 G20/7 R4294967348:1 R30:1 ", 3, 4294967348},
        {S(Filled(600)), "R0:256 R0:256 R0:88 ", 0, -1},
        {"TOLVANE", "R0:7 ", 0, -1},
        {"", "", 0, -1},
        {"TOLVANE-CAPTURE 1 baud=4800\n", "", 0, -1},
    };
    for (const auto& r : rows) {
        Write(dir / "f", r.content);
        ReplayFile file;
        std::string error;
        ASSERT_TRUE(file.Open(dir / "f", error)) << error;
        std::vector<std::uint64_t> starts;
        EXPECT_EQ(Read(file, &starts), r.chunks);
        EXPECT_EQ(file.Malformed(), r.malformed) << r.chunks;
        EXPECT_EQ(LastChunkMs(dir / "f"), r.last) << r.chunks;
        // From each chunk's line on, the rest as read through.
        std::size_t at = 0;
        for (std::size_t i = 0; i < starts.size(); ++i, at = r.chunks.find(' ', at) + 1) {
            file.SeekTo(starts[i]);
            EXPECT_EQ(Read(file), r.chunks.substr(at));
        }
    }
    // Past the 256 KB read at once: a line across its end is read whole.
    std::string many = "TOLVANE-CAPTURE 1 baud=4800\n", manyChunks, error;
    for (int ms = 0; ms < 30000; ++ms) many += Line({0x7E, 0x70}, ms), manyChunks += "R" + std::to_string(ms) + ":2 ";
    Write(dir / "f", many);
    ReplayFile big, none;
    ASSERT_TRUE(big.Open(dir / "f", error)) << error;
    EXPECT_TRUE(Read(big) == manyChunks) << "30000 chunks of 2 bytes, R0 to R29999, read otherwise";
    EXPECT_FALSE(none.Open(dir / "missing", error));
    EXPECT_EQ(error, "cannot read " + (dir / "missing") + ": No such file or directory");
    EXPECT_FALSE(none.Open(dir.path.string(), error));
    EXPECT_EQ(error, "cannot read " + dir.path.string() + ": Is a directory");
    EXPECT_EQ(FormatReplayTime(0) + FormatReplayTime(12999) + FormatReplayTime(3599999) + FormatReplayTime(3600000),
              "0:000:1259:591:00:00");
}

// One received line every 10 ms for a minute: entries a second apart, the
// length from the tail alone, and an index that halves to stay bounded.
TEST(ReplayIndex, SecondsToLineStartsWithinItsBound)
{
    TempDir dir;
    std::string content = "TOLVANE-CAPTURE 1 baud=9600\n";
    for (int ms = 0; ms <= 60000; ms += 10)
        content += "T " + std::to_string(ms + 5000) + " 41\nR " + std::to_string(ms) + " 41\n";
    Write(dir / "f", content);
    ASSERT_GT(content.size(), kTail);
    ReplayIndex index;
    std::string error;
    ASSERT_TRUE(IndexRecording(dir / "f", index, {}, {}, error)) << error;
    EXPECT_EQ(index.Size(), 61u);
    EXPECT_EQ(LastChunkMs(dir / "f"), 60000);
    const std::pair<std::int64_t, std::string> seeks[] = {
        {-1, "T5000:1 R0:1 "}, {999, "R0:1 T5010:1 "}, {12345, "R12000:1 T17010:1 "}, {99999, "R60000:1 "}};
    for (const auto& [ms, read] : seeks) {
        ReplayFile file;
        ASSERT_TRUE(file.Open(dir / "f", error));
        file.SeekTo(index.Before(ms, file.DataStart()).offset);
        EXPECT_EQ(Read(file).substr(0, read.size()), read) << ms;
    }
    ReplayIndex big;
    for (std::int64_t s = 0; s < static_cast<std::int64_t>(ReplayIndex::kMaxEntries); ++s) big.Add(s * 1000, s);
    EXPECT_EQ(big.Size(), ReplayIndex::kMaxEntries / 2);
    EXPECT_EQ(big.Before(5999, 0).offset, 4u); // every other second kept
}

// The recording's time against the clock as the player is worked.
TEST(ReplayPacer, PositionAndWaitFollowPauseAndSpeed)
{
    enum Op { Start, At, Speed, Pause, Play, Delivered };
    const struct {
        Op op;
        std::int64_t now, arg, position, waitFor1000;
    } rows[] = {
        {Start, 100, 0, 0, 1000},     {At, 600, 0, 500, 500},       {Speed, 600, 10, 500, 50},
        {At, 640, 0, 900, 10},        {At, 655, 0, 1050, 0},        {Pause, 700, 0, 1500, -1},
        {At, 5000, 0, 1500, -1},      {Play, 5000, 0, 1500, 0},     {Speed, 5000, 0, 1500, 0},
        {Delivered, 5000, 2500, 2500, 0}, {Delivered, 9000, 2000, 2500, 0}, {Speed, 9000, 2, 2500, 0},
        {At, 9100, 0, 2700, 0},       {Start, 9100, 999, 999, 1},   {At, 9101, 0, 1001, 0},
    };
    ReplayPacer pacer;
    for (const auto& r : rows) {
        if (r.op == Start) pacer.Start(r.arg, r.now);
        if (r.op == Speed) pacer.SetSpeed(static_cast<int>(r.arg), r.now);
        if (r.op == Pause || r.op == Play) pacer.SetPaused(r.op == Pause, r.now);
        if (r.op == Delivered) pacer.Delivered(r.arg);
        EXPECT_EQ(std::pair(pacer.Position(r.now), pacer.WaitFor(1000, r.now)), std::pair(r.position, r.waitFor1000))
            << "row at " << r.now;
    }
}

// Played through the link as fast as possible: the lines tolvane-decode
// prints (less its gap line) in order, a frame cut by the gap not taking
// the next with it, then the end; a seek plays from its point; a file
// deleted while playing plays to its end, and one gone before is told.
TEST(ReplayRecording, PlaysThroughTheLinkAsDecoded)
{
    TempDir dir;
    std::string content = "TOLVANE-CAPTURE 1 baud=9600 start= device=x\n";
    for (int i = 0; i < 400; ++i) {
        const Bytes sentence = B(Nmea("HCHDT," + std::to_string(i) + ".0,T") + "\r\n");
        // A binary frame cut by a gap: its length would take the next sentence.
        const Bytes cut = {0x0D, 0x0A, 0x7E, 0x47, 0x30};
        if (i == 200) content += Line(cut, i * 100) + FormatGapLine(i * 100, 9) + "T 20000 0D 0A\n";
        else content += Line(sentence, i * 100);
    }
    Write(dir / "r.tcap", content);
    std::vector<std::string> decoded;
    for (const auto& line : DecodeCapture(ParseCapture(content), {}))
        if (!line.starts_with("(gap)")) decoded.push_back(line);
    ASSERT_EQ(decoded.size(), 399u);

    std::string error;
    const auto recording = ReplayRecording::Open(dir / "r.tcap", error, [] { return std::int64_t{0}; });
    ASSERT_TRUE(recording) << error;
    recording->SetSpeed(0);
    SerialLink link(8);
    std::mutex mutex;
    std::vector<std::string> events;
    const auto play = [&](std::int64_t from, const std::function<void()>& opened = {}) {
        events.clear();
        auto channel = recording->ChannelAt(from, [&](const ReplayEvent& e) {
            std::lock_guard lock(mutex);
            events.push_back(e.kind == ReplayEvent::Kind::Gap ? "gap " + std::to_string(e.lost) : "end" + e.error);
        });
        if (opened) opened();
        recording->SetPaused(false); // paused at the end of the one before
        link.OpenChannel(std::move(channel), 1);
        std::vector<std::string> lines;
        DeviceMessage m;
        WaitFor([&] {
            while (link.TakeMessage(m) != DeviceLink::kEmpty) {
                StatusLine line;
                char text[kStatusTextMax + 16];
                if (RenderMessage(m, line))
                    lines.push_back((std::snprintf(text, sizeof text, "%-10s%s", line.mnemonic, line.text), text));
                EXPECT_GE(m.timestamp, from);
            }
            std::lock_guard lock(mutex);
            return !events.empty() && events.back().starts_with("end");
        }, std::chrono::seconds(10));
        EXPECT_EQ(link.Send(SerialNumberRequest()), -1);
        return lines;
    };
    EXPECT_EQ(play(0), decoded);
    EXPECT_EQ(events, (std::vector<std::string>{"gap 9", "end"}));
    EXPECT_EQ(recording->PositionMs(), 39900);
    EXPECT_EQ(play(30000), std::vector<std::string>(decoded.end() - 100, decoded.end()));
    EXPECT_EQ(play(50000), std::vector<std::string>{});
    EXPECT_EQ(play(20000, [&] { std::filesystem::remove(dir / "r.tcap"); }).size(), 199u);
    EXPECT_EQ(events, (std::vector<std::string>{"gap 9", "end"})) << "played on after it was deleted";
    EXPECT_EQ(play(0), std::vector<std::string>{});
    EXPECT_EQ(events, std::vector<std::string>{"endcannot read " + (dir / "r.tcap") + ": No such file or directory"});
}

} // namespace
} // namespace tolvane
