#include "capture/capture_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tolvane {
namespace {

class FileOutput : public CaptureOutput {
public:
    explicit FileOutput(std::FILE* file) : file_(file) {}
    ~FileOutput() override { std::fclose(file_); }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    bool WriteLine(const std::string& line) override
    {
        if (std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0) return true;
        failure_ = std::strerror(errno);
        return false;
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
    {
        std::lock_guard lock(mutex_);
        if (!accepting_) return;
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
    }
    wake_.notify_one();
}

void CaptureWriter::Run()
{
    for (;;) {
        Entry entry;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !entries_.empty(); });
            if (entries_.empty()) return; // stopping, and all written
            entry = std::move(entries_.front());
            entries_.pop_front();
        }
        // The bytes stay counted until written, so the buffer bounds what
        // is held in memory, not just what is queued.
        const std::string line = entry.kind == ChunkKind::Gap
                                     ? FormatGapLine(entry.ms, entry.lost)
                                     : FormatChunkLine(entry.kind, entry.ms, entry.bytes.data(), entry.bytes.size());
        const bool written = output_->WriteLine(line);
        const std::string failure = written ? std::string() : output_->Failure();
        std::lock_guard lock(mutex_);
        buffered_ -= entry.bytes.size();
        if (!written) {
            healthy_ = false;
            failure_ = failure;
            accepting_ = false;
            entries_.clear();
            buffered_ = 0;
        }
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
