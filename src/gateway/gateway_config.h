// What tolvane-gateway is told: which modules to serve and how, from its
// command line (one module) or from a configuration file with a
// [module NAME] section per module. A refusal is one line naming the
// option, or the file's line and key, and the value; the gateway then
// exits with kRefusedExitStatus having opened nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/mqtt_config.h"
#include "gateway/net_address.h"

namespace tolvane {

inline constexpr int kRefusedExitStatus = 2;
inline constexpr int kDefaultStatusIntervalS = 10;

struct ModuleConfig {
    std::string name;       // empty: the module is named by its serial number
    std::string source;     // a device path, tcp://HOST:PORT or rfc2217://HOST:PORT
    int baud = 9600;        // 4800, 9600, 19200 or 38400
    bool detect = false;    // find the rate first, as Compass > Baud Rate > Detect does
    std::string logDir;     // empty: no orientation log
    std::string captureDir; // empty: no capture
    std::optional<SocketAddress> nmeaTcp;
    std::vector<SocketAddress> nmeaUdp;

    friend bool operator==(const ModuleConfig&, const ModuleConfig&) = default;
};

struct GatewayConfig {
    std::vector<ModuleConfig> modules;
    int statusIntervalS = kDefaultStatusIntervalS;
    std::string configFile; // empty: the module came from the command line
    std::optional<MqttConfig> mqtt;
    bool help = false;
    bool version = false;

    friend bool operator==(const GatewayConfig&, const GatewayConfig&) = default;
};

// Reads a whole file into `text`; false with `error` saying why.
using ReadText = std::function<bool(const std::string& path, std::string& text, std::string& error)>;
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

// Parses argv[1..], reading the file of --config through `read`. With
// --help or --version nothing else is required. Nothing, and `error`, on
// a refusal.
std::optional<GatewayConfig> ParseGatewayArgs(const std::vector<std::string>& args, std::string& error,
                                              const ReadText& read = ReadTextFile);

// The sections of a configuration file's text into `config`: its modules
// and the [gateway] settings. Lines are "[SECTION]", "KEY = VALUE", empty,
// or comments starting with '#' or ';'. Every message starts with
// "FILE:LINE: ". False, with `error`, on a refusal.
bool ParseConfigText(std::string_view text, const std::string& fileName, GatewayConfig& config, std::string& error);

// Whether `name` can be part of a file name (and of a topic): 1 to 64
// letters, digits, '.', '_' or '-', not starting with '.' or '-'.
bool IsModuleName(std::string_view name);

// "Usage: tolvane-gateway ..." on one line.
std::string GatewayUsage();
// Every option and key with its default, for --help.
std::string GatewayHelpText();

} // namespace tolvane
