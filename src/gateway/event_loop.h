// The gateway's one thread of control: it waits in poll() on every
// source's descriptors, the signals and a wake-up from other threads, and
// runs timers in order of their time. SIGTERM and SIGINT end it, SIGHUP
// asks for the recordings to be reopened.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tolvane {

// Milliseconds; the loop's time, injected so that tests set it.
using LoopClock = std::function<std::int64_t()>;
// CLOCK_MONOTONIC in milliseconds: never steps with the wall clock.
std::int64_t MonotonicMs();

// Something with descriptors for the loop to watch: each pass asks it
// afresh which, so it may open and close them between passes.
class PollSource {
public:
    virtual ~PollSource() = default;
    // Appends each descriptor with POLLIN and/or POLLOUT.
    virtual void CollectFds(std::vector<pollfd>& fds) const = 0;
    // `fd` has data, or has hung up or failed (a read tells which).
    virtual void OnReadable(int fd) = 0;
    // `fd` takes writes again.
    virtual void OnWritable(int fd) = 0;
};

class EventLoop {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t; // 0: none

    explicit EventLoop(LoopClock clock = MonotonicMs);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Takes SIGTERM, SIGINT and SIGHUP from now on; SIGHUP runs `reopen`.
    // They are blocked in the calling thread, and threads started after
    // inherit that, so call it before starting any (the links' readers).
    bool WatchSignals(Task reopen, std::string& error);
    // Runs `task` on the loop's thread after Wake(), which any thread may
    // call, however often: the task runs once per pass that saw a wake.
    bool SetWakeTask(Task task, std::string& error);
    void Wake();

    // Timers run in order of time, those of the same time in the order they
    // were set. A timer set while timers run waits for the next pass.
    TimerId At(std::int64_t dueMs, Task task);
    TimerId After(std::int64_t delayMs, Task task) { return At(clock_() + delayMs, std::move(task)); }
    // Every `periodMs`, first one period from now. A run that comes late by
    // more than a period is not repeated to catch up.
    TimerId Every(std::int64_t periodMs, Task task);
    void Cancel(TimerId id);

    // The loop watches `source` until it is removed; a source must outlive that.
    void Add(PollSource& source) { sources_.push_back(&source); }
    void Remove(PollSource& source);

    // Waits for a descriptor, a signal, a wake or the next timer, at most
    // `maxWaitMs` (-1: no limit), then handles what came and runs due timers.
    void RunOnce(int maxWaitMs);
    // Passes until Stop() or SIGTERM or SIGINT: the signal's number, 0 for Stop().
    int Run();
    void Stop() { stopping_ = true; }
    std::int64_t Now() const { return clock_(); }

private:
    struct Timer {
        std::int64_t dueMs;
        std::int64_t periodMs; // 0: once
        Task task;
    };

    void ReadSignals();
    void RunDueTimers();

    LoopClock clock_;
    std::map<TimerId, Timer> timers_;
    std::set<std::pair<std::int64_t, TimerId>> queue_; // (due, id): ids grow, so ties keep their order
    TimerId nextId_ = 1;
    std::vector<PollSource*> sources_;
    std::vector<pollfd> fds_;
    int signalFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> wakePending_{false}; // written to wakeFd_ and not yet read
    Task reopen_;
    Task wakeTask_;
    bool stopping_ = false;
    int stopSignal_ = 0;
};

} // namespace tolvane
