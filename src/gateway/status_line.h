// The gateway's status lines: one JSON object per line on standard
// output, for each module at every change of its state and at the status
// interval, its keys always the same and in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/messages.h"

namespace tolvane {

enum class ModuleState : std::uint8_t { Opening, Open, Lost, Closed };

struct GatewayModuleStatus {
    std::string module; // the module's name
    ModuleState state = ModuleState::Opening;
    std::string port;                          // the source as configured
    const ModuleIdentity* identity = nullptr;  // null until the module has said who it is
    std::uint64_t messages = 0;                // valid messages since the port opened
    double rate = 0;                           // messages a second lately
    std::uint64_t dropped = 0;
    std::uint64_t checksumErrors = 0;
    std::size_t clients = 0;                   // NMEA clients on TCP
    std::string log;                           // the file being written; empty: none
    std::string capture;
};

// "opening", "open", "lost", "closed".
const char* StateName(ModuleState state);

// `text` as a JSON string with its quotes. Bytes that are not UTF-8 (a
// device path may hold any) become U+FFFD, so the line stays valid JSON.
void AppendJsonString(std::string_view text, std::string& out);

// {"module":...,"capture":...} and a line end. The serial number and
// version are null until the identity is known, the log and capture null
// when not recording.
std::string ModuleStatusLine(const GatewayModuleStatus& status);

} // namespace tolvane
