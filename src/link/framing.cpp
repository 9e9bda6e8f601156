#include "link/framing.h"

#include <cstring>

namespace tolvane {
namespace {
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kTilde = 0x7E;
constexpr std::uint8_t kDollar = '$';
constexpr std::uint8_t kStar = '*';

// Delivered messages never show bytes of an earlier, longer one.
void ClearTail(DeviceMessage& message)
{
    const std::size_t used = message.length < kMaxReceivedPayload ? message.length : kMaxReceivedPayload;
    std::memset(message.payload + used, 0, kMaxReceivedPayload - used);
}
} // namespace

int HexDigitValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::uint8_t FrameChecksum(std::uint8_t type, const std::uint8_t* payload, std::size_t length)
{
    unsigned sum = kCr + kLf + kTilde + type + static_cast<unsigned>(length);
    for (std::size_t i = 0; i < length; ++i) sum += payload[i];
    return static_cast<std::uint8_t>(sum);
}

std::size_t EncodeBinaryFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t length,
                              std::uint8_t* out)
{
    out[0] = kCr;
    out[1] = kLf;
    out[2] = kTilde;
    out[3] = type;
    out[4] = static_cast<std::uint8_t>(length);
    if (length > 0) std::memcpy(out + 5, payload, length);
    out[5 + length] = FrameChecksum(type, payload, length);
    return length + kFrameOverhead;
}

void BinaryReceiver::Reset()
{
    state_ = State::WaitCr;
    sum_ = 0;
    toCome_ = 0;
}

// A byte that completed or broke a frame may itself be the CR of the next.
void BinaryReceiver::Resynchronise(std::uint8_t byte, std::int64_t nowMs)
{
    state_ = State::WaitCr;
    if (byte == kCr) {
        sum_ = kCr;
        frameStart_ = nowMs;
        state_ = State::WaitLf;
    }
}

bool BinaryReceiver::Feed(std::uint8_t byte, std::int64_t nowMs)
{
    switch (state_) {
    case State::WaitCr:
        Resynchronise(byte, nowMs);
        return false;
    case State::WaitLf:
        if (byte != kLf) {
            Resynchronise(byte, nowMs);
            return false;
        }
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        state_ = State::WaitTilde;
        return false;
    case State::WaitTilde:
        if (byte != kTilde) {
            Resynchronise(byte, nowMs);
            return false;
        }
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        state_ = State::WaitType;
        return false;
    case State::WaitType:
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        message_.type = byte;
        state_ = State::WaitLength;
        return false;
    case State::WaitLength:
        if (byte > kMaxReceivedPayload) {
            ++resyncs_;
            Resynchronise(byte, nowMs);
            return false;
        }
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        message_.length = byte;
        toCome_ = byte;
        state_ = byte > 0 ? State::Payload : State::WaitChecksum;
        return false;
    case State::Payload:
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        message_.payload[message_.length - toCome_] = byte;
        if (--toCome_ == 0) state_ = State::WaitChecksum;
        return false;
    case State::WaitChecksum: {
        const bool good = byte == sum_;
        if (good) {
            ++frames_;
            message_.timestamp = frameStart_;
            ClearTail(message_);
        } else {
            ++checksumFailures_;
        }
        Resynchronise(byte, nowMs);
        return good;
    }
    }
    return false;
}

void BinaryReceiver::AddCounts(ReceiverCounts& counts) const
{
    counts.frames += frames_;
    counts.checksumFailures += checksumFailures_;
    counts.resyncs += resyncs_;
}

void NmeaReceiver::AddCounts(ReceiverCounts& counts) const
{
    counts.nmeaGood += good_;
    counts.nmeaBad += bad_;
}

std::size_t BinaryReceiver::TakePayload(const std::uint8_t* bytes, std::size_t count)
{
    const std::size_t limit = count < toCome_ ? count : toCome_;
    std::uint8_t* out = message_.payload + (message_.length - toCome_);
    std::uint8_t sum = sum_;
    std::size_t n = 0;
    for (; n < limit && bytes[n] != kDollar; ++n) {
        out[n] = bytes[n];
        sum = static_cast<std::uint8_t>(sum + bytes[n]);
    }
    sum_ = sum;
    toCome_ = static_cast<std::uint8_t>(toCome_ - n);
    if (toCome_ == 0) state_ = State::WaitChecksum;
    return n;
}

std::size_t NmeaReceiver::TakeText(const std::uint8_t* bytes, std::size_t count)
{
    std::uint8_t x = xor_;
    std::size_t n = 0;
    for (; n < count; ++n) {
        const std::uint8_t c = bytes[n];
        if (c < 0x20 || c > 0x7F || c == kDollar || c == kStar) break;
        x ^= c;
        Store(c);
    }
    xor_ = x;
    return n;
}

void NmeaReceiver::Reset()
{
    state_ = State::Idle;
    xor_ = 0;
    count_ = 0;
}

void NmeaReceiver::Store(std::uint8_t byte)
{
    if (count_ < kMaxReceivedPayload) message_.payload[count_++] = byte;
}

// A '$' that broke a sentence starts the next one.
void NmeaReceiver::Restart(std::uint8_t byte, std::int64_t nowMs)
{
    state_ = State::Idle;
    count_ = 0;
    if (byte == kDollar) {
        xor_ = 0;
        message_.timestamp = nowMs;
        Store(byte);
        state_ = State::Text;
    }
}

bool NmeaReceiver::Feed(std::uint8_t byte, std::int64_t nowMs)
{
    switch (state_) {
    case State::Idle:
        Restart(byte, nowMs);
        return false;
    case State::Text:
        if (byte == kStar) {
            Store(byte);
            state_ = State::FirstDigit;
        } else if (byte < 0x20 || byte > 0x7F || byte == kDollar) {
            Restart(byte, nowMs);
        } else {
            xor_ ^= byte;
            Store(byte);
        }
        return false;
    case State::FirstDigit:
        if (HexDigitValue(byte) != (xor_ >> 4)) {
            ++bad_;
            Restart(byte, nowMs);
            return false;
        }
        Store(byte);
        state_ = State::SecondDigit;
        return false;
    case State::SecondDigit: {
        if (HexDigitValue(byte) != (xor_ & 0x0F)) {
            ++bad_;
            Restart(byte, nowMs);
            return false;
        }
        Store(byte);
        ++good_;
        message_.type = kNmeaType;
        message_.length = count_;
        ClearTail(message_);
        Restart(byte, nowMs);
        return true;
    }
    }
    return false;
}

namespace {
// Bytes that neither a '$' nor a CR: both receivers ignore them when idle.
std::size_t SkipIdle(const std::uint8_t* bytes, std::size_t count)
{
    std::size_t n = 0;
    while (n < count && bytes[n] != kDollar && bytes[n] != kCr) ++n;
    return n;
}
} // namespace

// Flattened: with both receivers inlined the per-byte cost roughly halves.
[[gnu::flatten]] void StreamDecoder::Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs,
                                          DeliverFunction deliver, void* context)
{
    std::size_t i = 0;
    while (i < count) {
        std::size_t span = 0;
        if (nmea_.Idle()) {
            if (binary_.InPayload())
                span = binary_.TakePayload(bytes + i, count - i);
            else if (binary_.BetweenFrames())
                span = SkipIdle(bytes + i, count - i);
        } else if (nmea_.InText() && binary_.BetweenFrames()) {
            span = nmea_.TakeText(bytes + i, count - i);
        }
        if (span > 0) {
            i += span;
            continue;
        }
        if (nmea_.Feed(bytes[i], nowMs)) deliver(context, nmea_.Message());
        if (binary_.Feed(bytes[i], nowMs)) deliver(context, binary_.Message());
        ++i;
    }
}

} // namespace tolvane
