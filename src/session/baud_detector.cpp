#include "session/baud_detector.h"

#include <algorithm>

namespace tolvane {

BaudDetector::BaudDetector(int currentBaud)
{
    rates_.push_back(currentBaud);
    for (int rate : {9600, 19200, 38400, 4800})
        if (std::find(rates_.begin(), rates_.end(), rate) == rates_.end()) rates_.push_back(rate);
}

BaudDetector::Step BaudDetector::Advance(std::uint64_t validSinceTry, std::int64_t nowMs)
{
    if (!started_) {
        started_ = true;
        triedAtMs_ = nowMs;
        return Step::TryRate;
    }
    if (index_ >= rates_.size()) return Step::NoneAnswered;
    if (validSinceTry > 0) return Step::Found;
    if (nowMs - triedAtMs_ < kListenMs) return Step::Listen;
    if (++index_ >= rates_.size()) return Step::NoneAnswered;
    triedAtMs_ = nowMs;
    return Step::TryRate;
}

} // namespace tolvane
