#include "session/link_health.h"

#include <cmath>

namespace tolvane {

void LinkHealth::Opened(int baud, std::int64_t nowMs)
{
    open_ = true;
    baud_ = baud;
    openedMs_ = nowMs;
    lastUpdateMs_ = nowMs;
    lastValid_ = 0;
    lastBytes_ = 0;
    lastByteMs_ = -1;
    dropReported_ = false;
}

HealthReport LinkHealth::Update(const LinkCounters& c, std::int64_t nowMs)
{
    HealthReport report;
    if (!open_) {
        if (lostMs_ >= 0) report.pane = "Lost for " + std::to_string((nowMs - lostMs_) / 1000) + " s, trying to reopen";
        return report;
    }
    // The health is told of an open on its next update, up to a second late:
    // silence counts from the link's own open time where it gives one.
    if (c.openedMs != -1 && c.openedMs != portOpenedMs_) {
        portOpenedMs_ = c.openedMs;
        Opened(baud_, c.openedMs);
    } else if (c.Valid() < lastValid_ || c.bytes < lastBytes_) {
        Opened(baud_, lastUpdateMs_);
    }

    // Since the last valid message, or since the port opened when none came.
    const std::int64_t sinceOpen = nowMs - openedMs_;
    const std::int64_t silentMs =
        c.lastValidMs == -1 ? sinceOpen : std::min<std::int64_t>(sinceOpen, nowMs - c.lastValidMs);
    if (c.bytes != lastBytes_) lastByteMs_ = nowMs;

    const std::int64_t elapsed = nowMs - lastUpdateMs_;
    const double rate =
        elapsed > 0 ? static_cast<double>(c.Valid() - lastValid_) * 1000.0 / static_cast<double>(elapsed) : 0;
    report.rate = rate;
    lastUpdateMs_ = nowMs;
    lastValid_ = c.Valid();
    lastBytes_ = c.bytes;

    const bool bytesComing = lastByteMs_ != -1 && nowMs - lastByteMs_ < kGarbledMs;
    if (silentMs >= kGarbledMs && bytesComing) {
        report.pane = report.veil = kGarbledText;
    } else if (silentMs >= kNoDataMs) {
        report.pane = report.veil = "No data for " + std::to_string(silentMs / 1000) + " s";
    } else {
        report.pane = std::to_string(baud_) + " baud, " + std::to_string(std::lround(rate)) + " msg/s";
    }
    if (c.dropped > 0) {
        report.pane += ", " + std::to_string(c.dropped) + " dropped";
        if (!dropReported_)
            report.viewLine = " " + std::to_string(c.dropped) + " messages dropped: the link's queue was full ";
        dropReported_ = true;
    }

    report.tooltip = "Since the port opened: " + std::to_string(c.bytes) + " bytes, " + std::to_string(c.frames) +
                     " good frames, " + std::to_string(c.checksumFailures) + " checksum failures, " +
                     std::to_string(c.resyncs) + " resynchronisations, NMEA sentences " +
                     std::to_string(c.nmeaGood) + " good and " + std::to_string(c.nmeaBad) + " bad, " +
                     std::to_string(c.dropped) + " dropped. ";
    if (c.lastValidMs == -1) {
        report.tooltip += "No valid message yet.";
    } else {
        const std::int64_t ago = nowMs - c.lastValidMs;
        report.tooltip += "Last valid message " + std::to_string(ago / 1000) + "." + std::to_string(ago % 1000 / 100) +
                          " s ago.";
    }
    return report;
}

} // namespace tolvane
