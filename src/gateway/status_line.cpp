#include "gateway/status_line.h"

#include <cmath>
#include <cstdio>

namespace tolvane {
namespace {

// The length of the UTF-8 sequence at `text[i]`, or 0 when it is not one:
// overlong forms, surrogates and code points past U+10FFFF are not.
std::size_t Utf8Length(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned lowSecond = 0x80, highSecond = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) lowSecond = 0xA0;  // overlong
        if (lead == 0xED) highSecond = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) lowSecond = 0x90;  // overlong
        if (lead == 0xF4) highSecond = 0x8F; // past U+10FFFF
    }
    if (length == 0 || i + length > text.size()) return 0;
    if (byte(i + 1) < lowSecond || byte(i + 1) > highSecond) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

void AppendNumber(std::uint64_t value, std::string& out) { out += std::to_string(value); }

} // namespace

const char* StateName(ModuleState state)
{
    switch (state) {
    case ModuleState::Opening: return "opening";
    case ModuleState::Open: return "open";
    case ModuleState::Lost: return "lost";
    case ModuleState::Closed: return "closed";
    }
    return "closed";
}

void AppendJsonString(std::string_view text, std::string& out)
{
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        ++i;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

std::string ModuleStatusLine(const GatewayModuleStatus& s)
{
    std::string line = "{\"module\":";
    AppendJsonString(s.module, line);
    line += ",\"state\":\"";
    line += StateName(s.state);
    line += "\",\"port\":";
    AppendJsonString(s.port, line);
    line += ",\"serial\":";
    if (s.identity) {
        AppendNumber(s.identity->serialNumber, line);
        char version[16];
        std::snprintf(version, sizeof version, "\"%d.%02d\"", s.identity->versionMajor, s.identity->versionMinor);
        line += ",\"version\":";
        line += version;
    } else {
        line += "null,\"version\":null";
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", std::isfinite(s.rate) && s.rate > 0 ? s.rate : 0.0);
    line += ",\"messages\":";
    AppendNumber(s.messages, line);
    line += ",\"rate\":";
    line += rate;
    line += ",\"dropped\":";
    AppendNumber(s.dropped, line);
    line += ",\"checksum_errors\":";
    AppendNumber(s.checksumErrors, line);
    line += ",\"clients\":";
    AppendNumber(s.clients, line);
    line += ",\"log\":";
    if (s.log.empty()) line += "null";
    else AppendJsonString(s.log, line);
    line += ",\"capture\":";
    if (s.capture.empty()) line += "null";
    else AppendJsonString(s.capture, line);
    line += "}\n";
    return line;
}

} // namespace tolvane
