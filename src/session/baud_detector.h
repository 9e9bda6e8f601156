// Compass > Baud Rate > Detect, apart from its widgets and timers: which
// rate to try next, how long to listen at each, and when to stop. The
// caller reopens the port at each rate it is told, empties the input and
// asks for the serial number; a good frame or sentence at that rate ends
// the search. Plain C++ with the time passed in.
#pragma once

#include <cstdint>
#include <vector>

namespace tolvane {

inline constexpr const char* kNoCompassAnswered =
    "No compass answered at 4800, 9600, 19200 or 38400 baud.\n"
    "Check the cable, the COM port and the module's power.";

class BaudDetector {
public:
    // Long enough for the serial number reply, or for two orientation
    // messages at the module's slowest usual interval.
    static constexpr std::int64_t kListenMs = 1500;

    enum class Step {
        TryRate, // reopen at Rate(), empty the input, send the request
        Listen,  // keep listening
        Found,   // Rate() answered
        NoneAnswered,
    };

    // The current rate first, then 9600, 19200, 38400 and 4800.
    explicit BaudDetector(int currentBaud);

    // Called at the start and then often: `validSinceTry` counts the good
    // frames and sentences received since the port was reopened at Rate().
    Step Advance(std::uint64_t validSinceTry, std::int64_t nowMs);

    int Rate() const { return index_ < rates_.size() ? rates_[index_] : 0; }
    // How many rates have been tried, this one included.
    int Tried() const { return static_cast<int>(index_) + (started_ ? 1 : 0); }
    const std::vector<int>& Rates() const { return rates_; }

private:
    std::vector<int> rates_;
    std::size_t index_ = 0;
    bool started_ = false;
    std::int64_t triedAtMs_ = 0;
};

} // namespace tolvane
