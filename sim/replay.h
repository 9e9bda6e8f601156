// --replay: the received bytes of a capture played back at their original
// pace, scaled, from the moment a host first opens the line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvane::sim {

struct ReplayChunk {
    std::int64_t ms = 0; // since the capture started
    std::vector<std::uint8_t> bytes;
};

class Replay {
public:
    // Gives the next chunk, false when there is none: chunks are read as
    // they are played, so a capture of any size plays in little memory.
    using Source = std::function<bool(ReplayChunk& chunk)>;

    // `speed` above 0: 2 plays twice as fast.
    Replay(Source source, double speed);
    Replay(std::vector<ReplayChunk> chunks, double speed);

    void Start(std::int64_t nowNs);
    bool Started() const { return startNs_ >= 0; }
    // Appends the bytes of the chunks due by `nowNs` to `out`, stopping
    // once `out` holds `limit` bytes or more.
    void TakeDue(std::int64_t nowNs, std::vector<std::uint8_t>& out, std::size_t limit = SIZE_MAX);
    // When the next chunk is due; -1 when none is left or not started.
    std::int64_t NextDueNs() const;
    bool Done() const { return !haveNext_; }

private:
    std::int64_t DueNs(const ReplayChunk& chunk) const;

    Source source_;
    ReplayChunk next_;
    bool haveNext_ = false;
    double speed_;
    std::int64_t startNs_ = -1;
};

// The received chunks of the capture (or raw bytes) in `path`, read as they
// are asked for. False with `error` set when the file cannot be opened.
bool OpenReplay(const std::string& path, Replay::Source& source, std::string& error);

} // namespace tolvane::sim
