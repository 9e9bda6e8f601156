// --replay: the received bytes of a capture played back at their original
// pace, scaled, from the moment a host first opens the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::sim {

struct ReplayChunk {
    std::int64_t ms = 0; // since the capture started
    std::vector<std::uint8_t> bytes;
};

class Replay {
public:
    // `speed` above 0: 2 plays twice as fast.
    Replay(std::vector<ReplayChunk> chunks, double speed);

    void Start(std::int64_t nowNs);
    bool Started() const { return startNs_ >= 0; }
    // Appends the bytes of every chunk due by `nowNs` to `out`.
    void TakeDue(std::int64_t nowNs, std::vector<std::uint8_t>& out);
    // When the next chunk is due; -1 when none is left or not started.
    std::int64_t NextDueNs() const;
    bool Done() const { return next_ == chunks_.size(); }

private:
    std::int64_t DueNs(const ReplayChunk& chunk) const;

    std::vector<ReplayChunk> chunks_;
    double speed_;
    std::int64_t startNs_ = -1;
    std::size_t next_ = 0;
};

// The received chunks of the capture (or raw bytes) in `path`. False with
// `error` set when the file cannot be read.
bool LoadReplay(const std::string& path, std::vector<ReplayChunk>& chunks, std::string& error);

} // namespace tolvane::sim
