// The serial line's pace: bytes leave one every ten bit times of the
// emulated speed, so the host sees real timings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace tolvane::sim {

class PacedLine {
public:
    explicit PacedLine(int baud) : byteNs_(10'000'000'000LL / baud) {}

    void Enqueue(const std::vector<std::uint8_t>& bytes, std::int64_t nowNs);
    // Moves the bytes that have fully crossed the line by `nowNs` into `out`.
    void TakeDue(std::int64_t nowNs, std::vector<std::uint8_t>& out);
    bool Idle() const { return queue_.empty(); }
    std::size_t Queued() const { return queue_.size(); }
    // When the next byte will have arrived; -1 when there is none.
    std::int64_t NextByteNs() const { return queue_.empty() ? -1 : nextByteNs_; }
    std::int64_t ByteNs() const { return byteNs_; }

private:
    std::int64_t byteNs_;
    std::int64_t nextByteNs_ = 0;
    std::deque<std::uint8_t> queue_;
};

} // namespace tolvane::sim
