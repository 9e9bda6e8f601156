// The simulated module's state and physics: its working values, the motion
// it reports, its compensation run and its declination model. Time is
// passed in (milliseconds since the simulator started), so tests step it.
#pragma once

#include <array>
#include <cstdint>

#include "flash_store.h"
#include "protocol/messages.h"
#include "sim_options.h"

namespace tolvane::sim {

struct WorkingValues {
    std::int16_t bodyOffset = 0; // binary-angle counts
    std::int16_t rollOffset = 0;
    std::int16_t pitchOffset = 0;
    std::int16_t declination = 0;
    std::int16_t interval = 100; // ms between orientation messages; 0 none
};

class CompassModule {
public:
    // Collection takes this long while the heading sweeps once round.
    static constexpr std::int64_t kCollectMs = 20000;
    static constexpr std::int64_t kComputeMs = 3000;
    static constexpr std::int64_t kPowerUpDelayMs = 500;

    CompassModule(const SimOptions& options, FlashStore& flash);

    // Moves the simulated vehicle and the compensation run on to `nowMs`.
    void Advance(std::int64_t nowMs);

    WorkingValues& Working() { return working_; }
    const SimOptions& Options() const { return options_; }
    FlashStore& Flash() { return flash_; }

    // Working values start again from flash, as at power-up.
    void PowerUp();
    // A reset request: silent now, powered up again kPowerUpDelayMs later.
    void Reset(std::int64_t nowMs);
    // True once, when a scheduled power-up has happened by `nowMs`.
    bool TakePowerUp(std::int64_t nowMs);
    // Between a reset and its power-up the module neither sends nor answers.
    bool Restarting() const { return powerUpAt_ >= 0; }

    // The magnetic heading of the vehicle, degrees 0..360.
    double Heading() const { return heading_; }
    // As reported: offsets and declination applied.
    Orientation Report() const;

    void StartCompensation(std::int64_t nowMs);
    void AbortCompensation();
    void RevertCompensation();
    bool CompensationRunning() const { return phase_ == Phase::Collecting || phase_ == Phase::Computing; }
    CompensationReport Compensation() const;
    // True once, when a run has just reached its result.
    bool TakeCompensationResult();
    // The coefficients of the last run; their declination is the working one.
    CompensationParameters Parameters() const;

private:
    enum class Phase { Off, Collecting, Computing, Done, Aborted };

    const SimOptions& options_;
    FlashStore& flash_;
    WorkingValues working_;

    std::int64_t lastMs_ = 0;
    double seconds_ = 0;
    double heading_ = 30.0;

    std::int64_t powerUpAt_ = -1;

    Phase phase_ = Phase::Off;
    std::int64_t phaseStart_ = 0;
    std::array<double, 8> collected_{};
    bool resultPending_ = false;
    CompensationParameters parameters_;
};

// Index of the 45-degree sector a heading lies in, as the bins are ordered:
// 0 is NW to N, then westward round to 7, N to NE.
int SectorBin(double headingDegrees);

// Declination in degrees (east positive) from a tilted dipole whose north
// pole drifts along a straight line through its 2020 and 2025 positions.
// Altitude does not change a dipole's direction.
double DipoleDeclination(double latitude, double longitude, double decimalYear);

} // namespace tolvane::sim
