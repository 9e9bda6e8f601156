// The session's time in the program: Qt timers on the window's thread (so
// that they keep running in a dialog's nested event loop) and the link's
// clock.
#pragma once

#include <QTimer>

#include <map>
#include <memory>
#include <utility>

#include "session/session_timers.h"

namespace tolvane {

class QtSessionTimers : public SessionTimers {
public:
    std::int64_t Now() const override { return NowMs(); }
    TimerId After(std::int64_t delayMs, Task task) override { return Start(delayMs, true, std::move(task)); }
    TimerId Every(std::int64_t periodMs, Task task) override { return Start(periodMs, false, std::move(task)); }
    void Cancel(TimerId id) override
    {
        const auto it = timers_.find(id);
        if (it == timers_.end()) return;
        it->second->stop();
        // Later: the task running now may be the one cancelled.
        it->second.release()->deleteLater();
        timers_.erase(it);
    }

private:
    TimerId Start(std::int64_t ms, bool once, Task task)
    {
        const TimerId id = ++lastId_;
        auto timer = std::make_unique<QTimer>();
        timer->setSingleShot(once);
        QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, id, once, task = std::move(task)] {
            const Task run = task;
            if (once) Cancel(id);
            run();
        });
        timer->start(static_cast<int>(ms));
        timers_.emplace(id, std::move(timer));
        return id;
    }

    std::map<TimerId, std::unique_ptr<QTimer>> timers_;
    TimerId lastId_ = 0;
};

} // namespace tolvane
