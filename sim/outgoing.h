// One message the simulated module sends: a binary frame, or an NMEA
// sentence carried as its text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::sim {

struct Outgoing {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload; // frame payload, or the sentence's text
    bool sentence = false;
};

// Little-endian payload building.
class PayloadBuilder {
public:
    PayloadBuilder& U8(unsigned v)
    {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    PayloadBuilder& S8(int v) { return U8(static_cast<unsigned>(v) & 0xFF); }
    PayloadBuilder& U16(unsigned v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
    PayloadBuilder& S16(int v) { return U16(static_cast<unsigned>(v) & 0xFFFF); }
    PayloadBuilder& S32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        return U16(u & 0xFFFF).U16(u >> 16);
    }
    PayloadBuilder& F32(float v);
    PayloadBuilder& Text(const std::string& text)
    {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    Outgoing Frame(std::uint8_t type) const { return {type, bytes_, false}; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Reads little-endian fields of a request payload.
inline std::int16_t ReadS16(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | (p[1] << 8)); }
inline std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
float ReadF32(const std::uint8_t* p);

} // namespace tolvane::sim
