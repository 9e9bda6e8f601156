// A capture read back message by message, through the same receivers and
// renderers as the program's message view.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "capture/capture_format.h"
#include "protocol/requests.h"
#include "link/device_message.h"

namespace tolvane {

struct DecodeOptions {
    bool nmea = true;      // NMEA sentences, as the view's switch
    bool time = false;     // each line prefixed with its ms
    bool requests = false; // sent frames as requests
};


// The lines a message view would show for the received bytes, with the
// sent requests among them when asked for.
std::vector<std::string> DecodeCapture(const Capture& capture, const DecodeOptions& options);

// tolvane-decode with its arguments (without the program name); `in` is
// read for "-". Returns the exit status.
int DecodeMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace tolvane
