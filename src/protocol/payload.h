// Reading and writing a message's payload field by field: little-endian,
// packed without alignment, in the order the layout lists them. Each
// message lists its fields once, in a `Fields(message, io)` that a
// PayloadReader, a PayloadWriter and a PayloadSizer all walk, so no field's
// place is written down twice and none outside that list.
//
// A field's width on the wire is its type's: one byte for std::uint8_t and
// std::int8_t (and an enum over them), two for the 16-bit integers, four for
// the 32-bit ones and float; a std::array is its elements in order; a
// std::string is a text ended by a zero byte.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "link/device_message.h"

namespace tolvane {

namespace payload_detail {
template <typename T>
struct ArrayOf : std::false_type {};
template <typename T, std::size_t N>
struct ArrayOf<std::array<T, N>> : std::true_type {};
} // namespace payload_detail

// The bytes a field of type T takes; a text has no fixed width.
template <typename T>
constexpr std::size_t WireSize()
{
    if constexpr (payload_detail::ArrayOf<T>::value)
        return std::tuple_size_v<T> * WireSize<typename T::value_type>();
    else if constexpr (std::is_enum_v<T>)
        return sizeof(std::underlying_type_t<T>);
    else {
        static_assert(std::is_arithmetic_v<T> && sizeof(T) <= 4, "not a payload field");
        return sizeof(T);
    }
}

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

    template <typename... Fields>
    PayloadReader& operator()(Fields&... fields)
    {
        (Field(fields), ...);
        return *this;
    }
    // Fields that only a payload long enough for all of them carries;
    // `present` says whether this one did. Absent fields keep their values.
    template <typename... Fields>
    PayloadReader& Optional(bool& present, Fields&... fields)
    {
        present = Remaining() >= (WireSize<Fields>() + ...);
        return present ? (*this)(fields...) : *this;
    }
    // As many whole values as the rest of the payload holds, at most `most`.
    template <typename T>
    PayloadReader& Rest(std::vector<T>& values, std::size_t most = kMaxReceivedPayload)
    {
        values.resize(std::min(Remaining() / WireSize<T>(), most));
        for (T& value : values) Field(value);
        return *this;
    }

private:
    std::size_t Remaining() const { return at_ < length_ ? length_ - at_ : 0; }

    template <typename T>
    void Field(T& value)
    {
        if constexpr (std::is_same_v<T, std::string>) {
            // Up to its zero byte, which is passed over, or the payload's end.
            value.clear();
            while (at_ < length_ && bytes_[at_] != 0) value.push_back(static_cast<char>(bytes_[at_++]));
            ++at_;
        } else if constexpr (payload_detail::ArrayOf<T>::value) {
            for (auto& element : value) Field(element);
        } else if constexpr (std::is_enum_v<T>) {
            value = static_cast<T>(Bits(WireSize<T>()));
        } else if constexpr (std::is_same_v<T, float>) {
            const std::uint32_t bits = Bits(4);
            std::memcpy(&value, &bits, sizeof value);
        } else {
            value = static_cast<T>(Bits(WireSize<T>()));
        }
    }

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
    template <typename... Fields>
    PayloadWriter& operator()(const Fields&... fields)
    {
        (Field(fields), ...);
        return *this;
    }
    // Writes the fields only when `present`.
    template <typename... Fields>
    PayloadWriter& Optional(bool present, const Fields&... fields)
    {
        return present ? (*this)(fields...) : *this;
    }
    template <typename T>
    PayloadWriter& Rest(const std::vector<T>& values, std::size_t most = kMaxReceivedPayload)
    {
        for (std::size_t i = 0; i < values.size() && i < most; ++i) Field(values[i]);
        return *this;
    }

    const std::uint8_t* Bytes() const { return bytes_.data(); }
    std::size_t Length() const { return length_; }

private:
    template <typename T>
    void Field(const T& value)
    {
        if constexpr (std::is_same_v<T, std::string>) {
            for (const char c : value) Bits(static_cast<std::uint8_t>(c), 1);
            Bits(0, 1);
        } else if constexpr (payload_detail::ArrayOf<T>::value) {
            for (const auto& element : value) Field(element);
        } else if constexpr (std::is_same_v<T, float>) {
            std::uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            Bits(bits, 4);
        } else {
            Bits(static_cast<std::uint32_t>(value), WireSize<T>());
        }
    }

    void Bits(std::uint32_t bits, std::size_t width)
    {
        for (std::size_t i = 0; i < width && length_ < bytes_.size(); ++i)
            bytes_[length_++] = static_cast<std::uint8_t>(bits >> (8 * i));
    }

    std::array<std::uint8_t, kMaxReceivedPayload> bytes_{};
    std::size_t length_ = 0;
};

// Adds up the widths of the fields every payload of a layout carries; an
// optional part adds nothing. A layout with a text or a rest has no such
// length, and does not compile here.
class PayloadSizer {
public:
    template <typename... Fields>
    constexpr PayloadSizer& operator()(const Fields&...)
    {
        length_ += (std::size_t{0} + ... + WireSize<Fields>());
        return *this;
    }
    template <typename... Fields>
    constexpr PayloadSizer& Optional(bool, const Fields&...)
    {
        return *this;
    }
    constexpr std::size_t Length() const { return length_; }

private:
    std::size_t length_ = 0;
};

// The message of type T read from `reader`.
template <typename T>
T Decode(PayloadReader& reader)
{
    T message{};
    T::Fields(message, reader);
    return message;
}

template <typename T>
void Encode(const T& message, PayloadWriter& writer)
{
    T::Fields(message, writer);
}

// The payload length of a fixed layout; of one with an optional part, the
// length without it.
template <typename T>
constexpr std::size_t PayloadLength()
{
    PayloadSizer sizer;
    const T message{};
    T::Fields(message, sizer);
    return sizer.Length();
}

} // namespace tolvane
