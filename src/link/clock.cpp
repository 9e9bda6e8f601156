#include "link/clock.h"

#include <chrono>

namespace tolvane {
namespace {
// Initialized during static initialization, before main runs.
const std::chrono::steady_clock::time_point programStart = std::chrono::steady_clock::now();
} // namespace

std::int64_t NowMs()
{
    const auto elapsed = std::chrono::steady_clock::now() - programStart;
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

} // namespace tolvane
