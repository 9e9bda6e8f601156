// How the module answers each request. Pure: the request and the time go
// in, the replies come out and the module's state moves on.
#pragma once

#include <cstdint>
#include <vector>

#include "compass_module.h"
#include "link/device_message.h"
#include "outgoing.h"

namespace tolvane::sim {

class Replier {
public:
    explicit Replier(CompassModule& module) : module_(module) {}

    // The replies to one received request, in order; none for an unknown
    // type, a payload of the wrong length, a reset, or a silenced type.
    std::vector<Outgoing> Answer(const DeviceMessage& request, std::int64_t nowMs);

    // The DPOWER announcement of a module that has just started.
    Outgoing PowerUpMessage() const;
    Outgoing CompensationMessage() const;

private:
    Outgoing Identity() const;
    Outgoing OffsetsReply(std::uint8_t flags) const;
    Outgoing Rate() const;
    Outgoing Defaults(std::uint16_t result) const;

    CompassModule& module_;
};

} // namespace tolvane::sim
