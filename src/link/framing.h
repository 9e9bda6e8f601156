// The two framings that share the compass's byte stream: binary frames
// (CR LF '~' type length payload checksum) in both directions, and NMEA
// sentences ('$' text '*' hex hex) from the compass. Each receiver takes
// one byte per Feed, keeps fixed buffers and never allocates or throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "link/device_message.h"

namespace tolvane {

// Writes the frame for `type` and `payload[0..length)` into `out`, which
// must hold length + kFrameOverhead bytes, and returns that count. The
// caller keeps length within kMaxSentPayload (SerialLink::Send does).
std::size_t EncodeBinaryFrame(std::uint8_t type, const std::uint8_t* payload,
                              std::size_t length, std::uint8_t* out);

// Low 8 bits of the sum of every byte before the checksum.
std::uint8_t FrameChecksum(std::uint8_t type, const std::uint8_t* payload, std::size_t length);

// The value of a hexadecimal digit of either case, or -1: an NMEA
// checksum's digits, and a capture file's bytes.
int HexDigitValue(std::uint8_t c);

// What the receivers made of the stream, counted as they go.
struct ReceiverCounts {
    std::uint64_t frames = 0;           // binary frames with a good checksum
    std::uint64_t checksumFailures = 0; // binary frames whose checksum was wrong
    std::uint64_t resyncs = 0;          // frames given up before their checksum (an impossible length)
    std::uint64_t nmeaGood = 0;
    std::uint64_t nmeaBad = 0;          // sentences whose checksum digits were wrong
};

class BinaryReceiver {
public:
    // Offers one byte received at `nowMs`. Returns true when it completes a
    // frame with a good checksum; Message() then holds it until the next Feed.
    bool Feed(std::uint8_t byte, std::int64_t nowMs);
    const DeviceMessage& Message() const { return message_; }
    void Reset();

    // For the stream decoder's spans, each exactly what feeding its bytes
    // one at a time would do.
    bool InPayload() const { return state_ == State::Payload; }
    bool BetweenFrames() const { return state_ == State::WaitCr; }
    // Takes payload bytes up to the end of the payload, of `bytes`, or the
    // first '$' (which the NMEA receiver must be offered); returns how many.
    std::size_t TakePayload(const std::uint8_t* bytes, std::size_t count);

    // Adds this receiver's counts since it was made.
    void AddCounts(ReceiverCounts& counts) const;

private:
    enum class State : std::uint8_t { WaitCr, WaitLf, WaitTilde, WaitType, WaitLength, Payload, WaitChecksum };

    void Resynchronise(std::uint8_t byte, std::int64_t nowMs);

    State state_ = State::WaitCr;
    std::uint8_t sum_ = 0;
    std::uint8_t toCome_ = 0;
    // Kept apart from message_: a checksum byte of 0x0D starts the next
    // frame before the delivered one has been read.
    std::int64_t frameStart_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t checksumFailures_ = 0;
    std::uint64_t resyncs_ = 0;
    DeviceMessage message_;
};

class NmeaReceiver {
public:
    // As BinaryReceiver::Feed; a delivered sentence has type kNmeaType and
    // holds the text from '$' through the second checksum digit, cut at 80.
    bool Feed(std::uint8_t byte, std::int64_t nowMs);
    const DeviceMessage& Message() const { return message_; }
    void Reset();

    // For the stream decoder's spans, as BinaryReceiver's.
    bool Idle() const { return state_ == State::Idle; }
    bool InText() const { return state_ == State::Text; }
    // Takes text characters other than '$' and '*' (none of them a CR, so a
    // binary receiver between frames would ignore them); returns how many.
    std::size_t TakeText(const std::uint8_t* bytes, std::size_t count);

    void AddCounts(ReceiverCounts& counts) const;

private:
    enum class State : std::uint8_t { Idle, Text, FirstDigit, SecondDigit };

    void Restart(std::uint8_t byte, std::int64_t nowMs);
    void Store(std::uint8_t byte);

    State state_ = State::Idle;
    std::uint8_t xor_ = 0;
    std::uint16_t count_ = 0;
    std::uint64_t good_ = 0;
    std::uint64_t bad_ = 0;
    DeviceMessage message_;
};

// Both receivers on one byte stream, as the link reads it: every byte goes
// to the NMEA receiver first and then to the binary one, and each message
// they complete is handed to `deliver(const DeviceMessage&)` at once.
class StreamDecoder {
public:
    using DeliverFunction = void (*)(void* context, const DeviceMessage& message);

    // The loop lives beside the receivers so that their Feed calls inline.
    // Spans over which one receiver provably does nothing (a payload outside
    // any sentence, a sentence's text between frames, bytes that start
    // neither) go to the other receiver whole; every other byte is offered
    // to both, one at a time.
    void Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs, DeliverFunction deliver,
              void* context);

    template <typename Deliver>
    void Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs, Deliver&& deliver)
    {
        using D = std::remove_reference_t<Deliver>;
        Feed(bytes, count, nowMs,
             [](void* context, const DeviceMessage& message) { (*static_cast<D*>(context))(message); },
             static_cast<void*>(&deliver));
    }

    void Reset()
    {
        nmea_.Reset();
        binary_.Reset();
    }

    // Both receivers' counts since the decoder was made.
    ReceiverCounts Counts() const
    {
        ReceiverCounts counts;
        nmea_.AddCounts(counts);
        binary_.AddCounts(counts);
        return counts;
    }

private:
    NmeaReceiver nmea_;
    BinaryReceiver binary_;
};

} // namespace tolvane
