#include "faults.h"

#include "link/framing.h"

namespace tolvane::sim {

std::vector<std::uint8_t> Faults::Encode(const Outgoing& message)
{
    std::vector<std::uint8_t> bytes;
    if (Chance(options_.noise))
        for (unsigned n = 1 + random_() % 8; n > 0; --n) bytes.push_back(static_cast<std::uint8_t>(random_()));
    const std::size_t start = bytes.size();
    if (message.sentence) {
        bytes.insert(bytes.end(), message.payload.begin(), message.payload.end());
    } else {
        bytes.resize(start + message.payload.size() + kFrameOverhead);
        EncodeBinaryFrame(message.type, message.payload.data(), message.payload.size(), bytes.data() + start);
    }
    if (Chance(options_.corrupt) && bytes.size() > start) {
        const std::size_t at = start + random_() % (bytes.size() - start);
        bytes[at] ^= static_cast<std::uint8_t>(1 + random_() % 255);
    }
    return bytes;
}

void Faults::Garble(std::uint8_t* bytes, std::size_t count)
{
    // Bits sampled at the wrong rate: a byte of another value, never the sent one.
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(bytes[i] ^ (1 + random_() % 255));
}

} // namespace tolvane::sim
