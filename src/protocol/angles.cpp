#include "protocol/angles.h"

#include <cmath>

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

} // namespace tolvane
