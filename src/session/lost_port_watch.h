// The watch for a port whose device went away (a USB adapter pulled out, a
// network connection dropped): it says when to try the port again, and
// ends once the port has been back for a while, when another port is
// opened, or when the program closes. Plain C++ with the time passed in,
// so it is tested without a clock or a window.
#pragma once

#include <cstdint>

namespace tolvane {

class LostPortWatch {
public:
    // How long after a failed try the port is tried again.
    static constexpr std::int64_t kRetryMs = 1000;
    // A network port's tries back off, doubling up to this.
    static constexpr std::int64_t kLongestRetryMs = 10000;
    // How long a reopened port must stay up to count as back: a server
    // that closes each connection at once has not recovered.
    static constexpr std::int64_t kSettleMs = 1000;

    // The open port's reader ended: watch `port` from `nowMs` on; the first
    // try comes kRetryMs later, and with `backOff` each next one twice as
    // late as the last, up to kLongestRetryMs. True when the loss is news;
    // false when the port had been reopened less than kSettleMs before: it
    // was never back, and the tries go on as after a failed one.
    bool PortLost(int port, std::int64_t nowMs, bool backOff = false);
    // The port to try to open at `nowMs`, or -1 when no try is due (none
    // watched, paused, too early, or reopened and settling).
    int PortToTry(std::int64_t nowMs) const;
    // The outcome of the try PortToTry asked for: opened starts the port's
    // kSettleMs; otherwise the next try comes after the retry time.
    void Tried(bool opened, std::int64_t nowMs);
    // True once, when a reopened port has stayed up for kSettleMs: it is
    // back and the watch ends.
    bool Recovered(std::int64_t nowMs);
    // The COM port dialog owns the port while it runs; the watch waits.
    void SetPaused(bool paused) { paused_ = paused; }
    // A port opened some other way, or the program closing: the watch ends.
    void End() { port_ = -1; }

    // The port watched for, or -1.
    int LostPort() const { return port_; }

private:
    int port_ = -1;
    std::int64_t nextTry_ = 0; // or, once reopened, the end of its settling
    std::int64_t retryMs_ = kRetryMs;
    bool backOff_ = false;
    bool reopened_ = false;
    bool paused_ = false;
};

} // namespace tolvane
