// The one millisecond clock of the program: timestamps of received
// messages, send times and the reader's shutdown wait all read it.
#pragma once

#include <cstdint>

namespace tolvane {

// Milliseconds since program start, from a monotonic clock. 64 bits wide:
// a program that runs for months never sees it wrap.
std::int64_t NowMs();

} // namespace tolvane
