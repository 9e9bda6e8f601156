#include "app/lost_port_watch.h"

namespace tolvane {

void LostPortWatch::PortLost(int port, std::int64_t nowMs, bool backOff)
{
    port_ = port;
    backOff_ = backOff;
    retryMs_ = kRetryMs;
    nextTry_ = nowMs + kRetryMs;
}

int LostPortWatch::PortToTry(std::int64_t nowMs) const
{
    return port_ != -1 && !paused_ && nowMs >= nextTry_ ? port_ : -1;
}

void LostPortWatch::Tried(bool opened, std::int64_t nowMs)
{
    if (opened) {
        port_ = -1;
        return;
    }
    if (backOff_) retryMs_ = retryMs_ * 2 > kLongestRetryMs ? kLongestRetryMs : retryMs_ * 2;
    nextTry_ = nowMs + retryMs_;
}

} // namespace tolvane
