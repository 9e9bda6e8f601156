// --record: one JSON line per request received, for tests to read back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "link/device_message.h"

namespace tolvane::sim {

class Recorder {
public:
    ~Recorder();
    bool Open(const std::string& path, std::string& error);
    // {"time_ms":1234,"type":80,"payload":"00b801"}, flushed at once.
    void Record(std::int64_t timeMs, const DeviceMessage& request);
    static std::string Line(std::int64_t timeMs, const DeviceMessage& request);

private:
    std::FILE* file_ = nullptr;
};

} // namespace tolvane::sim
