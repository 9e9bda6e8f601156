#include "capture/capture_decode.h"

#include <cstdio>
#include <iostream>
#include <iterator>

#include "link/framing.h"
#include "protocol/message_catalogue.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

const char* const kUsage =
    "Usage: tolvane-decode [--no-nmea] [--time] [--requests] [FILE|-]\n"
    "Prints the messages of a capture file (or of raw bytes) as the message\n"
    "view shows them. Standard input when FILE is - or missing.\n"
    "  --no-nmea    leave out NMEA sentences\n"
    "  --time       prefix each line with its time in ms\n"
    "  --requests   also print the requests sent\n";

std::string Line(const DecodeOptions& options, std::int64_t ms, const char* mnemonic, const char* text)
{
    char prefix[24] = "";
    if (options.time) std::snprintf(prefix, sizeof prefix, "%8lld  ", static_cast<long long>(ms));
    char line[kStatusTextMax + 64];
    std::snprintf(line, sizeof line, "%s%-10s%s", prefix, mnemonic, text);
    return line;
}

} // namespace

std::vector<std::string> DecodeCapture(const Capture& capture, const DecodeOptions& options)
{
    std::vector<std::string> lines;
    StreamDecoder received;
    BinaryReceiver sent;
    for (const CaptureChunk& chunk : capture.chunks) {
        const auto ms = static_cast<std::int32_t>(chunk.ms);
        switch (chunk.kind) {
        case ChunkKind::Gap: {
            // A frame cut by the gap would otherwise swallow what follows.
            received.Reset();
            const std::string text = std::to_string(chunk.lost) + " bytes not captured";
            lines.push_back(Line(options, chunk.ms, "(gap)", text.c_str()));
            break;
        }
        case ChunkKind::Received:
            received.Feed(chunk.bytes.data(), chunk.bytes.size(), ms, [&](const DeviceMessage& message) {
                if (!options.nmea && message.type == kNmeaType) return;
                StatusLine line;
                if (!RenderMessage(message, line)) return;
                lines.push_back(Line(options, message.timestamp, line.mnemonic, line.text));
            });
            break;
        case ChunkKind::Sent:
            if (!options.requests) break;
            for (const std::uint8_t byte : chunk.bytes)
                if (sent.Feed(byte, ms)) lines.push_back(Line(options, chunk.ms, "SENT", RequestName(sent.Message()).c_str()));
            break;
        }
    }
    return lines;
}

int DecodeMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    DecodeOptions options;
    std::string file;
    bool haveFile = false;
    for (const std::string& arg : args) {
        if (arg == "--no-nmea") {
            options.nmea = false;
        } else if (arg == "--time") {
            options.time = true;
        } else if (arg == "--requests") {
            options.requests = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return 0;
        } else if ((arg.starts_with("-") && arg != "-") || haveFile) {
            err << "tolvane-decode: unexpected argument '" << arg << "'\n" << kUsage;
            return 2;
        } else {
            file = arg;
            haveFile = true;
        }
    }

    std::string content;
    const bool fromInput = !haveFile || file == "-";
    const std::string name = fromInput ? std::string("standard input") : file;
    if (fromInput) {
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            err << "tolvane-decode: cannot read " << name << "\n";
            return 2;
        }
    } else {
        std::string error;
        if (!ReadWholeFile(file, content, error)) {
            err << "tolvane-decode: " << error << "\n";
            return 2;
        }
    }

    const Capture capture = ParseCapture(content);
    for (const std::size_t line : capture.badLines)
        err << "tolvane-decode: " << name << ": line " << line << " is not a capture line, skipped\n";
    for (const std::string& line : DecodeCapture(capture, options)) out << line << '\n';
    out.flush();
    return 0;
}

} // namespace tolvane
