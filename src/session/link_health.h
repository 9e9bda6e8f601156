// The link's health as the status bar's last pane tells it, from the
// link's counters read once a second. Plain C++ with the time passed in.
#pragma once

#include <cstdint>
#include <string>

#include "link/device_link.h"

namespace tolvane {

struct HealthReport {
    std::string pane;    // "9600 baud, 12 msg/s", "No data for 5 s", ...
    std::string tooltip; // the counts since the port opened
    // The first time messages were dropped since the port opened, the line
    // the message view adds; empty otherwise.
    std::string viewLine;
    // While nothing valid arrives (silence or garble), what the plot is
    // veiled under, as when the port is lost; empty otherwise.
    std::string veil;
    // Valid messages a second since the last report (0 while closed or lost).
    double rate = 0;
};

// Appears in the pane while bytes arrive that make no frame.
inline constexpr const char* kGarbledText = "Garbled: check the baud rate (Compass > Baud Rate > Detect)";

class LinkHealth {
public:
    // Silence longer than this, open, is "No data".
    static constexpr std::int64_t kNoDataMs = 3000;
    // Bytes without a valid message for this long are "Garbled".
    static constexpr std::int64_t kGarbledMs = 2000;

    // The port opened (or reopened at a new rate) at `nowMs`.
    void Opened(int baud, std::int64_t nowMs);
    void Closed()
    {
        open_ = false;
        portOpenedMs_ = -1;
        lostMs_ = -1;
    }
    // The port went away at `nowMs` and is watched for: until it opens
    // again the pane tells for how long.
    void Lost(std::int64_t nowMs)
    {
        Closed();
        lostMs_ = nowMs;
    }
    bool IsOpen() const { return open_; }
    int Baud() const { return baud_; }

    // The report at `nowMs` (the link's clock) from the counters read then.
    // A port opened anew (its open time changed, or its counters went back)
    // starts the count again from its open.
    HealthReport Update(const LinkCounters& counters, std::int64_t nowMs);

private:
    bool open_ = false;
    int baud_ = 0;
    std::int64_t openedMs_ = 0;
    std::int64_t portOpenedMs_ = -1; // the counters' open time last seen
    // The last update's figures, for the rate and for bytes that came since.
    std::int64_t lastUpdateMs_ = 0;
    std::uint64_t lastValid_ = 0;
    std::uint64_t lastBytes_ = 0;
    std::int64_t lastByteMs_ = -1; // when bytes were last seen to arrive
    bool dropReported_ = false;
    std::int64_t lostMs_ = -1;
};

} // namespace tolvane
