// What the compensation dialog's guide shows beside the specified bars,
// apart from its drawing: where each sector lies on the compass, how full
// it is, what the driver is told, and the time since the run started.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tolvane {

// A DMCAL report's Bins, in its order: counter-clockwise from the sector
// between NW and N.
using SectorBins = std::array<int, 8>;

// A bin's value at which its sector counts as collected.
inline constexpr int kSectorFull = 16;

struct SectorArc {
    double fromDegrees; // clockwise from north
    double toDegrees;   // fromDegrees + 45
    const char* name;   // "N to NE", as the bars are named
};

SectorArc SectorOfBin(int bin);
// The bin whose sector holds `heading` (degrees, any turn).
int BinAtHeading(double heading);
// 0 to 1.
double SectorFill(int value);

// "Drive a slow full circle; keep the vehicle level.", then what is still
// missing, what to do once all is collected, or that the run is over.
std::string GuideInstruction(const SectorBins& bins, bool finished);
// "Elapsed 0:07", "Elapsed 12:34".
std::string ElapsedText(std::int64_t ms);
// For screen readers: each sector's fill and the heading, if known.
std::string CoverageDescription(const SectorBins& bins, double heading);

} // namespace tolvane
