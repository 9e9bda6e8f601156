// One message the simulated module sends: a binary frame, or an NMEA
// sentence carried as its text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/messages.h"

namespace tolvane::sim {

struct Outgoing {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload; // frame payload, or the sentence's text
    bool sentence = false;
};

// The frame of `message`, encoded as the program decodes it.
template <typename T>
Outgoing Frame(const T& message)
{
    PayloadWriter writer;
    Encode(message, writer);
    return {static_cast<std::uint8_t>(TypeByte(T::kType)),
            std::vector<std::uint8_t>(writer.Bytes(), writer.Bytes() + writer.Length()), false};
}

} // namespace tolvane::sim
