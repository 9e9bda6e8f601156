#include "capture/replay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tolvane {
namespace {

const std::string kMagic = std::string(kCaptureMagic) + " ";

// The kind and time of a chunk or gap line, without reading its bytes;
// false for any other line.
bool LineTime(std::string_view line, char& kind, std::int64_t& ms)
{
    if (line.size() < 3 || line[1] != ' ' || (line[0] != 'R' && line[0] != 'T' && line[0] != 'G')) return false;
    std::int64_t v = 0;
    std::size_t i = 2;
    for (; i < line.size() && i < 2 + 12 && line[i] >= '0' && line[i] <= '9'; ++i) v = v * 10 + (line[i] - '0');
    if (i == 2 || (i < line.size() && line[i] != ' ') || v > kCaptureMaxMs) return false;
    kind = line[0];
    ms = v;
    return true;
}

std::string ReadError(const std::string& path, int reason)
{
    return "cannot read " + path + ": " + std::strerror(reason);
}

} // namespace

ReplayFile::~ReplayFile()
{
    if (fd_ >= 0) ::close(fd_);
}

bool ReplayFile::Open(const std::string& path, std::string& error)
{
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
        error = ReadError(path, errno);
        return false;
    }
    // A folder opens, but reads fail.
    if (S_ISDIR(info.st_mode)) {
        error = ReadError(path, EISDIR);
        return false;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    buffer_.resize(kBuffer);
    SeekTo(0);
    while (end_ < kMagic.size() && Fill()) {
    }
    if (!error_.empty()) {
        error = error_;
        return false;
    }
    raw_ = std::string_view(buffer_.data(), end_).substr(0, kMagic.size()) != kMagic;
    if (raw_) return true;
    std::string_view line;
    bool tooLong = false;
    NextLine(line, tooLong);
    if (tooLong) ++malformed_;
    else ParseHeaderLine(line, header_);
    dataStart_ = offset_;
    return true;
}

void ReplayFile::SeekTo(std::uint64_t offset)
{
    begin_ = end_ = 0;
    bufferAt_ = offset_ = offset;
    eof_ = false;
}

bool ReplayFile::Fill()
{
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        bufferAt_ += begin_;
        end_ -= begin_;
        begin_ = 0;
    }
    while (!eof_ && end_ < buffer_.size()) {
        const ssize_t n =
            ::pread(fd_, buffer_.data() + end_, buffer_.size() - end_, static_cast<off_t>(bufferAt_ + end_));
        if (n > 0) {
            end_ += static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error_ = ReadError(path_, errno);
        eof_ = true;
    }
    return false;
}

bool ReplayFile::NextLine(std::string_view& line, bool& tooLong)
{
    tooLong = false;
    std::size_t searched = 0; // bytes of the line looked through for its end
    for (;;) {
        const char* from = buffer_.data() + begin_;
        const auto* lf = static_cast<const char*>(std::memchr(from + searched, '\n', end_ - begin_ - searched));
        const bool atEnd = lf == nullptr && eof_;
        if (lf != nullptr || atEnd) {
            const std::size_t length = lf != nullptr ? static_cast<std::size_t>(lf - from) : end_ - begin_;
            if (atEnd && length == 0 && !tooLong) return false;
            line = std::string_view(from, length);
            begin_ += length + (lf != nullptr ? 1 : 0);
            offset_ = bufferAt_ + begin_;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() > CaptureReader::kLongestLine) tooLong = true;
            if (tooLong) line = {};
            return true;
        }
        searched = end_ - begin_;
        // Far too long to be a line: dropped as it is read.
        if (searched > CaptureReader::kLongestLine + 2) {
            tooLong = true;
            begin_ = end_;
            searched = 0;
        }
        Fill();
    }
}

bool ReplayFile::Next(CaptureChunk& chunk)
{
    if (raw_) {
        if (begin_ == end_ && !Fill()) return false;
        const std::size_t n = std::min(kRawPiece, end_ - begin_);
        chunk.kind = ChunkKind::Received;
        chunk.ms = 0;
        chunk.lost = 0;
        chunk.bytes.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
                           buffer_.begin() + static_cast<std::ptrdiff_t>(begin_ + n));
        begin_ += n;
        offset_ = bufferAt_ + begin_;
        return true;
    }
    std::string_view line;
    bool tooLong = false;
    while (NextLine(line, tooLong)) {
        if (line.empty() && !tooLong) continue;
        if (!tooLong && ParseChunkLine(line, chunk)) return true;
        ++malformed_;
    }
    return false;
}

void ReplayIndex::Add(std::int64_t ms, std::uint64_t offset)
{
    lastMs_ = std::max(lastMs_, ms);
    if (!entries_.empty() && ms < entries_.back().ms + stepMs_) return;
    entries_.push_back({ms, offset});
    if (entries_.size() < kMaxEntries) return;
    // Every other entry goes: the index stays within its bound for any length.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); i += 2) entries_[kept++] = entries_[i];
    entries_.resize(kept);
    stepMs_ *= 2;
}

ReplayIndex::Entry ReplayIndex::Before(std::int64_t ms, std::uint64_t dataStart) const
{
    const auto after = std::upper_bound(entries_.begin(), entries_.end(), ms,
                                        [](std::int64_t t, const Entry& e) { return t < e.ms; });
    return after == entries_.begin() ? Entry{0, dataStart} : *(after - 1);
}

bool IndexRecording(const std::string& path, ReplayIndex& index, const std::function<void(std::uint64_t)>& progress,
                    const std::function<bool()>& cancel, std::string& error)
{
    ReplayFile file;
    if (!file.Open(path, error)) return false;
    if (file.Raw()) return true;
    constexpr std::uint64_t kProgressBytes = 4 << 20;
    std::uint64_t told = 0;
    std::string_view line;
    bool tooLong = false;
    std::uint64_t start = file.Offset();
    // Only a line's kind and time are read: the index is built at the speed of the disk.
    while (file.NextLine(line, tooLong)) {
        char kind = 0;
        std::int64_t ms = 0;
        if (LineTime(line, kind, ms) && kind != 'T') index.Add(ms, start);
        start = file.Offset();
        if (start - told >= kProgressBytes) {
            told = start;
            if (progress) progress(start);
            if (cancel && cancel()) return false;
        }
    }
    if (progress) progress(file.Offset());
    error = file.Error();
    return error.empty();
}

std::int64_t LastChunkMs(const std::string& path)
{
    ReplayFile file;
    std::string error;
    if (!file.Open(path, error) || file.Raw()) return -1;
    const std::uint64_t from = std::max(file.DataStart(), file.Size() > kTail ? file.Size() - kTail : 0);
    file.SeekTo(from);
    std::string_view line;
    bool tooLong = false;
    // A tail cut inside a line starts with its end, which is no line.
    if (from > file.DataStart()) file.NextLine(line, tooLong);
    std::int64_t last = -1;
    while (file.NextLine(line, tooLong)) {
        char kind = 0;
        std::int64_t ms = 0;
        if (LineTime(line, kind, ms) && kind != 'T') last = std::max(last, ms);
    }
    return last;
}

void ReplayPacer::Start(std::int64_t positionMs, std::int64_t nowMs)
{
    anchorPosition_ = positionMs;
    anchorNow_ = nowMs;
}

void ReplayPacer::Anchor(std::int64_t nowMs)
{
    anchorPosition_ = Position(nowMs);
    anchorNow_ = nowMs;
}

void ReplayPacer::SetPaused(bool paused, std::int64_t nowMs)
{
    Anchor(nowMs);
    paused_ = paused;
}

void ReplayPacer::SetSpeed(int speed, std::int64_t nowMs)
{
    Anchor(nowMs);
    speed_ = speed;
}

std::int64_t ReplayPacer::Position(std::int64_t nowMs) const
{
    if (paused_ || speed_ == 0) return anchorPosition_;
    return anchorPosition_ + (nowMs - anchorNow_) * speed_;
}

std::int64_t ReplayPacer::WaitFor(std::int64_t chunkMs, std::int64_t nowMs) const
{
    if (paused_) return -1;
    if (speed_ == 0) return 0;
    const std::int64_t ahead = chunkMs - Position(nowMs);
    return ahead <= 0 ? 0 : (ahead + speed_ - 1) / speed_;
}

void ReplayPacer::Delivered(std::int64_t chunkMs)
{
    if (speed_ == 0) anchorPosition_ = std::max(anchorPosition_, chunkMs);
}

std::string FormatReplayTime(std::int64_t ms)
{
    const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
    return text;
}

} // namespace tolvane
