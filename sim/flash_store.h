// The module's flash memory: the start-up defaults the working values are
// loaded from at power-up. Kept in a file when one is named, so a restart
// of the simulator finds what an earlier run stored.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane::sim {

struct FlashValues {
    std::int16_t declination = 0; // binary-angle counts
    std::int16_t bodyOffset = 0;
    std::int16_t pitchOffset = 0;
    std::int16_t rollOffset = 0;
    std::int16_t interval = 100; // orientation message interval, ms
};

class FlashStore {
public:
    // An empty path keeps the values in memory only. A missing file starts
    // from the factory values; an unreadable one is an error.
    bool Open(const std::string& path, std::string& error);
    const FlashValues& Values() const { return values_; }
    // Stores and, with a file, writes it whole (a temporary then a rename).
    bool Store(const FlashValues& values);

private:
    std::string path_;
    FlashValues values_;
};

} // namespace tolvane::sim
