// Builders for every request the host sends. Each returns the request
// ready for SerialLink::Send; its reply carries the same type byte.
#pragma once

#include <cstdint>

#include "link/device_message.h"

namespace tolvane {

enum RequestType : std::uint16_t {
    kSerialNumberRequest = 0xC3,
    kSelfTestRequest = 0x48,
    kResetRequest = 0x42,
    kOffsetsRequest = 0x50,
    kDeclinationRequest = 0x54,
    kOrientationRateRequest = 0x7F,
    kStartUpDefaultsRequest = 0x66,
    kCompensationRequest = 0x72,
    kCompensationParametersRequest = 0x67,
    kWmmRequest = 0x55,
};

// Offsets request flags: which values the module is to apply.
enum OffsetFlags : std::uint8_t {
    kSetBodyOffset = 0x01,
    kSetRollOffset = 0x02,
    kSetPitchOffset = 0x04,
};

// Start-up defaults flags: which values go to flash. Note that roll is
// bit 2 and pitch bit 3, against the field order.
enum StartUpDefaultFlags : std::uint16_t {
    kLoadDeclination = 0x01,
    kLoadBodyOffset = 0x02,
    kLoadRollOffset = 0x04,
    kLoadPitchOffset = 0x08,
    kLoadInterval = 0x10,
};

enum class CompensationAction : std::uint8_t { Start = 1, Status = 2, Abort = 3, Revert = 4 };

// Values of the start-up defaults request and of its DSDFLT reply; angles
// in raw counts, the interval in ms.
struct StartUpDefaults {
    std::int16_t declination = 0;
    std::int16_t bodyOffset = 0;
    std::int16_t pitchOffset = 0;
    std::int16_t rollOffset = 0;
    std::int16_t interval = 0;
};

OutgoingRequest SerialNumberRequest();
OutgoingRequest SelfTestRequest();
OutgoingRequest ResetRequest();
OutgoingRequest CompensationParametersRequest();

OutgoingRequest OffsetsReadRequest();
OutgoingRequest OffsetsSetRequest(std::uint8_t flags, std::int16_t body, std::int16_t roll, std::int16_t pitch);

OutgoingRequest DeclinationReadRequest();
OutgoingRequest DeclinationSetRequest(std::int16_t declination);

// Reads the interval in force.
OutgoingRequest OrientationRateReadRequest();
// 0 stops orientation messages.
OutgoingRequest OrientationRateSetRequest(std::int16_t intervalMs);

OutgoingRequest StartUpDefaultsReadRequest();
// A value whose flag is clear is sent as zero. The caller never sends a
// load with no flag set.
OutgoingRequest StartUpDefaultsLoadRequest(std::uint16_t flags, const StartUpDefaults& values);
// The reply's fields (result word and values) from a DSDFLT payload.
StartUpDefaults DecodeStartUpDefaults(const std::uint8_t* payload, std::uint16_t* result);

OutgoingRequest CompensationRequest(CompensationAction action);

// Feet are converted to metres as the module expects. Latitude north and
// longitude east positive.
OutgoingRequest WmmRequest(int day, int month, int yearSince2000, double latitude, double longitude,
                           double altitudeFeet);

} // namespace tolvane
