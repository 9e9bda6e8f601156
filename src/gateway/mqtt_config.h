// Where the gateway publishes to an MQTT broker, and how: the [mqtt]
// section of its configuration file, or --mqtt URL on its command line.
// The password is only ever read from a file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

inline constexpr std::uint16_t kMqttPort = 1883;
inline constexpr std::uint16_t kMqttsPort = 8883;

struct MqttConfig {
    bool tls = false;           // mqtts://
    std::string host;           // a name or an address, without brackets
    std::uint16_t port = 0;     // 0 until a url is given
    std::string topic = "tolvane";
    std::string clientId;       // empty: the broker's library makes one per connection
    std::string username;
    std::string passwordFile;
    std::string password;       // read from passwordFile at start
    std::string caFile;         // empty: the system's certificate store
    double orientationRate = 0; // orientation messages a second; 0: every one
    bool allowPlaintext = false;

    friend bool operator==(const MqttConfig&, const MqttConfig&) = default;
};

// Each takes one key's value; false with `why` ("'x' is not ...").
bool ApplyMqttUrl(MqttConfig& config, const std::string& value, std::string& why);
bool ApplyMqttTopic(MqttConfig& config, const std::string& value, std::string& why);
bool ApplyMqttClientId(MqttConfig& config, const std::string& value, std::string& why);
bool ApplyMqttUsername(MqttConfig& config, const std::string& value, std::string& why);
bool ApplyMqttPasswordFile(MqttConfig& config, const std::string& value, std::string& why);
bool ApplyMqttCaFile(MqttConfig& config, const std::string& value, std::string& why);
bool ApplyMqttOrientationRate(MqttConfig& config, const std::string& value, std::string& why);
bool ApplyMqttAllowPlaintext(MqttConfig& config, const std::string& value, std::string& why);

// Whether `host` is this computer: 127.0.0.0/8, ::1 or "localhost".
bool IsLoopbackHost(std::string_view host);

// The checks that need the whole configuration, once it is read: a url,
// every module named (its topics carry the name), the password read from
// its file through `read`, and no password in plain text to another
// computer unless allowed. False with `error`.
bool FinishMqttConfig(MqttConfig& config, const std::vector<std::string>& moduleNames,
                      const std::function<bool(const std::string&, std::string&, std::string&)>& read,
                      std::string& error);

} // namespace tolvane
