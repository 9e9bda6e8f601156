#include "instruments/instrument_math.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tolvane::instruments {

double ArcAngle(const Arc& arc, double value)
{
    const double range = arc.max - arc.min;
    if (std::isnan(value) || !(range > 0.0))
        return -arc.spanDegrees / 2.0;
    const double v = std::clamp(value, arc.min, arc.max);
    return -arc.spanDegrees / 2.0 + (v - arc.min) / range * arc.spanDegrees;
}

std::vector<double> MajorTicks(double min, double max, int majorCount)
{
    std::vector<double> ticks;
    if (majorCount <= 0)
        return ticks;
    if (majorCount == 1)
        return {min};
    ticks.reserve(majorCount);
    const double step = (max - min) / (majorCount - 1);
    for (int i = 0; i < majorCount - 1; ++i)
        ticks.push_back(min + i * step);
    ticks.push_back(max); // exactly, whatever the rounding of the steps
    return ticks;
}

std::vector<double> MinorTicks(double min, double max, int majorCount, int minorCount)
{
    std::vector<double> ticks;
    const std::vector<double> majors = MajorTicks(min, max, majorCount);
    if (minorCount <= 0 || majors.size() < 2)
        return ticks;
    for (std::size_t i = 0; i + 1 < majors.size(); ++i) {
        const double step = (majors[i + 1] - majors[i]) / (minorCount + 1);
        for (int j = 1; j <= minorCount; ++j)
            ticks.push_back(majors[i] + j * step);
    }
    return ticks;
}

ScaleWindow FollowingWindow(double value, double span)
{
    const double centre = std::isfinite(value) ? std::clamp(value, -180.0, 180.0) : 0.0;
    return {centre - span / 2.0, centre + span / 2.0};
}

std::vector<ScaleTick> WindowTicks(const ScaleWindow& window, double minorStep, int minorsPerMid, int minorsPerMajor)
{
    std::vector<ScaleTick> ticks;
    const double span = window.high - window.low;
    if (!(span > 0.0) || !(minorStep > 0.0) || minorsPerMid <= 0 || minorsPerMajor <= 0)
        return ticks;
    // A tick on a window end belongs to the window despite rounding.
    constexpr double kSlack = 1e-9;
    const double first = std::ceil(window.low / minorStep - kSlack);
    const double last = std::floor(window.high / minorStep + kSlack);
    if (!(last >= first) || last - first > 100000.0)
        return ticks;
    for (auto k = static_cast<long long>(first); k <= static_cast<long long>(last); ++k) {
        const double value = static_cast<double>(k) * minorStep;
        const TickKind kind = k % minorsPerMajor == 0 ? TickKind::kMajor
                              : k % minorsPerMid == 0 ? TickKind::kMid
                                                      : TickKind::kMinor;
        ticks.push_back({value, kind, std::clamp((value - window.low) / span, 0.0, 1.0)});
    }
    return ticks;
}

std::string TickLabel(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld", std::llround(value));
    return text;
}

double NormalizeHeading(double degrees)
{
    if (!std::isfinite(degrees))
        return 0.0;
    double h = std::fmod(degrees, 360.0);
    if (h < 0.0)
        h += 360.0;
    // A tiny negative heading adds up to exactly 360.
    return h >= 360.0 ? 0.0 : h;
}

double CardRotation(double heading)
{
    return -NormalizeHeading(heading);
}

const char* DirectionName(double heading)
{
    static const char* const kPoints[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    const auto sector = static_cast<int>(std::floor((NormalizeHeading(heading) + 22.5) / 45.0));
    return kPoints[sector % 8];
}

std::string CardLabel(int degrees)
{
    if (degrees < 0 || degrees >= 360 || degrees % 30 != 0)
        return {};
    switch (degrees) {
    case 0: return "N";
    case 90: return "E";
    case 180: return "S";
    case 270: return "W";
    default: return std::to_string(degrees / 10);
    }
}

double WholeDegrees(double degrees)
{
    return std::round(degrees) + 0.0; // adding 0 turns -0 into 0
}

double CardHeading(double heading)
{
    return WholeDegrees(NormalizeHeading(heading));
}

double ReadoutValue(double value, int digits)
{
    digits = std::clamp(digits, 1, 15);
    const double most = std::pow(10.0, digits) - 1.0;
    const double least = -(std::pow(10.0, digits - 1) - 1.0);
    const double rounded = WholeDegrees(value);
    return rounded > most || rounded < least ? std::numeric_limits<double>::quiet_NaN() : rounded;
}

std::string ReadoutText(double value, int digits)
{
    digits = std::clamp(digits, 1, 15);
    const double shown = ReadoutValue(value, digits);
    if (std::isnan(shown))
        return std::string(static_cast<std::size_t>(digits), '-');
    char text[32];
    std::snprintf(text, sizeof text, "%*lld", digits, static_cast<long long>(shown));
    return text;
}

std::uint8_t SegmentsOf(char c)
{
    //                                 gfedcba
    static constexpr std::uint8_t kDigits[] = {0b0111111, 0b0000110, 0b1011011, 0b1001111, 0b1100110,
                                               0b1101101, 0b1111101, 0b0000111, 0b1111111, 0b1101111};
    if (c >= '0' && c <= '9')
        return kDigits[c - '0'];
    return c == '-' ? 0b1000000 : 0;
}

Fit FitBox(double lw, double lh, double w, double h, bool keepAspect)
{
    if (!(lw > 0.0) || !(lh > 0.0))
        return {1.0, 1.0, 0.0, 0.0};
    if (!keepAspect)
        return {w / lw, h / lh, 0.0, 0.0};
    const double s = std::min(w / lw, h / lh);
    return {s, s, (w - lw * s) / 2.0, (h - lh * s) / 2.0};
}

} // namespace tolvane::instruments
