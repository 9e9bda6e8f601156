#include "capture/capture_decode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "protocol/angles.h"
#include "protocol/message_catalogue.h"
#include "protocol/messages.h"
#include "protocol/requests.h"
#include "tolvane_version.h"

namespace tolvane {
namespace {

const char* const kUsage =
    "Usage: tolvane-decode [--no-nmea] [--time] [--requests] [--csv] [FILE|-]\n"
    "Prints the messages of a capture file (or of raw bytes) as the message\n"
    "view shows them. Standard input when FILE is - or missing.\n"
    "  --no-nmea    leave out NMEA sentences\n"
    "  --time       prefix each line with its time in ms (not with --csv)\n"
    "  --requests   also print the requests sent\n"
    "  --csv        one CSV row per message: time, type, mnemonic, azimuth,\n"
    "               pitch and roll in degrees, or the text of the others\n"
    "  --help       this text\n"
    "  --version    the decoder's name and version\n";

} // namespace

std::string IsoTimeAfter(const std::string& startTime, std::int64_t ms)
{
    if (ms < 0 || ms > kCaptureMaxMs) return {};
    int year, month, day, hour, minute, second, offset;
    char sign;
    int used = 0;
    if (std::sscanf(startTime.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%4d%n", &year, &month, &day, &hour, &minute, &second,
                    &sign, &offset, &used) != 8 ||
        used != static_cast<int>(startTime.size()) || (sign != '+' && sign != '-'))
        return {};
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    // The wall-clock time at the same offset, counted as if it were UTC.
    const std::int64_t wallMs = static_cast<std::int64_t>(::timegm(&t)) * 1000 + ms;
    const std::time_t wall = static_cast<std::time_t>(wallMs / 1000);
    std::tm shown{};
    ::gmtime_r(&wall, &shown);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", shown.tm_year + 1900,
                  shown.tm_mon + 1, shown.tm_mday, shown.tm_hour, shown.tm_min, shown.tm_sec,
                  static_cast<int>(wallMs % 1000), sign, offset / 100, offset % 100);
    return text;
}

std::string CsvField(const std::string& text, bool always)
{
    if (!always && text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + '"';
}

CaptureDecoder::CaptureDecoder(const DecodeOptions& options, const CaptureHeader& header, bool raw,
                               std::function<void(const std::string&)> emit)
    : options_(options), startTime_(raw ? std::string() : header.startTime), emit_(std::move(emit))
{
}

void CaptureDecoder::Emit(std::int64_t ms, const char* mnemonic, const char* text, std::uint16_t type)
{
    char line[kStatusTextMax + 64];
    if (!options_.csv) {
        char prefix[24] = "";
        if (options_.time) std::snprintf(prefix, sizeof prefix, "%8lld  ", static_cast<long long>(ms));
        std::snprintf(line, sizeof line, "%s%-10s%s", prefix, mnemonic, text);
        emit_(line);
        return;
    }
    std::snprintf(line, sizeof line, "0x%02X", type);
    emit_(IsoTimeAfter(startTime_, ms) + "," + line + "," + CsvField(mnemonic) + ",,,," + CsvField(text, true));
}

void CaptureDecoder::Received(const DeviceMessage& message)
{
    if (!options_.nmea && message.type == kNmeaType) return;
    StatusLine line;
    if (!RenderMessage(message, line)) return;
    if (!options_.csv || message.type != static_cast<std::uint16_t>(MessageType::Orientation)) {
        Emit(message.timestamp, line.mnemonic, line.text, message.type);
        return;
    }
    const Orientation o = Decode<Orientation>(message);
    char row[160];
    std::snprintf(row, sizeof row, ",0x%02X,%s,%.3f,%.3f,%.3f,", message.type, line.mnemonic,
                  UnsignedAngleDegrees(o.azimuth), SignedAngleDegrees(o.pitch), SignedAngleDegrees(o.roll));
    emit_(IsoTimeAfter(startTime_, message.timestamp) + row);
}

void CaptureDecoder::Add(const CaptureChunk& chunk)
{
    switch (chunk.kind) {
    case ChunkKind::Gap: {
        // A frame cut by the gap would otherwise swallow what follows.
        received_.Reset();
        const std::string text = std::to_string(chunk.lost) + " bytes not captured";
        Emit(chunk.ms, "(gap)", text.c_str(), 0);
        break;
    }
    case ChunkKind::Received:
        received_.Feed(chunk.bytes.data(), chunk.bytes.size(), chunk.ms,
                       [this](const DeviceMessage& message) { Received(message); });
        break;
    case ChunkKind::Sent:
        if (!options_.requests) break;
        for (const std::uint8_t byte : chunk.bytes)
            if (sent_.Feed(byte, chunk.ms))
                Emit(chunk.ms, "SENT", RequestName(sent_.Message()).c_str(), sent_.Message().type);
        break;
    }
}

std::vector<std::string> DecodeCapture(const Capture& capture, const DecodeOptions& options)
{
    std::vector<std::string> lines;
    CaptureDecoder decoder(options, capture.header, capture.raw, [&](const std::string& line) { lines.push_back(line); });
    for (const CaptureChunk& chunk : capture.chunks) decoder.Add(chunk);
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
        } else if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return 0;
        } else if (arg == "--version") {
            out << "tolvane-decode " << kVersion << "\n";
            return 0;
        } else if ((arg.starts_with("-") && arg != "-") || haveFile) {
            err << "tolvane-decode: unexpected argument '" << arg << "'\n" << kUsage;
            return 2;
        } else {
            file = arg;
            haveFile = true;
        }
    }
    if (options.csv && options.time) {
        err << "tolvane-decode: --time and --csv do not go together: each CSV row starts with its time\n";
        return 2;
    }

    const bool fromInput = !haveFile || file == "-";
    const std::string name = fromInput ? std::string("standard input") : file;
    std::ifstream opened;
    if (!fromInput) {
        std::error_code error;
        if (std::filesystem::is_directory(file, error)) {
            err << "tolvane-decode: cannot read " << file << ": Is a directory\n";
            return 2;
        }
        opened.open(file, std::ios::binary);
        if (!opened) {
            err << "tolvane-decode: cannot read " << file << ": " << std::strerror(errno) << "\n";
            return 2;
        }
    }
    std::istream& source = fromInput ? in : opened;

    CaptureReader reader(source);
    // Rows end in CR LF, as RFC 4180 has them.
    const char* const end = options.csv ? "\r\n" : "\n";
    if (options.csv) out << kCsvHeader << end;
    CaptureDecoder decoder(options, reader.Header(), reader.Raw(), [&](const std::string& line) { out << line << end; });
    CaptureChunk chunk;
    while (reader.Next(chunk, [&](std::size_t line) {
        err << "tolvane-decode: " << name << ": line " << line << " is not a capture line, skipped\n";
    })) {
        decoder.Add(chunk);
        // Before waiting for more input, what it gave goes out, also into a
        // pipe, where the output is otherwise held until a buffer fills.
        if (source.rdbuf()->in_avail() <= 0) out.flush();
    }
    if (source.bad()) {
        err << "tolvane-decode: cannot read " << name << "\n";
        return 2;
    }
    out.flush();
    return 0;
}

} // namespace tolvane
