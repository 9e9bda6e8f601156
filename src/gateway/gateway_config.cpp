#include "gateway/gateway_config.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "link/network_port.h"

namespace tolvane {
namespace {

enum class Scope : std::uint8_t { Module, Gateway, Mqtt };
// Where a setting may be given: on the command line, in the file, or both.
enum Where : unsigned { kArgs = 1, kFile = 2, kBoth = 3 };
// A setting is given once per module (or once for the gateway); settings
// that set the same thing share a slot, as --baud and --detect do.
enum class Slot : std::uint8_t {
    Source, Rate, Name, LogDir, CaptureDir, NmeaTcp, NmeaUdp, Interval, Config, Help, Version,
    MqttUrl, MqttTopic, MqttClientId, MqttUsername, MqttPasswordFile, MqttCaFile, MqttRate, MqttPlaintext
};

struct Target {
    GatewayConfig& gateway;
    ModuleConfig& module;
};

// Takes a value into `target`; false with `why` when it is refused.
using Apply = bool (*)(Target& target, const std::string& value, std::string& why);

struct Setting {
    std::string_view key; // "--KEY" on the command line, "KEY = VALUE" in a file
    Scope scope;
    unsigned where;
    bool takesValue;
    bool repeatable;
    Slot slot;
    Apply apply;
};

constexpr int kRates[] = {4800, 9600, 19200, 38400};
constexpr int kLongestInterval = 86400;
constexpr char kSourceForms[] = "a device path (from /), tcp://HOST:PORT or rfc2217://HOST:PORT";
constexpr char kNameRule[] =
    "a name is 1 to 64 letters, digits, '.', '_' or '-', not starting with '.' or '-' (it is part of file names)";

bool ApplySource(Target& t, const std::string& v, std::string& why)
{
    if (LooksLikeNetworkPort(v) ? !ParseNetworkPort(v) : !v.starts_with('/')) {
        why = "'" + v + "' is not " + kSourceForms;
        return false;
    }
    t.module.source = v;
    return true;
}

bool ApplyBaud(Target& t, const std::string& v, std::string& why)
{
    if (v == "detect") {
        t.module.detect = true;
        return true;
    }
    for (int rate : kRates) {
        if (v == std::to_string(rate)) {
            t.module.baud = rate;
            return true;
        }
    }
    why = "'" + v + "' is not 4800, 9600, 19200, 38400 or detect";
    return false;
}

bool ApplyDetect(Target& t, const std::string&, std::string&)
{
    t.module.detect = true;
    return true;
}

bool ApplyName(Target& t, const std::string& v, std::string& why)
{
    if (!IsModuleName(v)) {
        why = "'" + v + "': " + kNameRule;
        return false;
    }
    t.module.name = v;
    return true;
}

template <std::string ModuleConfig::*Folder>
bool ApplyFolder(Target& t, const std::string& v, std::string&)
{
    t.module.*Folder = v;
    return true;
}

bool ApplyNmeaTcp(Target& t, const std::string& v, std::string& why)
{
    t.module.nmeaTcp = ParseListenAddress(v, why);
    return t.module.nmeaTcp.has_value();
}

bool ApplyNmeaUdp(Target& t, const std::string& v, std::string& why)
{
    const auto destination = ParseDestination(v, why);
    if (destination) t.module.nmeaUdp.push_back(*destination);
    return destination.has_value();
}

bool ApplyInterval(Target& t, const std::string& v, std::string& why)
{
    int seconds = 0;
    const bool digits = v.size() <= 5 && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) seconds = std::stoi(v);
    if (seconds < 1 || seconds > kLongestInterval) {
        why = "'" + v + "' is not a whole number of seconds from 1 to 86400";
        return false;
    }
    t.gateway.statusIntervalS = seconds;
    return true;
}

bool ApplyConfig(Target& t, const std::string& v, std::string&)
{
    t.gateway.configFile = v;
    return true;
}

bool ApplyHelp(Target& t, const std::string&, std::string&)
{
    t.gateway.help = true;
    return true;
}

bool ApplyVersion(Target& t, const std::string&, std::string&)
{
    t.gateway.version = true;
    return true;
}

// An [mqtt] key (or --mqtt), taken by mqtt_config.
template <bool (*ApplyTo)(MqttConfig&, const std::string&, std::string&)>
bool ApplyMqtt(Target& t, const std::string& v, std::string& why)
{
    if (!t.gateway.mqtt) t.gateway.mqtt.emplace();
    return ApplyTo(*t.gateway.mqtt, v, why);
}

// Every option and key.
constexpr Setting kSettings[] = {
    {"source", Scope::Module, kBoth, true, false, Slot::Source, ApplySource},
    {"baud", Scope::Module, kBoth, true, false, Slot::Rate, ApplyBaud},
    {"detect", Scope::Module, kArgs, false, false, Slot::Rate, ApplyDetect},
    {"name", Scope::Module, kArgs, true, false, Slot::Name, ApplyName},
    {"log-dir", Scope::Module, kBoth, true, false, Slot::LogDir, ApplyFolder<&ModuleConfig::logDir>},
    {"capture-dir", Scope::Module, kBoth, true, false, Slot::CaptureDir, ApplyFolder<&ModuleConfig::captureDir>},
    {"nmea-tcp", Scope::Module, kBoth, true, false, Slot::NmeaTcp, ApplyNmeaTcp},
    {"nmea-udp", Scope::Module, kBoth, true, true, Slot::NmeaUdp, ApplyNmeaUdp},
    {"status-interval", Scope::Gateway, kBoth, true, false, Slot::Interval, ApplyInterval},
    {"config", Scope::Gateway, kArgs, true, false, Slot::Config, ApplyConfig},
    {"help", Scope::Gateway, kArgs, false, false, Slot::Help, ApplyHelp},
    {"version", Scope::Gateway, kArgs, false, false, Slot::Version, ApplyVersion},
    {"mqtt", Scope::Gateway, kArgs, true, false, Slot::MqttUrl, ApplyMqtt<ApplyMqttUrl>},
    {"url", Scope::Mqtt, kFile, true, false, Slot::MqttUrl, ApplyMqtt<ApplyMqttUrl>},
    {"topic", Scope::Mqtt, kFile, true, false, Slot::MqttTopic, ApplyMqtt<ApplyMqttTopic>},
    {"client-id", Scope::Mqtt, kFile, true, false, Slot::MqttClientId, ApplyMqtt<ApplyMqttClientId>},
    {"username", Scope::Mqtt, kFile, true, false, Slot::MqttUsername, ApplyMqtt<ApplyMqttUsername>},
    {"password-file", Scope::Mqtt, kFile, true, false, Slot::MqttPasswordFile, ApplyMqtt<ApplyMqttPasswordFile>},
    {"ca-file", Scope::Mqtt, kFile, true, false, Slot::MqttCaFile, ApplyMqtt<ApplyMqttCaFile>},
    {"orientation-rate", Scope::Mqtt, kFile, true, false, Slot::MqttRate, ApplyMqtt<ApplyMqttOrientationRate>},
    {"allow-plaintext", Scope::Mqtt, kFile, true, false, Slot::MqttPlaintext, ApplyMqtt<ApplyMqttAllowPlaintext>},
};

const Setting* FindSetting(std::string_view key, Where where)
{
    for (const Setting& s : kSettings)
        if (s.key == key && (s.where & where)) return &s;
    return nullptr;
}

// Where each slot was first given ("--baud", "line 3"), to refuse a second time.
using Given = std::map<Slot, std::string>;

// Takes `value` for `s`; false with `why` ("baud: '9601' is not ...").
bool Take(const Setting& s, Target& target, Given& given, const std::string& where, const std::string& value,
          std::string& why)
{
    const std::string name = where.starts_with("--") ? where : std::string(s.key);
    if (!s.repeatable && given.count(s.slot)) {
        why = name + ": already given (" + given[s.slot] + ")";
        return false;
    }
    given.emplace(s.slot, where);
    if (s.takesValue && value.empty()) {
        why = name + ": no value";
        return false;
    }
    if (s.apply(target, value, why)) return true;
    why = name + ": " + why;
    return false;
}

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// What two sources are compared by: a network port by host and port
// whatever its protocol (the same server port), a device path lexically.
std::string SourceKey(const std::string& source)
{
    if (const auto port = ParseNetworkPort(source)) {
        std::string host = port->host;
        std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
        return host + " " + port->port;
    }
    return std::filesystem::path(source).lexically_normal().string();
}

struct ModuleSection {
    ModuleConfig config;
    int line = 0; // of its [module NAME]
    Given given;

    std::string Label() const
    {
        return config.name.empty() ? "[module] of line " + std::to_string(line) : "[module " + config.name + "]";
    }
    // The line a key was given at ("line 4" -> "4").
    std::string LineOf(Slot slot) const { return given.at(slot).substr(5); }
};

// Sources and TCP servers that two modules would share.
bool CheckShared(const std::vector<ModuleSection>& modules, const std::string& fileName, std::string& error)
{
    for (std::size_t i = 0; i < modules.size(); ++i) {
        const ModuleSection& m = modules[i];
        const std::string at = fileName + ":";
        if (m.config.source.empty()) {
            error = at + std::to_string(m.line) + ": " + m.Label() + " has no source";
            return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            const ModuleSection& other = modules[j];
            if (SourceKey(m.config.source) == SourceKey(other.config.source)) {
                error = at + m.LineOf(Slot::Source) + ": source '" + m.config.source + "' is already the source of " +
                        other.Label() + " (line " + other.LineOf(Slot::Source) + ")";
                return false;
            }
            if (m.config.nmeaTcp && other.config.nmeaTcp && ListenersClash(*m.config.nmeaTcp, *other.config.nmeaTcp)) {
                error = at + m.LineOf(Slot::NmeaTcp) + ": nmea-tcp " + m.config.nmeaTcp->Text() +
                        " takes the port of " + other.Label() + "'s " + other.config.nmeaTcp->Text() + " (line " +
                        other.LineOf(Slot::NmeaTcp) + ")";
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool IsModuleName(std::string_view name)
{
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-';
    };
    return !name.empty() && name.size() <= 64 && name.front() != '.' && name.front() != '-' &&
           std::all_of(name.begin(), name.end(), allowed);
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    const bool failed = std::ferror(file);
    const int why = errno;
    std::fclose(file);
    if (failed) error = path + ": " + std::strerror(why);
    return !failed;
}

bool ParseConfigText(std::string_view text, const std::string& fileName, GatewayConfig& config, std::string& error)
{
    std::vector<ModuleSection> modules;
    Given gatewayGiven, mqttGiven;
    int gatewayLine = 0, mqttLine = 0;
    ModuleConfig none;
    std::optional<Scope> scope;
    int number = 0;
    const auto refuse = [&](int line, const std::string& what) {
        error = fileName + ":" + std::to_string(line) + ": " + what;
        return false;
    };
    for (std::size_t start = 0; start < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = Trim(text.substr(start, end - start));
        if (line.ends_with('\r')) line = Trim(line.substr(0, line.size() - 1));
        start = end + 1;
        const int at = number + 1;
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            if (!line.ends_with(']')) return refuse(at, "'" + std::string(line) + "' is not [SECTION]");
            const std::string_view inner = Trim(line.substr(1, line.size() - 2));
            const std::string_view kind = inner.substr(0, inner.find_first_of(" \t"));
            const std::string name(Trim(inner.substr(kind.size())));
            if (kind == "module") {
                if (!name.empty() && !IsModuleName(name)) return refuse(at, "[module " + name + "]: " + kNameRule);
                for (const ModuleSection& m : modules)
                    if (!name.empty() && m.config.name == name)
                        return refuse(at, m.Label() + " again (first at line " + std::to_string(m.line) + ")");
                modules.push_back({});
                modules.back().config.name = name;
                modules.back().line = at;
                scope = Scope::Module;
            } else if (kind == "gateway" && name.empty()) {
                if (gatewayLine)
                    return refuse(at, "[gateway] again (first at line " + std::to_string(gatewayLine) + ")");
                gatewayLine = at;
                scope = Scope::Gateway;
            } else if (kind == "mqtt" && name.empty()) {
                if (mqttLine) return refuse(at, "[mqtt] again (first at line " + std::to_string(mqttLine) + ")");
                mqttLine = at;
                config.mqtt.emplace();
                scope = Scope::Mqtt;
            } else {
                return refuse(at, "unknown section [" + std::string(inner) +
                                      "] (sections: [module NAME], [gateway], [mqtt])");
            }
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) return refuse(at, "'" + std::string(line) + "' is not KEY = VALUE");
        const std::string key(Trim(line.substr(0, equals)));
        const std::string value(Trim(line.substr(equals + 1)));
        if (!scope) return refuse(at, "'" + key + "' comes before any section");
        const Setting* s = FindSetting(key, kFile);
        const bool inModule = *scope == Scope::Module;
        const char* section = *scope == Scope::Mqtt ? "[mqtt]" : "[gateway]";
        if (!s || s->scope != *scope)
            return refuse(at, "unknown key '" + key + "' in " + (inModule ? modules.back().Label() : section));
        Target target{config, inModule ? modules.back().config : none};
        Given& given = inModule ? modules.back().given : *scope == Scope::Mqtt ? mqttGiven : gatewayGiven;
        std::string why;
        if (!Take(*s, target, given, "line " + std::to_string(at), value, why)) return refuse(at, why);
    }
    if (modules.empty()) {
        error = fileName + ": no [module NAME] section";
        return false;
    }
    if (!CheckShared(modules, fileName, error)) return false;
    config.modules.clear();
    for (ModuleSection& m : modules) config.modules.push_back(std::move(m.config));
    return true;
}

std::optional<GatewayConfig> ParseGatewayArgs(const std::vector<std::string>& args, std::string& error,
                                              const ReadText& read)
{
    GatewayConfig config;
    ModuleConfig module;
    Target target{config, module};
    Given given;
    std::string firstModuleOption;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        const Setting* s = option.starts_with("--") ? FindSetting(std::string_view(option).substr(2), kArgs) : nullptr;
        if (!s) {
            error = "unknown option '" + option + "' (see --help)";
            return std::nullopt;
        }
        if (s->takesValue && i + 1 >= args.size()) {
            error = option + " needs a value";
            return std::nullopt;
        }
        const std::string value = s->takesValue ? args[++i] : std::string();
        if (!Take(*s, target, given, option, value, error)) return std::nullopt;
        if (s->scope == Scope::Module && firstModuleOption.empty()) firstModuleOption = option;
    }
    if (config.help || config.version) return config;
    if (!config.configFile.empty()) {
        if (!firstModuleOption.empty()) {
            error = firstModuleOption + ": not with --config, whose file gives the modules";
            return std::nullopt;
        }
        std::string text, why;
        if (!read(config.configFile, text, why)) {
            error = "--config: " + why;
            return std::nullopt;
        }
        GatewayConfig fromFile;
        if (!ParseConfigText(text, config.configFile, fromFile, error)) return std::nullopt;
        config.modules = std::move(fromFile.modules);
        // The command line wins over the file.
        if (!given.count(Slot::Interval)) config.statusIntervalS = fromFile.statusIntervalS;
        if (fromFile.mqtt && config.mqtt) {
            fromFile.mqtt->tls = config.mqtt->tls;
            fromFile.mqtt->host = config.mqtt->host;
            fromFile.mqtt->port = config.mqtt->port;
        }
        if (fromFile.mqtt) config.mqtt = std::move(fromFile.mqtt);
    } else if (module.source.empty()) {
        error = "no --source given (or --config FILE)";
        return std::nullopt;
    } else {
        config.modules.push_back(std::move(module));
    }
    std::vector<std::string> names;
    for (const ModuleConfig& m : config.modules) names.push_back(m.name);
    if (config.mqtt && !FinishMqttConfig(*config.mqtt, names, read, error)) return std::nullopt;
    return config;
}

std::string GatewayUsage()
{
    return "Usage: tolvane-gateway --source SOURCE [--baud N | --detect] [--name NAME] [--log-dir DIR] "
           "[--capture-dir DIR] [--nmea-tcp [ADDR:]PORT] [--nmea-udp HOST:PORT] [--status-interval S] [--mqtt URL]\n"
           "   or: tolvane-gateway --config FILE [--status-interval S] [--mqtt URL]";
}

std::string GatewayHelpText()
{
    return GatewayUsage() + R"(
Records compass modules unattended and serves their heading, pitch and roll
as NMEA 0183. Status lines (JSON) go to standard output, errors to standard
error. SIGHUP reopens the recordings; SIGTERM and SIGINT close every module.

One module
  --source SOURCE        a device path, tcp://HOST:PORT or rfc2217://HOST:PORT
  --baud N               4800, 9600, 19200 or 38400 (9600)
  --detect               find the rate first, trying each in turn
  --name NAME            names the recordings (the serial number)
  --log-dir DIR          the orientation log, NAME-YYYYMMDD-HHMMSS.log (none)
  --capture-dir DIR      the raw capture, NAME-YYYYMMDD-HHMMSS.tcap (none)
  --nmea-tcp [ADDR:]PORT serve NMEA on ADDR (127.0.0.1) to 16 clients (none)
  --nmea-udp HOST:PORT   send NMEA datagrams to HOST, again for more (none)
  HOST and ADDR are IPv4 addresses or IPv6 addresses in brackets.

Several modules
  --config FILE          one [module NAME] section per module ([module]
                         alone: named by its serial number), its keys the
                         options above without "--" (baud = detect for
                         --detect); [gateway] may set status-interval

  --status-interval S    a status line per module every S seconds (10)
  --mqtt URL             publish to the MQTT broker at mqtt://HOST[:PORT]
                         or mqtts://HOST[:PORT] (TLS), under tolvane/NAME/;
                         the file's [mqtt] section also takes topic,
                         client-id, username, password-file, ca-file,
                         orientation-rate and allow-plaintext
  --help                 this text
  --version              the gateway's name and version
)";
}

} // namespace tolvane
