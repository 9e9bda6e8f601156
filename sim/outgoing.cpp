#include "outgoing.h"

#include <cstring>

namespace tolvane::sim {

PayloadBuilder& PayloadBuilder::F32(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return U16(bits & 0xFFFF).U16(bits >> 16);
}

float ReadF32(const std::uint8_t* p)
{
    const std::uint32_t bits = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

} // namespace tolvane::sim
