#include "gateway/event_loop.h"

#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>

namespace tolvane {

std::int64_t MonotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

EventLoop::EventLoop(LoopClock clock) : clock_(std::move(clock)) {}

EventLoop::~EventLoop()
{
    if (signalFd_ >= 0) ::close(signalFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool EventLoop::WatchSignals(Task reopen, std::string& error)
{
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    // Blocked, they wait for the descriptor instead of ending the process.
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0 ||
        (signalFd_ = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC)) < 0) {
        error = std::string("cannot watch for signals: ") + std::strerror(errno);
        return false;
    }
    reopen_ = std::move(reopen);
    return true;
}

bool EventLoop::SetWakeTask(Task task, std::string& error)
{
    if (wakeFd_ < 0 && (wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) < 0) {
        error = std::string("cannot make a wake-up descriptor: ") + std::strerror(errno);
        return false;
    }
    wakeTask_ = std::move(task);
    return true;
}

void EventLoop::Wake()
{
    // One write until the loop takes it: a pass of the terminals' reader
    // wakes many modules sharing a loop, and the loop needs one.
    if (wakeFd_ < 0 || wakePending_.exchange(true)) return;
    const std::uint64_t one = 1;
    // Only a full counter refuses, and then a wake is pending anyway.
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

EventLoop::TimerId EventLoop::At(std::int64_t dueMs, Task task)
{
    const TimerId id = nextId_++;
    timers_.emplace(id, Timer{dueMs, 0, std::move(task)});
    queue_.emplace(dueMs, id);
    return id;
}

EventLoop::TimerId EventLoop::Every(std::int64_t periodMs, Task task)
{
    const TimerId id = After(std::max<std::int64_t>(periodMs, 1), std::move(task));
    timers_.at(id).periodMs = std::max<std::int64_t>(periodMs, 1);
    return id;
}

void EventLoop::Cancel(TimerId id)
{
    const auto found = timers_.find(id);
    if (found == timers_.end()) return;
    queue_.erase({found->second.dueMs, id});
    timers_.erase(found);
}

void EventLoop::Remove(PollSource& source)
{
    sources_.erase(std::remove(sources_.begin(), sources_.end(), &source), sources_.end());
}

void EventLoop::RunOnce(int maxWaitMs)
{
    fds_.clear();
    if (signalFd_ >= 0) fds_.push_back({signalFd_, POLLIN, 0});
    if (wakeFd_ >= 0) fds_.push_back({wakeFd_, POLLIN, 0});
    const std::size_t own = fds_.size();
    // Which source each descriptor came from, to hand back its readiness.
    std::vector<std::pair<PollSource*, std::size_t>> ends;
    for (PollSource* source : sources_) {
        source->CollectFds(fds_);
        ends.emplace_back(source, fds_.size());
    }
    int timeout = maxWaitMs;
    if (!queue_.empty()) {
        const std::int64_t wait = std::clamp<std::int64_t>(queue_.begin()->first - clock_(), 0, INT_MAX);
        timeout = timeout < 0 ? static_cast<int>(wait) : std::min(timeout, static_cast<int>(wait));
    }
    if (::poll(fds_.data(), fds_.size(), timeout) > 0) {
        for (std::size_t i = 0; i < own; ++i) {
            if (!(fds_[i].revents & POLLIN)) continue;
            if (fds_[i].fd == signalFd_) {
                ReadSignals();
            } else {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
                // Cleared before the task: a wake from here on writes again.
                wakePending_ = false;
                if (wakeTask_) wakeTask_();
            }
        }
        std::size_t i = own;
        for (const auto& [source, end] : ends) {
            // A source removed by an earlier handler of this pass is skipped.
            const bool present = std::find(sources_.begin(), sources_.end(), source) != sources_.end();
            for (; i < end; ++i) {
                const short ready = fds_[i].revents;
                if (!present || ready == 0) continue;
                if (ready & (POLLIN | POLLHUP | POLLERR)) source->OnReadable(fds_[i].fd);
                if (ready & POLLOUT) source->OnWritable(fds_[i].fd);
            }
        }
    }
    RunDueTimers();
}

void EventLoop::ReadSignals()
{
    signalfd_siginfo info{};
    while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        const int signal = static_cast<int>(info.ssi_signo);
        if (signal == SIGHUP) {
            if (reopen_) reopen_();
        } else {
            stopping_ = true;
            stopSignal_ = signal;
        }
    }
}

void EventLoop::RunDueTimers()
{
    const std::int64_t now = clock_();
    // Those due now; any set by their tasks wait for the next pass.
    std::vector<TimerId> due;
    for (const auto& [dueMs, id] : queue_) {
        if (dueMs > now) break;
        due.push_back(id);
    }
    for (TimerId id : due) {
        const auto found = timers_.find(id);
        if (found == timers_.end()) continue; // cancelled by an earlier one
        Timer& timer = found->second;
        queue_.erase({timer.dueMs, id});
        Task task = timer.task;
        if (timer.periodMs > 0) {
            timer.dueMs += timer.periodMs;
            if (timer.dueMs <= now) timer.dueMs = now + timer.periodMs;
            queue_.emplace(timer.dueMs, id);
        } else {
            timers_.erase(found);
        }
        task();
    }
}

int EventLoop::Run()
{
    while (!stopping_) RunOnce(-1);
    return stopSignal_;
}

} // namespace tolvane
