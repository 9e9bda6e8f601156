#include "link/clock.h"

#include <chrono>

namespace tolvane {
namespace {
// Initialized during static initialization, before main runs.
const std::chrono::steady_clock::time_point programStart = std::chrono::steady_clock::now();
} // namespace

std::int32_t NowMs()
{
    const auto elapsed = std::chrono::steady_clock::now() - programStart;
    return static_cast<std::int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

} // namespace tolvane
