// The units that cross the device link: one received message, one request.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane {

// Longest payload the host accepts from the compass.
inline constexpr std::size_t kMaxReceivedPayload = 80;
// Longest payload the host sends; a longer request is refused unwritten.
inline constexpr std::size_t kMaxSentPayload = 66;
// CR, LF, '~', type, length, checksum.
inline constexpr std::size_t kFrameOverhead = 6;
inline constexpr std::size_t kMaxSentFrame = kMaxSentPayload + kFrameOverhead;

// Type given to every NMEA sentence once delivered.
inline constexpr std::uint16_t kNmeaType = 0x20;

// One received message, always copied whole. Payload bytes past `length`
// are zero, so a short payload renders the same text every time.
struct DeviceMessage {
    std::uint16_t type = 0;     // frame type byte, or kNmeaType
    std::uint16_t length = 0;   // valid payload bytes, 0..80
    std::int64_t timestamp = 0; // ms since program start at its first byte
    std::uint8_t payload[kMaxReceivedPayload] = {};

    friend bool operator==(const DeviceMessage&, const DeviceMessage&) = default;
};

// One request for the link's Send. Only the low byte of `type` goes on the
// wire. The buffer is larger than what may be sent so that an oversized
// request can be expressed, and refused, without reading out of bounds.
struct OutgoingRequest {
    std::uint16_t type = 0xFFFF; // 0xFFFF: no request
    std::uint16_t length = 0;
    std::uint8_t payload[kMaxReceivedPayload] = {};
};

} // namespace tolvane
