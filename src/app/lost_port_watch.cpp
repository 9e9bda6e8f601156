#include "app/lost_port_watch.h"

namespace tolvane {

void LostPortWatch::PortLost(int port, std::int64_t nowMs)
{
    port_ = port;
    nextTry_ = nowMs + kRetryMs;
}

int LostPortWatch::PortToTry(std::int64_t nowMs) const
{
    return port_ != -1 && !paused_ && nowMs >= nextTry_ ? port_ : -1;
}

void LostPortWatch::Tried(bool opened, std::int64_t nowMs)
{
    if (opened)
        port_ = -1;
    else
        nextTry_ = nowMs + kRetryMs;
}

} // namespace tolvane
