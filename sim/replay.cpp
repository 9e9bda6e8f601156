#include "replay.h"

#include <cmath>
#include <utility>

namespace tolvane::sim {

Replay::Replay(std::vector<ReplayChunk> chunks, double speed) : chunks_(std::move(chunks)), speed_(speed) {}

void Replay::Start(std::int64_t nowNs)
{
    startNs_ = nowNs;
}

std::int64_t Replay::DueNs(const ReplayChunk& chunk) const
{
    return startNs_ + static_cast<std::int64_t>(std::llround(static_cast<double>(chunk.ms) * 1e6 / speed_));
}

void Replay::TakeDue(std::int64_t nowNs, std::vector<std::uint8_t>& out)
{
    if (!Started()) return;
    for (; next_ < chunks_.size() && DueNs(chunks_[next_]) <= nowNs; ++next_)
        out.insert(out.end(), chunks_[next_].bytes.begin(), chunks_[next_].bytes.end());
}

std::int64_t Replay::NextDueNs() const
{
    return Started() && !Done() ? DueNs(chunks_[next_]) : -1;
}

} // namespace tolvane::sim
