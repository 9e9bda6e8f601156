// The two framings that share the compass's byte stream: binary frames
// (CR LF '~' type length payload checksum) in both directions, and NMEA
// sentences ('$' text '*' hex hex) from the compass. Each receiver takes
// one byte per Feed, keeps fixed buffers and never allocates or throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/device_message.h"

namespace tolvane {

// Writes the frame for `type` and `payload[0..length)` into `out`, which
// must hold length + kFrameOverhead bytes, and returns that count. The
// caller keeps length within kMaxSentPayload (SerialLink::Send does).
std::size_t EncodeBinaryFrame(std::uint8_t type, const std::uint8_t* payload,
                              std::size_t length, std::uint8_t* out);

// Low 8 bits of the sum of every byte before the checksum.
std::uint8_t FrameChecksum(std::uint8_t type, const std::uint8_t* payload, std::size_t length);

class BinaryReceiver {
public:
    // Offers one byte received at `nowMs`. Returns true when it completes a
    // frame with a good checksum; Message() then holds it until the next Feed.
    bool Feed(std::uint8_t byte, std::int32_t nowMs);
    const DeviceMessage& Message() const { return message_; }
    void Reset();

private:
    enum class State : std::uint8_t { WaitCr, WaitLf, WaitTilde, WaitType, WaitLength, Payload, WaitChecksum };

    void Resynchronise(std::uint8_t byte, std::int32_t nowMs);

    State state_ = State::WaitCr;
    std::uint8_t sum_ = 0;
    std::uint8_t toCome_ = 0;
    // Kept apart from message_: a checksum byte of 0x0D starts the next
    // frame before the delivered one has been read.
    std::int32_t frameStart_ = 0;
    DeviceMessage message_;
};

class NmeaReceiver {
public:
    // As BinaryReceiver::Feed; a delivered sentence has type kNmeaType and
    // holds the text from '$' through the second checksum digit, cut at 80.
    bool Feed(std::uint8_t byte, std::int32_t nowMs);
    const DeviceMessage& Message() const { return message_; }
    void Reset();

private:
    enum class State : std::uint8_t { Idle, Text, FirstDigit, SecondDigit };

    void Restart(std::uint8_t byte, std::int32_t nowMs);
    void Store(std::uint8_t byte);

    State state_ = State::Idle;
    std::uint8_t xor_ = 0;
    std::uint16_t count_ = 0;
    DeviceMessage message_;
};

// Both receivers on one byte stream, as the link reads it: every byte goes
// to the NMEA receiver first and then to the binary one, and each message
// they complete is handed to `deliver(const DeviceMessage&)` at once.
class StreamDecoder {
public:
    template <typename Deliver>
    void Feed(const std::uint8_t* bytes, std::size_t count, std::int32_t nowMs, Deliver&& deliver)
    {
        for (std::size_t i = 0; i < count; ++i) {
            if (nmea_.Feed(bytes[i], nowMs)) deliver(nmea_.Message());
            if (binary_.Feed(bytes[i], nowMs)) deliver(binary_.Message());
        }
    }
    void Reset()
    {
        nmea_.Reset();
        binary_.Reset();
    }

private:
    NmeaReceiver nmea_;
    BinaryReceiver binary_;
};

} // namespace tolvane
