#include "paced_line.h"

#include <algorithm>

namespace tolvane::sim {

void PacedLine::Enqueue(const std::vector<std::uint8_t>& bytes, std::int64_t nowNs)
{
    // A byte arrives when its last bit has; an idle line builds up no
    // credit, so the first byte of a burst takes its full time.
    if (queue_.empty()) nextByteNs_ = std::max(nextByteNs_, nowNs + byteNs_);
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
}

void PacedLine::TakeDue(std::int64_t nowNs, std::vector<std::uint8_t>& out)
{
    while (!queue_.empty() && nextByteNs_ <= nowNs) {
        out.push_back(queue_.front());
        queue_.pop_front();
        nextByteNs_ += byteNs_;
    }
}

} // namespace tolvane::sim
