#include "sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace tolvane::sim {
namespace {

// A finite number: NaN passes every range check written as "refuse when
// below or above", so it is refused here for each option at once, as is
// infinity.
bool ParseDouble(const std::string& text, double& out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool ParseLong(const std::string& text, long& out, int base = 10)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0') return false;
    out = v;
    return true;
}

bool ParseFraction(const std::string& text, double& out)
{
    return ParseDouble(text, out) && out >= 0 && out <= 1;
}

std::vector<std::string> Split(const std::string& text, char by)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, by)) parts.push_back(part);
    if (!text.empty() && text.back() == by) parts.emplace_back();
    return parts;
}

bool ParseAxis(const std::string& text, int& out)
{
    long v = 0;
    if (!ParseLong(text, v) || v == 0 || v < -3 || v > 3) return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

std::optional<SimOptions> ParseOptions(const std::vector<std::string>& args, std::string& error)
{
    SimOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto bad = [&](const std::string& v, const char* what) {
            error = "bad value for " + name + ": '" + v + "' (" + what + ")";
            return std::nullopt;
        };
        std::string v;
        long n = 0;
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else if (name == "--baud") {
            if (!value(v)) return std::nullopt;
            if (!ParseLong(v, n) || (n != 4800 && n != 9600 && n != 19200 && n != 38400))
                return bad(v, "4800, 9600, 19200 or 38400");
            o.baud = static_cast<int>(n);
        } else if (name == "--ignore-speed") {
            o.ignoreSpeed = true;
        } else if (name == "--power-on-open") {
            o.powerOnOpen = true;
        } else if (name == "--link") {
            if (!value(v)) return std::nullopt;
            if (v.empty()) return bad(v, "a path");
            o.link = v;
        } else if (name == "--firmware") {
            if (!value(v)) return std::nullopt;
            const auto parts = Split(v, '.');
            long major = 0, minor = 0;
            if (parts.size() != 2 || !ParseLong(parts[0], major) || !ParseLong(parts[1], minor) || major < 0 ||
                major > 32767 || minor < 0 || minor > 99)
                return bad(v, "MAJOR.MINOR, as 1.04");
            o.versionMajor = static_cast<int>(major);
            o.versionMinor = static_cast<int>(minor);
        } else if (name == "--options") {
            if (!value(v)) return std::nullopt;
            std::uint16_t bits = 0;
            for (char c : v) {
                if (c < 'A' || c > 'P') return bad(v, "letters A to P, one per option bit");
                bits = static_cast<std::uint16_t>(bits | (1u << (c - 'A')));
            }
            o.optionBits = bits;
        } else if (name == "--serial") {
            if (!value(v)) return std::nullopt;
            if (!ParseLong(v, n) || n < INT32_MIN || n > INT32_MAX) return bad(v, "a 32-bit number");
            o.serial = static_cast<std::int32_t>(n);
        } else if (name == "--axes") {
            if (!value(v)) return std::nullopt;
            const auto parts = Split(v, ',');
            if (parts.size() != 2 || !ParseAxis(parts[0], o.upAxis) || !ParseAxis(parts[1], o.forwardAxis))
                return bad(v, "UP,FWD axis codes from -3 to 3 but 0, as 3,1");
        } else if (name == "--test-result") {
            if (!value(v)) return std::nullopt;
            if (!ParseLong(v, n, 16) || n < 0 || n > 0xFFFF) return bad(v, "hexadecimal, 0 to FFFF");
            o.testResult = static_cast<std::uint16_t>(n);
        } else if (name == "--flash") {
            if (!value(v)) return std::nullopt;
            if (v.empty()) return bad(v, "a file");
            o.flashFile = v;
        } else if (name == "--rfu") {
            o.rfu = true;
        } else if (name == "--nmea" || name == "--gps") {
            if (!value(v)) return std::nullopt;
            double hz = 0;
            if (!ParseDouble(v, hz) || hz < 0 || hz > 50) return bad(v, "0 to 50 per second");
            (name == "--nmea" ? o.nmeaHz : o.gpsHz) = hz;
        } else if (name == "--position") {
            if (!value(v)) return std::nullopt;
            const auto parts = Split(v, ',');
            if (parts.size() != 2 || !ParseDouble(parts[0], o.latitude) || !ParseDouble(parts[1], o.longitude) ||
                o.latitude < -90 || o.latitude > 90 || o.longitude < -180 || o.longitude > 180)
                return bad(v, "LAT,LON in degrees, north and east positive");
        } else if (name == "--silent") {
            o.silent = true;
        } else if (name == "--silent-for") {
            if (!value(v)) return std::nullopt;
            for (const auto& part : Split(v, ',')) {
                if (!ParseLong(part, n, 0) || n < 0 || n > 0xFF) return bad(v, "request types, as 0x50,0x54");
                o.silentFor.insert(static_cast<std::uint8_t>(n));
            }
        } else if (name == "--incompatible") {
            o.incompatible = true;
        } else if (name == "--flash-fail") {
            o.flashFail = true;
        } else if (name == "--corrupt" || name == "--noise") {
            if (!value(v)) return std::nullopt;
            double p = 0;
            if (!ParseFraction(v, p)) return bad(v, "a fraction from 0 to 1");
            (name == "--corrupt" ? o.corrupt : o.noise) = p;
        } else if (name == "--burst") {
            o.burst = true;
        } else if (name == "--unplug-after") {
            if (!value(v)) return std::nullopt;
            if (!ParseDouble(v, o.unplugAfter) || o.unplugAfter <= 0) return bad(v, "seconds, above 0");
        } else if (name == "--record") {
            if (!value(v)) return std::nullopt;
            if (v.empty()) return bad(v, "a file");
            o.record = v;
        } else if (name == "--send-times") {
            if (!value(v)) return std::nullopt;
            if (v.empty()) return bad(v, "a file");
            o.sendTimes = v;
        } else if (name == "--seed") {
            if (!value(v)) return std::nullopt;
            if (!ParseLong(v, n) || n < 0 || n > UINT32_MAX) return bad(v, "a number");
            o.seed = static_cast<std::uint32_t>(n);
        } else if (name == "--replay") {
            if (!value(v)) return std::nullopt;
            if (v.empty()) return bad(v, "a capture file");
            o.replay = v;
        } else if (name == "--speed") {
            if (!value(v)) return std::nullopt;
            if (!ParseDouble(v, o.speed) || o.speed < 0.01 || o.speed > 1000) return bad(v, "0.01 to 1000");
        } else {
            error = "unknown option '" + name + "' (see --help)";
            return std::nullopt;
        }
    }
    return o;
}

std::string HelpText()
{
    return R"(Usage: tolvane-sim [OPTION]...
Plays a digital compass module on a pseudo-terminal. Prints the terminal's
path as its first line, then runs until SIGINT or SIGTERM.

Line
  --baud RATE          line speed emulated: 4800, 9600, 19200, 38400 (9600)
  --ignore-speed       answer whatever speed the host sets (off: a host at
                       another speed is heard as noise and sent garbage)
  --link PATH          symbolic link to the terminal, removed on exit (none)
  --power-on-open      stay off until a host first opens the line, then
                       start as after a reset, as a module powered with its
                       adapter: the power-up message is the first the host
                       hears (off)

Module
  --firmware M.mm      firmware version (1.04)
  --options LETTERS    option bits, A = bit 0 .. P = bit 15 (AI)
  --serial N           serial number (24601)
  --axes UP,FWD        axis codes, 1 2 3 = X Y Z, negative for minus (3,1)
  --test-result HEX    self-test result bits (0)
  --flash FILE         keep the start-up defaults in FILE (in memory only)

Unsolicited messages
  --rfu                orientation messages with the six extra values (off)
  --nmea HZ            heading sentences per second (0)
  --gps HZ             DRMC and DGPVT fixes per second (0)
  --position LAT,LON   position of the fixes (47.6062,-122.3321)

Faults
  --silent             answer no request (off)
  --silent-for TYPES   answer none of these request types, as 0x50,0x54 (none)
  --incompatible       DINICAL of 6 bytes, DORRATE of 3, DSDFLT of 11 (off)
  --flash-fail         report failure after a start-up defaults load (off)
  --corrupt P          flip a byte in a fraction P of messages (0)
  --noise P            random bytes before a message, with chance P (0)
  --burst              orientation messages back to back at the line rate,
                       azimuth counting 0, 1, 2 ... (off)
  --unplug-after S     close the terminal after S seconds, as an adapter
                       pulled out (never)
  --record FILE        one JSON line per request received (none)
  --send-times FILE    a line "<ns> <azimuth>" for each orientation message
                       as its last byte reaches the terminal, ns on the
                       steady (monotonic) clock (none)
  --seed N             seed of the random faults (1)

Replay
  --replay FILE        play the bytes received in a capture file (or a raw
                       byte file) instead of a module, at their original
                       pace from when a host first opens the line; what
                       the host sends is ignored; the line stays open
                       afterwards (none)
  --speed X            replay X times as fast (1)

  --help               this text
  --version            the simulator's name and version
)";
}

} // namespace tolvane::sim
