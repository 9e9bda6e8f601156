#include "dialogs/compensation_guide.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tolvane {
namespace {

constexpr const char* kSectorNames[8] = {"NW to N", "W to NW", "SW to W", "S to SW",
                                         "SE to S", "E to SE", "NE to E", "N to NE"};

} // namespace

SectorArc SectorOfBin(int bin)
{
    bin = std::clamp(bin, 0, 7);
    const double from = 315.0 - 45.0 * bin;
    return {from, from + 45.0, kSectorNames[bin]};
}

int BinAtHeading(double heading)
{
    const double wrapped = std::fmod(std::fmod(heading, 360.0) + 360.0, 360.0);
    // Bin 7 starts at north and each next bin lies 45 degrees further back.
    return (7 - static_cast<int>(wrapped / 45.0) % 8 + 8) % 8;
}

double SectorFill(int value)
{
    return std::clamp(value, 0, kSectorFull) / static_cast<double>(kSectorFull);
}

std::string GuideInstruction(const SectorBins& bins, bool finished)
{
    if (finished) return "The run is over: see the result.";
    std::string missing;
    for (int bin = 7; bin >= 0; --bin) // clockwise from north, as one drives the circle
        if (bins[static_cast<std::size_t>(bin)] < kSectorFull)
            missing += (missing.empty() ? "" : ", ") + std::string(kSectorNames[bin]);
    if (missing.empty()) return "All sectors collected: keep driving level while the module computes.";
    return "Drive a slow full circle; keep the vehicle level. Still needed: " + missing + ".";
}

std::string ElapsedText(std::int64_t ms)
{
    const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "Elapsed %lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

std::string CoverageDescription(const SectorBins& bins, double heading)
{
    std::string text;
    for (int bin = 7; bin >= 0; --bin) {
        char part[48];
        std::snprintf(part, sizeof part, "%s%s %d%%", text.empty() ? "" : ", ", kSectorNames[bin],
                      static_cast<int>(std::lround(100 * SectorFill(bins[static_cast<std::size_t>(bin)]))));
        text += part;
    }
    if (!std::isnan(heading)) text += ". Heading " + std::to_string(std::lround(heading) % 360) + " degrees";
    return text + ".";
}

} // namespace tolvane
