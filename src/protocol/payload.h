// Reading and writing a message's payload field by field: little-endian,
// packed without alignment, in the order the layout lists them. The only
// place that knows where a field lies is the Decode or Encode that reads or
// writes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "link/device_message.h"

namespace tolvane {

// Reads fields in order. A field at or past the payload's length reads as
// zero, so no layout reads out of bounds, whatever holds the bytes; in a
// DeviceMessage the bytes past the length are zero already.
class PayloadReader {
public:
    PayloadReader(const std::uint8_t* bytes, std::size_t length)
        : bytes_(bytes), length_(length < kMaxReceivedPayload ? length : kMaxReceivedPayload)
    {
    }
    explicit PayloadReader(const DeviceMessage& message) : PayloadReader(message.payload, message.length) {}
    explicit PayloadReader(const OutgoingRequest& request) : PayloadReader(request.payload, request.length) {}

    std::uint8_t U8() { return static_cast<std::uint8_t>(Bits(1)); }
    std::int8_t S8() { return static_cast<std::int8_t>(Bits(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Bits(2)); }
    std::int16_t S16() { return static_cast<std::int16_t>(Bits(2)); }
    std::int32_t S32() { return static_cast<std::int32_t>(Bits(4)); }
    float F32()
    {
        const std::uint32_t bits = Bits(4);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    void Skip(std::size_t count) { at_ += count; }
    // The text from here up to its zero byte, the payload's end or `limit`
    // characters, whichever comes first; the reader moves past it.
    std::string Text(std::size_t limit = kMaxReceivedPayload)
    {
        std::string text;
        while (text.size() < limit && at_ < length_ && bytes_[at_] != 0)
            text.push_back(static_cast<char>(bytes_[at_++]));
        return text;
    }

    // Payload bytes from the reader's place to the payload's end.
    std::size_t Remaining() const { return at_ < length_ ? length_ - at_ : 0; }
    std::size_t Length() const { return length_; }

private:
    std::uint32_t Bits(std::size_t width)
    {
        std::uint32_t bits = 0;
        for (std::size_t i = 0; i < width; ++i, ++at_)
            bits |= static_cast<std::uint32_t>(at_ < length_ ? bytes_[at_] : 0u) << (8 * i);
        return bits;
    }

    const std::uint8_t* bytes_;
    std::size_t length_;
    std::size_t at_ = 0;
};

// Writes fields in order into a payload of at most 80 bytes; bytes past
// that are dropped, and Length() stays at 80.
class PayloadWriter {
public:
    PayloadWriter& U8(std::uint8_t v)
    {
        if (length_ < bytes_.size()) bytes_[length_++] = v;
        return *this;
    }
    PayloadWriter& S8(std::int8_t v) { return U8(static_cast<std::uint8_t>(v)); }
    PayloadWriter& U16(std::uint16_t v) { return U8(static_cast<std::uint8_t>(v)).U8(static_cast<std::uint8_t>(v >> 8)); }
    PayloadWriter& S16(std::int16_t v) { return U16(static_cast<std::uint16_t>(v)); }
    PayloadWriter& S32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        return U16(static_cast<std::uint16_t>(u)).U16(static_cast<std::uint16_t>(u >> 16));
    }
    PayloadWriter& F32(float v)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return S32(static_cast<std::int32_t>(bits));
    }
    // The characters of `text`, without a terminator.
    PayloadWriter& Text(const std::string& text)
    {
        for (const char c : text) U8(static_cast<std::uint8_t>(c));
        return *this;
    }

    const std::uint8_t* Bytes() const { return bytes_.data(); }
    std::size_t Length() const { return length_; }

private:
    std::array<std::uint8_t, kMaxReceivedPayload> bytes_{};
    std::size_t length_ = 0;
};

} // namespace tolvane
