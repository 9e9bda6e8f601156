// A capture read back message by message, through the same receivers and
// renderers as the program's message view, as lines or as CSV rows. It
// streams: each chunk is decoded as it is read and its lines go out at once.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "capture/capture_format.h"
#include "link/device_message.h"
#include "link/framing.h"
#include "protocol/requests.h"

namespace tolvane {

struct DecodeOptions {
    bool nmea = true;      // NMEA sentences, as the view's switch
    bool time = false;     // each line prefixed with its ms
    bool requests = false; // sent frames as requests
    bool csv = false;      // CSV rows (RFC 4180) in place of the view's lines
};

// The first row of the CSV.
inline constexpr const char* kCsvHeader = "time,type,mnemonic,azimuth,pitch,roll,text";

// `startTime` ("2024-05-01T13:45:10+0200") plus `ms`, in ISO 8601 with
// milliseconds and the same offset ("2024-05-01T13:45:10.250+02:00");
// empty when `startTime` is not such a time.
std::string IsoTimeAfter(const std::string& startTime, std::int64_t ms);

// One field of a CSV row, quoted when it holds a comma, a quote or a line
// end (or always, with `always`), its quotes doubled.
std::string CsvField(const std::string& text, bool always = false);

class CaptureDecoder {
public:
    // Each line or row goes to `emit` without its line end. `header` gives
    // the CSV's times; a raw capture has none.
    CaptureDecoder(const DecodeOptions& options, const CaptureHeader& header, bool raw,
                   std::function<void(const std::string&)> emit);
    void Add(const CaptureChunk& chunk);

private:
    void Received(const DeviceMessage& message);
    void Emit(std::int64_t ms, const char* mnemonic, const char* text, std::uint16_t type);

    DecodeOptions options_;
    std::string startTime_; // empty: no times in the CSV
    std::function<void(const std::string&)> emit_;
    StreamDecoder received_;
    BinaryReceiver sent_;
};

// The lines a message view would show for the received bytes, with the
// sent requests among them when asked for.
std::vector<std::string> DecodeCapture(const Capture& capture, const DecodeOptions& options);

// tolvane-decode with its arguments (without the program name); `in` is
// read for "-". Returns the exit status.
int DecodeMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace tolvane
