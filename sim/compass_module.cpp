#include "compass_module.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "protocol/angles.h"

namespace tolvane::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSlowTurn = 3.0;               // degrees per second
constexpr double kSweep = 360.0 / (CompassModule::kCollectMs / 1000.0);
constexpr double kBinRate = 7.0;                // counts per second in a sector: full before the heading leaves it
constexpr std::uint8_t kFullBin = 16;

std::int16_t Counts(double degrees)
{
    double wrapped = std::fmod(degrees, 360.0);
    if (wrapped >= 180) wrapped -= 360;
    if (wrapped < -180) wrapped += 360;
    using Limits = std::numeric_limits<std::int16_t>;
    const long counts = std::lround(wrapped / kDegreesPerCount);
    return static_cast<std::int16_t>(std::clamp<long>(counts, Limits::min(), Limits::max()));
}

double Radians(double degrees) { return degrees * kPi / 180; }
double Degrees(double radians) { return radians * 180 / kPi; }

} // namespace

int SectorBin(double headingDegrees)
{
    double h = std::fmod(headingDegrees, 360.0);
    if (h < 0) h += 360;
    const int sector = std::min(7, static_cast<int>(h / 45)); // 0 is N to NE
    return 7 - sector;
}

double DipoleDeclination(double latitude, double longitude, double decimalYear)
{
    // Geomagnetic north pole (IGRF dipole) in 2020 and 2025.
    const double t = (decimalYear - 2020.0) / 5.0;
    const double poleLat = 80.65 + (80.80 - 80.65) * t;
    const double poleLon = -72.68 + (-72.76 + 72.68) * t;
    const double phi = Radians(latitude), phiP = Radians(poleLat);
    const double dLon = Radians(poleLon - longitude);
    // The horizontal field of a dipole points along the great circle to its pole.
    const double y = std::sin(dLon) * std::cos(phiP);
    const double x = std::cos(phi) * std::sin(phiP) - std::sin(phi) * std::cos(phiP) * std::cos(dLon);
    return Degrees(std::atan2(y, x));
}

CompassModule::CompassModule(const SimOptions& options, FlashStore& flash) : options_(options), flash_(flash)
{
    PowerUp();
}

void CompassModule::PowerUp()
{
    const FlashValues& f = flash_.Values();
    working_.bodyOffset = f.bodyOffset;
    working_.rollOffset = f.rollOffset;
    working_.pitchOffset = f.pitchOffset;
    working_.declination = f.declination;
    working_.interval = f.interval;
}

void CompassModule::Reset(std::int64_t nowMs)
{
    powerUpAt_ = nowMs + kPowerUpDelayMs;
    if (CompensationRunning()) phase_ = Phase::Off;
}

bool CompassModule::TakePowerUp(std::int64_t nowMs)
{
    if (powerUpAt_ < 0 || nowMs < powerUpAt_) return false;
    powerUpAt_ = -1;
    PowerUp();
    return true;
}

void CompassModule::Advance(std::int64_t nowMs)
{
    // Small steps, so each sector's bin sees the time the heading spent in it.
    while (lastMs_ < nowMs) {
        const std::int64_t step = std::min<std::int64_t>(nowMs - lastMs_, 10);
        const double dt = static_cast<double>(step) / 1000.0;
        lastMs_ += step;
        seconds_ += dt;
        const bool sweeping = phase_ == Phase::Collecting;
        heading_ = std::fmod(heading_ + (sweeping ? kSweep : kSlowTurn) * dt, 360.0);

        if (phase_ == Phase::Collecting) {
            double& bin = collected_[static_cast<std::size_t>(SectorBin(heading_))];
            bin = std::min<double>(kFullBin, bin + kBinRate * dt);
            if (lastMs_ - phaseStart_ >= kCollectMs) {
                phase_ = Phase::Computing;
                phaseStart_ = lastMs_;
            }
        } else if (phase_ == Phase::Computing && lastMs_ - phaseStart_ >= kComputeMs) {
            phase_ = Phase::Done;
            resultPending_ = true;
            parameters_ =
                CompensationParameters{.n = 128, .a = 312, .b = -147, .c = 55, .f0 = 1021, .f1 = -7, .rms = 12};
        }
    }
}

Orientation CompassModule::Report() const
{
    const double roll = 6 * std::sin(2 * kPi * seconds_ / 5) + SignedAngleDegrees(working_.rollOffset);
    const double pitch = 4 * std::sin(2 * kPi * seconds_ / 7) + SignedAngleDegrees(working_.pitchOffset);
    double azimuth = heading_ + (working_.bodyOffset + working_.declination) * kDegreesPerCount;
    azimuth = std::fmod(azimuth, 360.0);
    if (azimuth < 0) azimuth += 360;
    Orientation o;
    o.roll = Counts(roll);
    o.pitch = Counts(pitch);
    o.azimuth = NearestCounts(azimuth);
    return o;
}

void CompassModule::StartCompensation(std::int64_t nowMs)
{
    Advance(nowMs);
    phase_ = Phase::Collecting;
    phaseStart_ = nowMs;
    collected_.fill(0);
    resultPending_ = false;
}

void CompassModule::AbortCompensation()
{
    if (CompensationRunning()) phase_ = Phase::Aborted;
    resultPending_ = false;
}

void CompassModule::RevertCompensation()
{
    AbortCompensation();
    phase_ = Phase::Off;
    collected_.fill(0);
    parameters_ = CompensationParameters{};
}

CompensationParameters CompassModule::Parameters() const
{
    CompensationParameters p = parameters_;
    p.declination = working_.declination;
    return p;
}

CompensationReport CompassModule::Compensation() const
{
    CompensationReport r;
    switch (phase_) {
    case Phase::Off: r.state = 0; break;
    case Phase::Collecting: r.state = 1; break;
    case Phase::Computing: r.state = 2; break;
    case Phase::Done: r.state = 0; break;
    case Phase::Aborted: r.state = 3; break;
    }
    for (std::size_t i = 0; i < 8; ++i) r.bins[i] = static_cast<std::uint8_t>(collected_[i]);
    if (phase_ == Phase::Computing)
        r.completion =
            static_cast<std::uint8_t>(std::min<std::int64_t>(100, (lastMs_ - phaseStart_) * 100 / kComputeMs));
    if (phase_ == Phase::Done) {
        r.completion = 100;
        r.status = 1;
        r.quality = 87;
    }
    return r;
}

bool CompassModule::TakeCompensationResult()
{
    return std::exchange(resultPending_, false);
}

} // namespace tolvane::sim
