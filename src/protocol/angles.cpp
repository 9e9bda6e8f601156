#include "protocol/angles.h"

#include <cmath>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace tolvane {

std::int16_t DegreesToCounts(float degrees)
{
    const double counts = std::trunc(static_cast<double>(degrees) * kCountsPerDegree);
    if (!std::isfinite(counts)) return 0;
    // fmod is exact, so this keeps the low 16 bits of any integral value
    // without an out-of-range conversion.
    const double low = std::fmod(counts, 65536.0);
    const auto wrapped = static_cast<std::uint16_t>(static_cast<std::int32_t>(low) & 0xFFFF);
    return static_cast<std::int16_t>(wrapped);
}

std::uint16_t NearestCounts(double degrees)
{
    return static_cast<std::uint16_t>(std::lround(degrees / kDegreesPerCount) & 0xFFFF);
}

namespace {

// Counts -32768..65535 cover both readings of a 16-bit angle; the signed
// and unsigned readings of 0..32767 are the same angle. Texts are made a
// block at a time when first asked for, so start-up pays nothing and only
// the blocks in use take memory.
class AngleTexts {
public:
    const char* Text(std::int32_t counts)
    {
        const std::int32_t index = counts - kLowest;
        Block& block = blocks_[index / kBlockSize];
        if (!block.ready.load(std::memory_order_acquire)) Fill(block, index / kBlockSize);
        return block.texts[index % kBlockSize];
    }

private:
    static constexpr std::int32_t kLowest = -32768;
    static constexpr std::int32_t kCount = 65536 + 32768;
    static constexpr std::int32_t kBlockSize = 256;
    // "-180.0" and "360.0" are the longest.
    static constexpr std::size_t kWidth = 8;

    struct Block {
        std::atomic<bool> ready{false};
        char texts[kBlockSize][kWidth];
    };

    void Fill(Block& block, std::int32_t number)
    {
        std::lock_guard lock(fillMutex_);
        if (block.ready.load(std::memory_order_relaxed)) return;
        for (std::int32_t i = 0; i < kBlockSize; ++i) {
            const std::int32_t counts = kLowest + number * kBlockSize + i;
            std::snprintf(block.texts[i], kWidth, "%.1f", counts * kDegreesPerCount);
        }
        block.ready.store(true, std::memory_order_release);
    }

    std::mutex fillMutex_;
    Block blocks_[kCount / kBlockSize];
};

AngleTexts& Texts()
{
    static AngleTexts texts;
    return texts;
}

} // namespace

const char* SignedAngleText(std::int16_t counts) { return Texts().Text(counts); }
const char* UnsignedAngleText(std::uint16_t counts) { return Texts().Text(counts); }

} // namespace tolvane
