#include "capture/capture_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <utility>

namespace tolvane {
namespace {

class FileOutput : public CaptureOutput {
public:
    explicit FileOutput(std::FILE* file) : file_(file) {}
    ~FileOutput() override { std::fclose(file_); }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    // Straight to the descriptor: the stream's buffer would only split it.
    bool WriteLine(const std::string& lines) override
    {
        for (std::size_t at = 0; at < lines.size();) {
            const ssize_t n = ::write(::fileno(file_), lines.data() + at, lines.size() - at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failure_ = std::strerror(n < 0 ? errno : ENOSPC);
                return false;
            }
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    std::string Failure() const override { return failure_; }

private:
    std::FILE* file_;
    std::string failure_;
};

} // namespace

CaptureWriter::CaptureWriter(std::size_t bufferBytes) : capacity_(bufferBytes) {}

CaptureWriter::~CaptureWriter()
{
    Stop();
}

bool CaptureWriter::Open(const std::string& path, const CaptureHeader& header, std::int64_t startMs,
                         std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!Start(std::make_unique<FileOutput>(file), header, startMs)) {
        error = "cannot write to " + path;
        return false;
    }
    return true;
}

bool CaptureWriter::Start(std::unique_ptr<CaptureOutput> output, const CaptureHeader& header, std::int64_t startMs)
{
    Stop();
    if (!output->WriteLine(FormatHeader(header))) return false;
    output_ = std::move(output);
    {
        std::lock_guard lock(mutex_);
        startMs_ = startMs;
        entries_.clear();
        buffered_ = 0;
        lost_ = 0;
        stopping_ = false;
        idle_ = resting_ = false;
        healthy_ = true;
        failure_.clear();
        accepting_ = true;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CaptureWriter::Stop()
{
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        accepting_ = false;
    }
    wake_.notify_one();
    thread_.join();
    output_.reset();
}

void CaptureWriter::Received(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs)
{
    Add(ChunkKind::Received, bytes, count, nowMs);
}

void CaptureWriter::Sent(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs)
{
    Add(ChunkKind::Sent, bytes, count, nowMs);
}

void CaptureWriter::Add(ChunkKind kind, const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs)
{
    if (count == 0) return;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (!accepting_) return;
        const bool wasEmpty = entries_.empty();
        // A chunk stamped before the start still gets a time the format holds.
        const std::int64_t ms = std::max<std::int64_t>(0, nowMs - startMs_);
        const std::size_t fits = std::min(count, capacity_ - buffered_);
        if (fits > 0) {
            entries_.push_back({kind, ms, std::vector<std::uint8_t>(bytes, bytes + fits), 0});
            buffered_ += fits;
        }
        if (const std::size_t lost = count - fits; lost > 0) {
            lost_ += lost;
            if (!entries_.empty() && entries_.back().kind == ChunkKind::Gap)
                entries_.back().lost += lost;
            else
                entries_.push_back({ChunkKind::Gap, ms, {}, lost});
        }
        wake = WakeNeeded(wasEmpty);
    }
    if (wake) wake_.notify_one();
}

bool CaptureWriter::WakeNeeded(bool wasEmpty) const
{
    return (idle_ && wasEmpty) || (resting_ && buffered_ >= capacity_ / 2);
}

void CaptureWriter::Run()
{
    std::vector<Entry> batch;
    std::string lines;
    std::unique_lock lock(mutex_);
    for (;;) {
        idle_ = true;
        wake_.wait(lock, [this] { return stopping_ || !entries_.empty(); });
        idle_ = false;
        if (entries_.empty()) return; // stopping, and all written
        batch.assign(std::make_move_iterator(entries_.begin()), std::make_move_iterator(entries_.end()));
        entries_.clear();
        lock.unlock();
        // All that was queued, a line per entry as ever, in one write. The
        // bytes stay counted until written, so the buffer bounds what is
        // held in memory, not just what is queued.
        lines.clear();
        std::size_t bytes = 0;
        for (const Entry& entry : batch) {
            lines += entry.kind == ChunkKind::Gap
                         ? FormatGapLine(entry.ms, entry.lost)
                         : FormatChunkLine(entry.kind, entry.ms, entry.bytes.data(), entry.bytes.size());
            bytes += entry.bytes.size();
        }
        batch.clear();
        const bool written = output_->WriteLine(lines);
        const std::string failure = written ? std::string() : output_->Failure();
        lock.lock();
        buffered_ -= bytes;
        if (!written) {
            healthy_ = false;
            failure_ = failure;
            accepting_ = false;
            entries_.clear();
            buffered_ = 0;
            continue;
        }
        // What comes meanwhile waits for the next write, unless the end
        // comes or the buffer fills.
        resting_ = true;
        wake_.wait_for(lock, std::chrono::milliseconds(kCoalesceMs),
                       [this] { return stopping_ || buffered_ >= capacity_ / 2; });
        resting_ = false;
    }
}

std::uint64_t CaptureWriter::LostCount() const
{
    std::lock_guard lock(mutex_);
    return lost_;
}

bool CaptureWriter::Healthy() const
{
    std::lock_guard lock(mutex_);
    return healthy_;
}

std::string CaptureWriter::Failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

} // namespace tolvane
