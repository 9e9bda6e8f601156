// The capture file: a text header, then one line per chunk of bytes
// received or sent, and a gap line where bytes were lost. See
// docs/capture-format.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

inline constexpr const char* kCaptureMagic = "TOLVANE-CAPTURE";
inline constexpr int kCaptureVersion = 1;
// The longest time a line holds, 2^36 - 1 ms (about 795 days); a line
// with a later time is malformed. Within it every use of a time stays exact
// and in range: as a double, in nanoseconds (x10^6) and even at the slowest
// replay (x10^8, 0.01 times as fast) added to a monotonic clock's reading.
inline constexpr std::int64_t kCaptureMaxMs = (std::int64_t{1} << 36) - 1;

struct CaptureHeader {
    int version = kCaptureVersion;
    int baud = 0;
    std::string startTime; // local, as 2024-05-01T13:45:10+0200
    std::string device;
};

enum class ChunkKind : char { Received = 'R', Sent = 'T', Gap = 'G' };

struct CaptureChunk {
    ChunkKind kind = ChunkKind::Received;
    std::int64_t ms = 0;              // since the capture started
    std::vector<std::uint8_t> bytes;  // empty for a gap
    std::uint64_t lost = 0;           // bytes lost, for a gap
    bool operator==(const CaptureChunk&) const = default;
};

struct Capture {
    bool raw = false; // no header: the whole input is one received chunk
    CaptureHeader header;
    std::vector<CaptureChunk> chunks;
    // Lines that were neither a chunk nor a gap, skipped (1-based).
    std::vector<std::size_t> badLines;
};

// The local time now, as the header writes it.
std::string LocalStartTime();

// Each with its line end.
std::string FormatHeader(const CaptureHeader& header);
std::string FormatChunkLine(ChunkKind kind, std::int64_t ms, const std::uint8_t* bytes, std::size_t count);
std::string FormatGapLine(std::int64_t ms, std::uint64_t lost);

// One line without its line end: the header (starting with the magic
// word), or a chunk or gap line (false when it is neither).
void ParseHeaderLine(std::string_view line, CaptureHeader& header);
bool ParseChunkLine(std::string_view line, CaptureChunk& chunk);

// Reads all of `path` into `content`; false with `error` (naming the file
// and the reason) when it cannot.
bool ReadWholeFile(const std::string& path, std::string& content, std::string& error);

// A capture read a chunk at a time, so that memory does not grow with the
// file and the first chunk comes before the input has been read to its end.
// Input not starting with the magic word is taken as raw bytes received at
// time 0, handed on in pieces of kRawPiece bytes.
class CaptureReader {
public:
    static constexpr std::size_t kRawPiece = 64 * 1024;
    // A line longer than any the writer makes (a chunk line holds one read
    // of the link, 256 bytes; a header names a device of at most PATH_MAX)
    // is malformed; it is skipped without being held.
    static constexpr std::size_t kLongestLine = 16 * 1024;

    // Reads the header, or the first raw bytes.
    explicit CaptureReader(std::istream& in);

    bool Raw() const { return raw_; }
    const CaptureHeader& Header() const { return header_; }
    // The next chunk; false at the end of the input. Lines that are neither
    // a chunk nor a gap are skipped, their numbers (1-based) given to `skipped`.
    bool Next(CaptureChunk& chunk, const std::function<void(std::size_t line)>& skipped = {});

private:
    // The next line without its line end; false at the end of the input.
    // One longer than kLongestLine is read to its end but not kept: empty,
    // with `tooLong` set.
    bool ReadLine(std::string_view& line, bool& tooLong);

    std::istream& in_;
    bool raw_ = false;
    bool headerTooLong_ = false;
    CaptureHeader header_;
    std::string pending_; // raw bytes read while looking for the magic word
    std::string line_;    // kLongestLine + 2 characters, reused
    std::size_t lineNumber_ = 1;
};

// A whole file's content, as CaptureReader reads it.
Capture ParseCapture(const std::string& content);

} // namespace tolvane
