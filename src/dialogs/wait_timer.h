// The wait a dialog keeps for the module's reply to what it sent. The
// dialog starts it with each request and stops it when the reply comes;
// when it runs out, it calls what the dialog gave it. The dialogs use a
// Qt timer unless they are given another (tests give one they run out
// themselves).
#pragma once

#include <QTimer>

#include <functional>
#include <utility>

namespace tolvane {

class WaitTimer {
public:
    virtual ~WaitTimer() = default;
    // Calls `expired` once, `ms` after now, unless stopped or started anew before.
    virtual void Start(int ms, std::function<void()> expired) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};

class QtWaitTimer : public WaitTimer {
public:
    explicit QtWaitTimer(Qt::TimerType type = Qt::CoarseTimer)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(type);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            // A copy: what it calls may start the wait anew.
            const std::function<void()> expired = expired_;
            if (expired) expired();
        });
    }
    void Start(int ms, std::function<void()> expired) override
    {
        expired_ = std::move(expired);
        timer_.start(ms);
    }
    void Stop() override { timer_.stop(); }
    bool Active() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> expired_;
};

} // namespace tolvane
