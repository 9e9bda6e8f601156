// Conversions between degrees and the module's 16-bit binary angle, in
// which 32768 counts are 180 degrees.
#pragma once

#include <cstdint>

namespace tolvane {

// The scale, from which every conversion below follows.
inline constexpr double kCountsPerHalfTurn = 32768;
// Exactly 180/32768 (a power of two apart from 180, so nothing is rounded).
inline constexpr double kDegreesPerCount = 180 / kCountsPerHalfTurn;
// The single-precision value of 32768/180, as the module's own firmware
// and every earlier host use it; changing it would move sent values by a count.
inline constexpr double kCountsPerDegree = static_cast<float>(kCountsPerHalfTurn / 180);
static_assert(kDegreesPerCount == 0.0054931640625 && kCountsPerDegree == 182.04444885253906);

// Signed angle: roll, pitch, offsets, declination (-180 .. just under 180).
inline double SignedAngleDegrees(std::int16_t counts) { return counts * kDegreesPerCount; }
// Unsigned angle: azimuth and heading (0 .. just under 360).
inline double UnsignedAngleDegrees(std::uint16_t counts) { return counts * kDegreesPerCount; }

// Degrees to counts: the single-precision value times kCountsPerDegree in
// double precision, truncated toward zero, keeping the low 16 bits (so
// +180 wraps to -32768). Values too large for any integer type and NaN are
// reduced the same way without undefined behaviour (NaN gives 0).
std::int16_t DegreesToCounts(float degrees);

// Degrees to the nearest count, keeping the low 16 bits: how the simulated
// module turns the angles it works out into counts. (The host truncates,
// see DegreesToCounts.) Meant for degrees within a turn or two of zero.
std::uint16_t NearestCounts(double degrees);

// The "%.1f" text of an angle in degrees, as std::snprintf writes it. Every
// count has its text made once, by std::snprintf itself, on first use:
// orientation lines arrive dozens of times a second with three angles each,
// and a float conversion costs far more than the rest of the line.
const char* SignedAngleText(std::int16_t counts);
const char* UnsignedAngleText(std::uint16_t counts);

} // namespace tolvane
