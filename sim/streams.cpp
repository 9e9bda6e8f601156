#include "streams.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "protocol/angles.h"

namespace tolvane::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::int64_t PeriodMs(double hz) { return hz > 0 ? std::max<std::int64_t>(1, std::llround(1000.0 / hz)) : -1; }

Outgoing Sentence(const std::string& text)
{
    unsigned x = 0;
    for (unsigned char c : text) x ^= c;
    char checksum[4];
    std::snprintf(checksum, sizeof checksum, "*%02X", x);
    const std::string whole = "$" + text + checksum + "\r\n";
    Outgoing o;
    o.type = static_cast<std::uint8_t>(kNmeaType);
    o.sentence = true;
    o.payload.assign(whole.begin(), whole.end());
    return o;
}

// UTC seconds since midnight, and the date, of the wall clock.
std::tm UtcNow(std::int32_t& secondsOfDay)
{
    const std::time_t t = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&t, &utc);
    secondsOfDay = utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec;
    return utc;
}

// The next due time after one sent at `nowMs`: the cadence is kept, but
// after a stall longer than a period it restarts from now rather than
// sending the missed messages back to back.
std::int64_t NextAfter(std::int64_t due, std::int64_t period, std::int64_t nowMs)
{
    due += period;
    return due > nowMs ? due : nowMs + period;
}

} // namespace

Streams::Streams(CompassModule& module, const Replier& replier) : module_(module), replier_(replier) {}

std::vector<Outgoing> Streams::Due(std::int64_t nowMs, bool lineReady)
{
    const SimOptions& options = module_.Options();
    module_.Advance(nowMs);
    std::vector<Outgoing> out;

    if (!announced_ || module_.TakePowerUp(nowMs)) {
        announced_ = true;
        out.push_back(replier_.PowerUpMessage());
        nextOrientation_ = nowMs;
    }
    if (module_.Restarting()) return out;

    if (options.burst) {
        if (lineReady && out.empty()) {
            Orientation o = module_.Report();
            o.azimuth = sequence_++;
            out.push_back(OrientationMessage(o));
        }
    } else {
        const std::int16_t interval = module_.Working().interval;
        if (interval > 0 && nowMs >= nextOrientation_) {
            out.push_back(OrientationMessage(module_.Report()));
            nextOrientation_ = NextAfter(nextOrientation_, interval, nowMs);
        } else if (interval <= 0) {
            nextOrientation_ = nowMs;
        }
    }

    if (const std::int64_t period = PeriodMs(options.nmeaHz); period > 0 && nowMs >= nextNmea_) {
        out.push_back(HeadingSentence(true));
        out.push_back(HeadingSentence(false));
        nextNmea_ = NextAfter(nextNmea_, period, nowMs);
    }
    if (const std::int64_t period = PeriodMs(options.gpsHz); period > 0 && nowMs >= nextGps_) {
        out.push_back(Rmc(nowMs));
        out.push_back(Gpvt(nowMs));
        nextGps_ = NextAfter(nextGps_, period, nowMs);
    }

    if (module_.TakeCompensationResult()) {
        // A last progress report at 100 %, so the computation's bar is full
        // when the result comes: the result's own completion is not shown.
        CompensationReport full = module_.Compensation();
        full.state = 2;
        full.status = 0;
        full.quality = 0;
        out.push_back(Frame(full));
        out.push_back(replier_.CompensationMessage());
        nextProgress_ = -1;
    } else if (module_.CompensationRunning()) {
        if (nextProgress_ < 0) nextProgress_ = nowMs + kProgressMs;
        if (nowMs >= nextProgress_) {
            out.push_back(replier_.CompensationMessage());
            nextProgress_ = NextAfter(nextProgress_, kProgressMs, nowMs);
        }
    } else {
        nextProgress_ = -1;
    }
    return out;
}

std::int64_t Streams::NextDueMs() const
{
    const SimOptions& options = module_.Options();
    std::int64_t next = -1;
    auto consider = [&](std::int64_t at) {
        if (at >= 0 && (next < 0 || at < next)) next = at;
    };
    if (!options.burst && module_.Working().interval > 0) consider(nextOrientation_);
    if (options.nmeaHz > 0) consider(nextNmea_);
    if (options.gpsHz > 0) consider(nextGps_);
    consider(nextProgress_);
    return next;
}

Outgoing Streams::OrientationMessage(Orientation o) const
{
    if (module_.Options().rfu) {
        // Gravity and field as the tilted sensors would see them, roughly.
        const double roll = o.roll * kPi / kCountsPerHalfTurn, pitch = o.pitch * kPi / kCountsPerHalfTurn;
        const double heading = module_.Heading() * kPi / 180;
        const auto counts = [](double v) { return static_cast<std::int16_t>(std::lround(v)); };
        o.hasRfu = true;
        o.rfuAcc = {counts(-1000 * std::sin(pitch)), counts(1000 * std::sin(roll)),
                    counts(1000 * std::cos(roll) * std::cos(pitch))};
        o.rfuMag = {counts(480 * std::cos(heading)), counts(-480 * std::sin(heading)), -320};
    }
    return Frame(o);
}

Outgoing Streams::HeadingSentence(bool magnetic) const
{
    const WorkingValues& w = module_.Working();
    double heading = std::fmod(module_.Heading() + SignedAngleDegrees(w.bodyOffset) + 360.0, 360.0);
    char text[64];
    if (magnetic) {
        const double variation = SignedAngleDegrees(w.declination);
        std::snprintf(text, sizeof text, "HCHDG,%.1f,,,%.1f,%c", heading, std::fabs(variation),
                      variation < 0 ? 'W' : 'E');
    } else {
        heading = std::fmod(heading + SignedAngleDegrees(w.declination) + 360.0, 360.0);
        std::snprintf(text, sizeof text, "HCHDT,%.1f,T", heading);
    }
    return Sentence(text);
}

Outgoing Streams::Rmc(std::int64_t) const
{
    const SimOptions& o = module_.Options();
    Fix fix;
    const std::tm utc = UtcNow(fix.utcSeconds);
    fix.status = 'A';
    fix.latitude = static_cast<float>(o.latitude);
    fix.longitude = static_cast<float>(o.longitude);
    fix.epe = 5;
    fix.azimuth = module_.Report().azimuth;
    fix.day = static_cast<std::uint8_t>(utc.tm_mday);
    fix.month = static_cast<std::uint8_t>(utc.tm_mon + 1);
    fix.year = static_cast<std::uint8_t>(utc.tm_year % 100);
    return Frame(fix);
}

Outgoing Streams::Gpvt(std::int64_t) const
{
    const SimOptions& o = module_.Options();
    GpsFix fix;
    UtcNow(fix.utcSeconds);
    fix.quality = 2;
    fix.latitude = static_cast<float>(o.latitude);
    fix.longitude = static_cast<float>(o.longitude);
    fix.epe = 5;
    fix.hdopTenths = 12;
    fix.satellites = 9;
    fix.altitude = 56;
    return Frame(fix);
}

} // namespace tolvane::sim
