// Writes a capture file from the link's threads without ever making them
// wait on the disk: chunks go into a bounded buffer that a writer thread
// empties, a line per chunk. The writer takes all that is queued at once and
// writes it in one go, then rests kCoalesceMs (less when the buffer fills)
// before the next, so a steady stream costs it a wake and a write per rest,
// not per chunk; a crash loses at most the chunks of that rest, as it does
// the bytes still unread in the port. What does not fit is counted and
// recorded as a gap line.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_format.h"
#include "link/device_link.h"

namespace tolvane {

// Where the writer thread puts the lines; a file unless a test says otherwise.
class CaptureOutput {
public:
    virtual ~CaptureOutput() = default;
    // Whole lines, each with its end, written out (not held in a buffer)
    // before returning. False on a write error; the writer then stops writing.
    virtual bool WriteLine(const std::string& lines) = 0;
    // Why the last refused line was refused ("No space left on device").
    virtual std::string Failure() const { return "write error"; }
};

inline constexpr std::size_t kDefaultCaptureBuffer = 1 << 20;
// The writer's rest between two writes; a buffer half full cuts it short.
inline constexpr int kCoalesceMs = 20;

class CaptureWriter : public CaptureSink {
public:
    explicit CaptureWriter(std::size_t bufferBytes = kDefaultCaptureBuffer);
    ~CaptureWriter() override; // stops
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Creates `path`, writes the header and starts the writer thread.
    // Times are counted from `startMs` on the link's clock.
    bool Open(const std::string& path, const CaptureHeader& header, std::int64_t startMs, std::string& error);
    // As Open, onto `output`.
    bool Start(std::unique_ptr<CaptureOutput> output, const CaptureHeader& header, std::int64_t startMs);
    // Writes everything buffered, then ends the thread and closes the
    // output. Harmless when not started.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // CaptureSink
    void Received(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs) override;
    void Sent(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs) override;

    // Bytes that did not fit the buffer since Start.
    std::uint64_t LostCount() const;
    // False after the output refused a line.
    bool Healthy() const;
    // The output's reason once it refused a line; empty while healthy.
    std::string Failure() const;

private:
    struct Entry {
        ChunkKind kind;
        std::int64_t ms;
        std::vector<std::uint8_t> bytes;
        std::uint64_t lost;
    };

    void Add(ChunkKind kind, const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs);
    void Run();
    // Whether an Add must wake the writer: it waits for a first entry, or
    // rests while the buffer has filled past half.
    bool WakeNeeded(bool wasEmpty) const;

    const std::size_t capacity_;
    std::unique_ptr<CaptureOutput> output_;
    std::thread thread_;
    std::int64_t startMs_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> entries_; // a gap entry is always the last while bytes are being lost
    std::size_t buffered_ = 0;  // payload bytes in entries_
    std::uint64_t lost_ = 0;
    bool stopping_ = false;
    bool idle_ = false;    // the writer waits for a first entry
    bool resting_ = false; // the writer rests after a write
    bool accepting_ = false;
    bool healthy_ = true;
    std::string failure_;
};

} // namespace tolvane
