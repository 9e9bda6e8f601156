#include "session/lost_port_watch.h"

namespace tolvane {

bool LostPortWatch::PortLost(int port, std::int64_t nowMs, bool backOff)
{
    if (port == port_ && reopened_ && nowMs < nextTry_) {
        Tried(false, nowMs);
        return false;
    }
    port_ = port;
    backOff_ = backOff;
    reopened_ = false;
    retryMs_ = kRetryMs;
    nextTry_ = nowMs + kRetryMs;
    return true;
}

int LostPortWatch::PortToTry(std::int64_t nowMs) const
{
    return port_ != -1 && !paused_ && nowMs >= nextTry_ ? port_ : -1;
}

void LostPortWatch::Tried(bool opened, std::int64_t nowMs)
{
    reopened_ = opened;
    if (opened) {
        nextTry_ = nowMs + kSettleMs;
        return;
    }
    if (backOff_) retryMs_ = retryMs_ * 2 > kLongestRetryMs ? kLongestRetryMs : retryMs_ * 2;
    nextTry_ = nowMs + retryMs_;
}

bool LostPortWatch::Recovered(std::int64_t nowMs)
{
    if (port_ == -1 || !reopened_ || nowMs < nextTry_) return false;
    port_ = -1;
    reopened_ = false;
    return true;
}

} // namespace tolvane
