#include "capture/capture_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <istream>
#include <limits>
#include <sstream>
#include <string_view>
#include <utility>

#include "link/framing.h"

namespace tolvane {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool ParseUnsigned(std::string_view text, std::uint64_t& out)
{
    if (text.empty() || text.size() > 19) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    out = v;
    return true;
}

// Splits off the text up to the next space.
std::string_view NextField(std::string_view& rest)
{
    const auto space = rest.find(' ');
    const std::string_view field = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    return field;
}

} // namespace

// The value of `key=` in the header; the device runs to the line end
// because a path may hold spaces.
void ParseHeaderLine(std::string_view line, CaptureHeader& header)
{
    line.remove_prefix(std::strlen(kCaptureMagic));
    if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    std::uint64_t n = 0;
    if (ParseUnsigned(NextField(line), n)) header.version = static_cast<int>(n);
    while (!line.empty()) {
        if (line.starts_with("device=")) {
            header.device = std::string(line.substr(7));
            break;
        }
        const std::string_view field = NextField(line);
        if (field.starts_with("baud=") && ParseUnsigned(field.substr(5), n)) header.baud = static_cast<int>(n);
        if (field.starts_with("start=")) header.startTime = std::string(field.substr(6));
    }
}

bool ParseChunkLine(std::string_view line, CaptureChunk& chunk)
{
    chunk.bytes.clear(); // kept allocated: a reader reuses its chunk
    chunk.lost = 0;
    if (line.size() < 3 || line[1] != ' ') return false;
    const char kind = line[0];
    if (kind != 'R' && kind != 'T' && kind != 'G') return false;
    chunk.kind = static_cast<ChunkKind>(kind);
    line.remove_prefix(2);
    std::uint64_t ms = 0;
    if (!ParseUnsigned(NextField(line), ms) || ms > static_cast<std::uint64_t>(kCaptureMaxMs)) return false;
    chunk.ms = static_cast<std::int64_t>(ms);
    if (chunk.kind == ChunkKind::Gap) return ParseUnsigned(line, chunk.lost) && chunk.lost > 0;

    // Pairs of digits, each followed by a space or the line's end; read in
    // place, as this runs for every line a replay plays as fast as it can.
    for (std::size_t i = 0; i < line.size(); i += 3) {
        if (line.size() - i < 2 || (line.size() - i > 2 && line[i + 2] != ' ')) return false;
        const int high = HexDigitValue(static_cast<std::uint8_t>(line[i]));
        const int low = HexDigitValue(static_cast<std::uint8_t>(line[i + 1]));
        if (high < 0 || low < 0) return false;
        chunk.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return !chunk.bytes.empty();
}

bool ReadWholeFile(const std::string& path, std::string& content, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    bool failed = file == nullptr;
    char buffer[65536];
    while (!failed) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        content.append(buffer, n);
        if (n < sizeof buffer) {
            failed = std::ferror(file) != 0; // a folder opens but fails here
            break;
        }
    }
    const int reason = errno;
    if (file) std::fclose(file);
    if (failed) error = "cannot read " + path + ": " + std::strerror(reason);
    return !failed;
}

std::string LocalStartTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

std::string FormatHeader(const CaptureHeader& header)
{
    return std::string(kCaptureMagic) + " " + std::to_string(header.version) + " baud=" + std::to_string(header.baud) +
           " start=" + header.startTime + " device=" + header.device + "\n";
}

std::string FormatChunkLine(ChunkKind kind, std::int64_t ms, const std::uint8_t* bytes, std::size_t count)
{
    std::string line(1, static_cast<char>(kind));
    line += ' ';
    line += std::to_string(ms);
    line.reserve(line.size() + count * 3 + 1);
    for (std::size_t i = 0; i < count; ++i) {
        line += ' ';
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0x0F];
    }
    line += '\n';
    return line;
}

std::string FormatGapLine(std::int64_t ms, std::uint64_t lost)
{
    return "G " + std::to_string(ms) + " " + std::to_string(lost) + "\n";
}

CaptureReader::CaptureReader(std::istream& in) : in_(in), line_(kLongestLine + 2, '\0')
{
    const std::string magic = std::string(kCaptureMagic) + " ";
    pending_.resize(magic.size());
    in_.read(pending_.data(), static_cast<std::streamsize>(magic.size()));
    pending_.resize(static_cast<std::size_t>(in_.gcount()));
    if (pending_ != magic) {
        raw_ = true;
        return;
    }
    std::string_view header;
    if (ReadLine(header, headerTooLong_)) ParseHeaderLine(magic + std::string(header), header_);
    pending_.clear();
}

bool CaptureReader::ReadLine(std::string_view& line, bool& tooLong)
{
    in_.getline(line_.data(), static_cast<std::streamsize>(line_.size()));
    const auto got = static_cast<std::size_t>(in_.gcount());
    if (got == 0 && in_.fail()) return false;
    // Without failbit the line ended at its LF (counted) or at the input's end.
    std::size_t length = in_.fail() || in_.eof() ? got : got - 1;
    if (in_.fail()) {
        // Longer than the buffer: the rest up to the LF is passed over unread.
        in_.clear(in_.rdstate() & ~std::ios::failbit);
        in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    tooLong = length > kLongestLine;
    if (tooLong) length = 0;
    if (length > 0 && line_[length - 1] == '\r') --length;
    line = std::string_view(line_.data(), length);
    return true;
}

bool CaptureReader::Next(CaptureChunk& chunk, const std::function<void(std::size_t line)>& skipped)
{
    chunk.bytes.clear(); // kept allocated: a reader reuses its chunk
    chunk.lost = 0;
    if (raw_) {
        std::string piece = std::move(pending_);
        pending_.clear();
        const std::size_t had = piece.size();
        piece.resize(kRawPiece);
        in_.read(piece.data() + had, static_cast<std::streamsize>(kRawPiece - had));
        piece.resize(had + static_cast<std::size_t>(in_.gcount()));
        if (piece.empty()) return false;
        chunk.bytes.assign(piece.begin(), piece.end());
        return true;
    }
    if (std::exchange(headerTooLong_, false) && skipped) skipped(1);
    std::string_view line;
    bool tooLong = false;
    while (ReadLine(line, tooLong)) {
        ++lineNumber_;
        if (line.empty() && !tooLong) continue;
        if (!tooLong && ParseChunkLine(line, chunk)) return true;
        chunk = CaptureChunk{};
        if (skipped) skipped(lineNumber_);
    }
    return false;
}

Capture ParseCapture(const std::string& content)
{
    std::istringstream in(content);
    CaptureReader reader(in);
    Capture capture;
    capture.raw = reader.Raw();
    capture.header = reader.Header();
    CaptureChunk chunk;
    while (reader.Next(chunk, [&](std::size_t line) { capture.badLines.push_back(line); }))
        capture.chunks.push_back(std::move(chunk));
    return capture;
}

} // namespace tolvane
