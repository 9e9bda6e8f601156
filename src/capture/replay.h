// Playing a recording (a capture file, or a file of raw bytes) back into the
// program: the file read a chunk at a time from any line, the index of its
// times, and the pace at which the chunks fall due. Plain C++ without
// threads; replay_recording runs it on the link's reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_format.h"

namespace tolvane {

// A recording read from any byte offset: each call gives the next chunk
// and where the line after it starts, so that an index can note offsets
// and a seek can start reading there. Memory stays at one buffer whatever
// the file's size.
class ReplayFile {
public:
    static constexpr std::size_t kBuffer = 256 * 1024;
    // Raw bytes go on in pieces of one read of the link, as a capture holds them.
    static constexpr std::size_t kRawPiece = 256;

    ReplayFile() = default;
    ~ReplayFile();
    ReplayFile(const ReplayFile&) = delete;
    ReplayFile& operator=(const ReplayFile&) = delete;

    // False with `error` naming the file and the reason ("cannot read
    // PATH: No such file or directory").
    bool Open(const std::string& path, std::string& error);
    bool Raw() const { return raw_; }
    const CaptureHeader& Header() const { return header_; }
    // Where the first chunk line starts (after the header); 0 for raw bytes.
    std::uint64_t DataStart() const { return dataStart_; }
    std::uint64_t Size() const { return size_; }

    // Reading goes on from `offset`, which must be the start of a line (or
    // any offset in a raw file).
    void SeekTo(std::uint64_t offset);
    // The next chunk, gap or sent line; false at the end of the file (or a
    // read error: Error then tells it). Malformed lines are skipped and counted.
    bool Next(CaptureChunk& chunk);
    // Where the line after the last chunk given starts.
    std::uint64_t Offset() const { return offset_; }
    std::uint64_t Malformed() const { return malformed_; }
    const std::string& Error() const { return error_; }
    // The next line as it is, without its line end; false at the end. A
    // line longer than CaptureReader::kLongestLine is given empty with `tooLong`.
    bool NextLine(std::string_view& line, bool& tooLong);

private:
    bool Fill();

    int fd_ = -1;
    std::string path_;
    bool raw_ = false;
    CaptureHeader header_;
    std::uint64_t dataStart_ = 0;
    std::uint64_t size_ = 0;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0; // unread bytes of the buffer
    std::uint64_t bufferAt_ = 0;       // file offset of buffer_[0]
    std::uint64_t offset_ = 0;
    bool eof_ = false;
    std::uint64_t malformed_ = 0;
    std::string error_;
};

// Times to byte offsets: one entry per second of recording (more apart in
// a recording too long for kMaxEntries), so that a seek reads at most
// about a second of the file before the point sought.
class ReplayIndex {
public:
    static constexpr std::size_t kMaxEntries = std::size_t{1} << 20; // 16 MiB
    struct Entry {
        std::int64_t ms;
        std::uint64_t offset;
    };

    // A received or gap line at `ms` starts at `offset`; lines come in file order.
    void Add(std::int64_t ms, std::uint64_t offset);
    // Where to start reading to reach `ms`: the last entry at or before it
    // (the file's first line otherwise, at `dataStart`).
    Entry Before(std::int64_t ms, std::uint64_t dataStart) const;
    std::size_t Size() const { return entries_.size(); }
    std::int64_t LastMs() const { return lastMs_; }

private:
    std::vector<Entry> entries_;
    std::int64_t stepMs_ = 1000;
    std::int64_t lastMs_ = -1;
};

// Indexes the capture at `path` from its first line to its end, telling
// `progress` the bytes read every few megabytes; stops early once `cancel`
// turns true. Received and gap lines only: a sent line may carry an
// earlier time than the line before it.
bool IndexRecording(const std::string& path, ReplayIndex& index, const std::function<void(std::uint64_t)>& progress,
                    const std::function<bool()>& cancel, std::string& error);

// The time of the last received or gap line of a capture, read from its
// last kTail bytes, so that the length is known before it is indexed; -1
// when none is there (raw bytes, an empty capture).
inline constexpr std::size_t kTail = 64 * 1024;
std::int64_t LastChunkMs(const std::string& path);

// When each chunk falls due: the recording's time runs at `speed` times
// the clock's while playing, and stands still while paused. Speed 0 is as
// fast as possible: every chunk is due at once, and the position is that
// of the last chunk delivered.
class ReplayPacer {
public:
    // Playing from `positionMs` at `nowMs`.
    void Start(std::int64_t positionMs, std::int64_t nowMs);
    void SetPaused(bool paused, std::int64_t nowMs);
    void SetSpeed(int speed, std::int64_t nowMs);
    bool Paused() const { return paused_; }
    int Speed() const { return speed_; }
    // The recording's time at `nowMs`.
    std::int64_t Position(std::int64_t nowMs) const;
    // Milliseconds of the clock until the recording reaches `chunkMs` (0:
    // due now); -1 while paused.
    std::int64_t WaitFor(std::int64_t chunkMs, std::int64_t nowMs) const;
    // A chunk at `chunkMs` went out: as fast as possible, it is the position.
    void Delivered(std::int64_t chunkMs);

private:
    void Anchor(std::int64_t nowMs);

    std::int64_t anchorPosition_ = 0;
    std::int64_t anchorNow_ = 0;
    int speed_ = 1;
    bool paused_ = false;
};

// The player's speeds, in the order its list shows them.
struct ReplaySpeed {
    const char* name;
    int speed; // 0: as fast as possible
};
inline constexpr ReplaySpeed kReplaySpeeds[] = {
    {"1x", 1}, {"2x", 2}, {"5x", 5}, {"10x", 10}, {"As fast as possible", 0}};

// "0:12", "3:40", "1:02:05": minutes and seconds, hours once there are any.
std::string FormatReplayTime(std::int64_t ms);

} // namespace tolvane
