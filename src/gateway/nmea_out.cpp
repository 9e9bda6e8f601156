#include "gateway/nmea_out.h"

#include <cstdio>
#include <cstring>

#include "protocol/angles.h"
#include "protocol/messages.h"

namespace tolvane {
namespace {

// Closes the sentence begun at `start` in `out` with its checksum and line end.
void Close(std::string& out, std::size_t start)
{
    const std::uint8_t sum = NmeaChecksum(std::string_view(out).substr(start + 1));
    char tail[6];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    out += tail;
}

// A whole sentence from the link: '$' text '*' and two hexadecimal digits
// (the link delivers only those whose digits match).
bool IsWholeSentence(std::string_view text)
{
    return text.size() >= 4 && text.front() == '$' && text[text.size() - 3] == '*';
}

} // namespace

std::uint8_t NmeaChecksum(std::string_view betweenDollarAndStar)
{
    std::uint8_t sum = 0;
    for (char c : betweenDollarAndStar) sum = static_cast<std::uint8_t>(sum ^ static_cast<std::uint8_t>(c));
    return sum;
}

void AppendHeadingSentence(std::uint16_t azimuth, std::string& out)
{
    // The program's own text of the angle; only the counts just under 360
    // degrees read "360.0", which a heading writes as north.
    const char* degrees = UnsignedAngleText(azimuth);
    if (std::strcmp(degrees, "360.0") == 0) degrees = "0.0";
    const std::size_t start = out.size();
    out += "$HCHDT,";
    out += degrees;
    out += ",T";
    Close(out, start);
}

void AppendAttitudeSentence(std::int16_t pitch, std::int16_t roll, std::string& out)
{
    const std::size_t start = out.size();
    out += "$HCXDR,A,";
    out += SignedAngleText(pitch);
    out += ",D,PTCH,A,";
    out += SignedAngleText(roll);
    out += ",D,ROLL";
    Close(out, start);
}

void AppendNmeaFor(const DeviceMessage& message, std::string& out)
{
    if (IsType(message, MessageType::Orientation)) {
        const Orientation orientation = Decode<Orientation>(message);
        AppendHeadingSentence(orientation.azimuth, out);
        AppendAttitudeSentence(orientation.pitch, orientation.roll, out);
    } else if (IsType(message, MessageType::Nmea)) {
        const std::string_view text(reinterpret_cast<const char*>(message.payload), message.length);
        if (!IsWholeSentence(text)) return;
        out += text;
        out += "\r\n";
    }
}

} // namespace tolvane
