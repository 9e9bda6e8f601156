// The one millisecond clock of the program: timestamps of received
// messages, send times and the reader's shutdown wait all read it.
#pragma once

#include <cstdint>

namespace tolvane {

// Milliseconds since program start, from a monotonic clock.
std::int32_t NowMs();

} // namespace tolvane
