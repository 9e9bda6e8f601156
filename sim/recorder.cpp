#include "recorder.h"

#include <cerrno>
#include <cstring>

namespace tolvane::sim {

Recorder::~Recorder()
{
    if (file_) std::fclose(file_);
}

bool Recorder::Open(const std::string& path, std::string& error)
{
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) error = "cannot write " + path + ": " + std::strerror(errno);
    return file_ != nullptr;
}

std::string Recorder::Line(std::int64_t timeMs, const DeviceMessage& request)
{
    char head[64];
    std::snprintf(head, sizeof head, "{\"time_ms\":%lld,\"type\":%u,\"payload\":\"", static_cast<long long>(timeMs),
                  static_cast<unsigned>(request.type));
    std::string line = head;
    for (std::size_t i = 0; i < request.length && i < kMaxReceivedPayload; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", request.payload[i]);
        line += hex;
    }
    return line + "\"}";
}

void Recorder::Record(std::int64_t timeMs, const DeviceMessage& request)
{
    if (!file_) return;
    std::fprintf(file_, "%s\n", Line(timeMs, request).c_str());
    std::fflush(file_);
}

} // namespace tolvane::sim
