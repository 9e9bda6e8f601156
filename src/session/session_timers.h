// The time a compass session runs on, given by whoever runs it: the main
// window with Qt timers, the gateway with its poll loop, a test with a
// clock it moves itself. Tasks run on that one thread, never inside a call
// that set them.
#pragma once

#include <cstdint>
#include <functional>

#include "link/clock.h"

namespace tolvane {

// The link's clock, in which its messages and counters are stamped.
using LinkTimeMs = decltype(NowMs());

class SessionTimers {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t; // 0: none

    virtual ~SessionTimers() = default;
    // Milliseconds on the link's clock (NowMs in the program).
    virtual std::int64_t Now() const = 0;
    // Runs `task` once, `delayMs` from now.
    virtual TimerId After(std::int64_t delayMs, Task task) = 0;
    // Runs `task` every `periodMs`, the first time one period from now.
    virtual TimerId Every(std::int64_t periodMs, Task task) = 0;
    // Harmless for 0, for a task that has run and for one cancelled before.
    virtual void Cancel(TimerId id) = 0;
};

} // namespace tolvane
