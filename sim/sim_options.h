// What tolvane-sim is told on its command line.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tolvane::sim {

struct SimOptions {
    int baud = 9600;
    bool ignoreSpeed = false;
    std::string link;  // symbolic link to the slave, made at start and removed at exit
    bool powerOnOpen = false; // off, deaf and silent, until a host first opens the line

    // Identity (--firmware sets the version).
    int versionMajor = 1;
    int versionMinor = 4;
    std::uint16_t optionBits = 0x0101; // letters A and I: bit 0 and bit 8
    std::int32_t serial = 24601;
    int upAxis = 3;      // Z
    int forwardAxis = 1; // X
    std::uint16_t testResult = 0;

    std::string flashFile; // start-up defaults survive restarts here

    // Unsolicited messages.
    bool rfu = false;  // 18-byte orientation payloads
    double nmeaHz = 0; // heading sentences
    double gpsHz = 0;  // DRMC and DGPVT fixes
    double latitude = 47.6062;
    double longitude = -122.3321;

    // Faults.
    bool silent = false;
    std::set<std::uint8_t> silentFor;
    bool incompatible = false;
    bool flashFail = false;
    double corrupt = 0; // fraction of frames with a byte flipped
    double noise = 0;   // chance of random bytes before each message
    bool burst = false;
    double unplugAfter = 0; // seconds; 0 never
    std::string record;     // JSON lines of the requests received
    std::string sendTimes;  // when each orientation message went out
    std::uint32_t seed = 1;

    // Replay of a capture's received bytes instead of a module.
    std::string replay;
    double speed = 1;

    bool help = false;
    bool version = false; // the program's own, not the module's
};

// Parses argv[1..]. On a bad argument returns nothing and sets `error` to
// a one-line message naming it.
std::optional<SimOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

// Every option with its default, for --help.
std::string HelpText();

} // namespace tolvane::sim
