#include "replay.h"

#include <cmath>
#include <utility>

namespace tolvane::sim {

Replay::Replay(Source source, double speed) : source_(std::move(source)), speed_(speed)
{
    haveNext_ = source_(next_);
}

Replay::Replay(std::vector<ReplayChunk> chunks, double speed)
    : Replay(
          [chunks = std::move(chunks), at = std::size_t{0}](ReplayChunk& chunk) mutable {
              if (at == chunks.size()) return false;
              chunk = std::move(chunks[at++]);
              return true;
          },
          speed)
{
}

void Replay::Start(std::int64_t nowNs)
{
    startNs_ = nowNs;
}

std::int64_t Replay::DueNs(const ReplayChunk& chunk) const
{
    return startNs_ + static_cast<std::int64_t>(std::llround(static_cast<double>(chunk.ms) * 1e6 / speed_));
}

void Replay::TakeDue(std::int64_t nowNs, std::vector<std::uint8_t>& out, std::size_t limit)
{
    if (!Started()) return;
    while (haveNext_ && out.size() < limit && DueNs(next_) <= nowNs) {
        out.insert(out.end(), next_.bytes.begin(), next_.bytes.end());
        haveNext_ = source_(next_);
    }
}

std::int64_t Replay::NextDueNs() const
{
    return Started() && !Done() ? DueNs(next_) : -1;
}

} // namespace tolvane::sim
