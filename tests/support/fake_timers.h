// A session's time that a test moves by hand: each task runs at its time as
// the clock passes it, in order, as the program's timers would.
#pragma once

#include <algorithm>
#include <map>
#include <utility>

#include "session/session_timers.h"

namespace tolvane::test {

class FakeTimers : public SessionTimers {
public:
    std::int64_t now = 0;
    std::map<std::int64_t, int> started; // how many tasks were set with each delay or period

    std::int64_t Now() const override { return now; }
    TimerId After(std::int64_t delayMs, Task task) override { return Set(delayMs, 0, std::move(task)); }
    TimerId Every(std::int64_t periodMs, Task task) override { return Set(periodMs, periodMs, std::move(task)); }
    void Cancel(TimerId id) override { tasks_.erase(id); }

    // Moves the clock `ms` on, running what falls due on the way: in order
    // of time, and of setting at the same time.
    void Advance(std::int64_t ms)
    {
        const std::int64_t until = now + ms;
        for (auto next = First(); next != tasks_.end() && next->second.due <= until; next = First()) {
            now = next->second.due;
            const Task task = next->second.task;
            if (next->second.period == 0) tasks_.erase(next);
            else next->second.due += next->second.period;
            task();
        }
        now = until;
    }

private:
    struct Entry {
        std::int64_t due;
        std::int64_t period; // 0: once
        Task task;
    };
    std::map<TimerId, Entry>::iterator First()
    {
        return std::min_element(tasks_.begin(), tasks_.end(), [](const auto& a, const auto& b) {
            return std::pair(a.second.due, a.first) < std::pair(b.second.due, b.first);
        });
    }
    TimerId Set(std::int64_t ms, std::int64_t period, Task task)
    {
        ++started[ms];
        tasks_[++lastId_] = {now + ms, period, std::move(task)};
        return lastId_;
    }

    std::map<TimerId, Entry> tasks_;
    TimerId lastId_ = 0;
};

} // namespace tolvane::test
