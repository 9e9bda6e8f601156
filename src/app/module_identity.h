// The compass's identity as its serial number reply gives it, and the
// window title and version pane texts made from it.
#pragma once

#include <cstdint>
#include <string>

#include "link/device_message.h"

namespace tolvane {

struct ModuleIdentity {
    std::int16_t versionMajor = 0;
    std::int16_t versionMinor = 0;
    std::uint16_t buildOptions = 0; // bit i: option letter 'A' + i
    std::uint32_t serialNumber = 0; // 0: unassigned
    std::int8_t upAxis = 0;
    std::int8_t forwardAxis = 0;

    // From the first 12 payload bytes of a DVRSN reply.
    static ModuleIdentity FromPayload(const std::uint8_t* payload);
    bool HasOption(char letter) const { return (buildOptions >> (letter - 'A')) & 1u; }
};

// "Serial number unknown", "Serial number unassigned" or "Serial number %u",
// after the title prefix.
std::string WindowTitle(bool versionKnown, const ModuleIdentity& identity);
// The version pane: " No version information available", or
// " Version=%d.%02d  Build Opts=...  Fwd=...  Up=...".
std::string VersionPaneText(bool versionKnown, const ModuleIdentity& identity);

} // namespace tolvane
