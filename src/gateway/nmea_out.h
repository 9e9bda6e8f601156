// The NMEA 0183 sentences the gateway sends for the module's messages:
// for an orientation, the heading and then pitch and roll as a transducer
// reading; for a sentence of the module's own, that sentence as it came.
// Every sentence ends in CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/device_message.h"

namespace tolvane {

// The two hexadecimal digits after '*': the XOR of every character
// between '$' and '*'.
std::uint8_t NmeaChecksum(std::string_view betweenDollarAndStar);

// "$HCHDT,123.4,T*hh": true heading, 0.0 to 359.9.
void AppendHeadingSentence(std::uint16_t azimuth, std::string& out);
// "$HCXDR,A,-1.2,D,PTCH,A,2.5,D,ROLL*hh": two angular transducers.
void AppendAttitudeSentence(std::int16_t pitch, std::int16_t roll, std::string& out);
// What goes out for `message`: nothing for the other message types, and
// nothing for a sentence the link cut short (its checksum lost).
void AppendNmeaFor(const DeviceMessage& message, std::string& out);

} // namespace tolvane
