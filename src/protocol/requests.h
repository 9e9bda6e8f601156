// Builders for every request the host sends. Each returns the request
// ready for the link's Send; its reply carries the same type byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/device_message.h"
#include "protocol/messages.h"

namespace tolvane {

OutgoingRequest SerialNumberRequest();
OutgoingRequest SelfTestRequest();
OutgoingRequest ResetRequest();
OutgoingRequest CompensationParametersRequest();

OutgoingRequest OffsetsReadRequest();
// `flags` (Offsets::Flags) say which to apply; all three values go out.
OutgoingRequest OffsetsSetRequest(std::uint8_t flags, std::int16_t body, std::int16_t roll, std::int16_t pitch);

OutgoingRequest DeclinationReadRequest();
OutgoingRequest DeclinationSetRequest(std::int16_t declination);

// Reads the interval in force.
OutgoingRequest OrientationRateReadRequest();
// 0 stops orientation messages.
OutgoingRequest OrientationRateSetRequest(std::int16_t intervalMs);

OutgoingRequest StartupDefaultsReadRequest();
// Stores the values whose bit is set in `values.mask`; the others are sent
// as zero. The caller never sends a load with no bit set.
OutgoingRequest StartupDefaultsLoadRequest(const StartupDefaults& values);

OutgoingRequest CompensationRequest(CompensationAction action);

// Feet are converted to metres as the module expects. Latitude north and
// longitude east positive.
OutgoingRequest WmmRequest(int day, int month, int yearSince2000, double latitude, double longitude,
                           double altitudeFeet);

// The payload length of a request of `type`; none for a type the host
// never sends. The module understands a request only at this length.
std::optional<std::size_t> RequestLength(MessageType type);

// "serial number request", "offsets request (read)" and so on; for a type
// the host never sends, "unknown request 0xNN".
std::string RequestName(const DeviceMessage& frame);

} // namespace tolvane
