#include "gateway/mqtt_config.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>

namespace tolvane {
namespace {

bool IsDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A host name's characters (letters, digits, '.', '-'), not starting with '-'.
bool IsHostName(std::string_view host)
{
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    };
    return !host.empty() && host.size() <= 253 && host.front() != '-' &&
           std::all_of(host.begin(), host.end(), allowed);
}

} // namespace

bool ApplyMqttUrl(MqttConfig& c, const std::string& v, std::string& why)
{
    why = "'" + v + "' is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    std::string_view rest(v);
    const bool tls = rest.starts_with("mqtts://");
    if (!tls && !rest.starts_with("mqtt://")) return false;
    rest.remove_prefix(tls ? 8 : 7);
    std::string host;
    std::string_view port;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) return false;
        host = std::string(rest.substr(1, close - 1));
        in6_addr scratch{};
        if (inet_pton(AF_INET6, host.c_str(), &scratch) != 1) return false;
        rest.remove_prefix(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) return false;
        port = rest.empty() ? rest : rest.substr(1);
        if (rest == ":") return false;
    } else {
        const auto colon = rest.find(':');
        host = std::string(rest.substr(0, colon));
        if (!IsHostName(host)) return false;
        if (colon != std::string_view::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return false;
        }
    }
    std::uint16_t number = tls ? kMqttsPort : kMqttPort;
    if (!port.empty()) {
        const long value = IsDigits(port) && port.size() <= 5 && port.front() != '0' ? std::atol(port.data()) : 0;
        if (value < 1 || value > 65535) return false;
        number = static_cast<std::uint16_t>(value);
    }
    c.tls = tls;
    c.host = host;
    c.port = number;
    why.clear();
    return true;
}

bool ApplyMqttTopic(MqttConfig& c, const std::string& v, std::string& why)
{
    // The topics made under it must be plain names: no wildcards, no
    // empty level, nothing of the broker's own ($SYS).
    const bool plain = v.find_first_of("+#") == std::string::npos && v.front() != '$' && v.front() != '/' &&
                       v.back() != '/' && v.find("//") == std::string::npos && v.size() <= 200 &&
                       std::none_of(v.begin(), v.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x20; });
    if (!plain) {
        why = "'" + v + "' is not a topic of levels a/b/c, without '+', '#', empty levels or a leading '$'";
        return false;
    }
    c.topic = v;
    return true;
}

bool ApplyMqttClientId(MqttConfig& c, const std::string& v, std::string& why)
{
    const auto allowed = [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '.' ||
               ch == '_' || ch == '-';
    };
    if (v.size() > 64 || !std::all_of(v.begin(), v.end(), allowed)) {
        why = "'" + v + "' is not 1 to 64 letters, digits, '.', '_' or '-'";
        return false;
    }
    c.clientId = v;
    return true;
}

bool ApplyMqttUsername(MqttConfig& c, const std::string& v, std::string&)
{
    c.username = v;
    return true;
}

bool ApplyMqttPasswordFile(MqttConfig& c, const std::string& v, std::string&)
{
    c.passwordFile = v;
    return true;
}

bool ApplyMqttCaFile(MqttConfig& c, const std::string& v, std::string&)
{
    c.caFile = v;
    return true;
}

bool ApplyMqttOrientationRate(MqttConfig& c, const std::string& v, std::string& why)
{
    // Digits with at most one '.' between them: 10, 0.5, 2.5.
    const auto dot = v.find('.');
    const bool decimal = dot == std::string::npos ? IsDigits(v)
                                                  : IsDigits(v.substr(0, dot)) && IsDigits(v.substr(dot + 1));
    const double rate = decimal && v.size() <= 8 ? std::strtod(v.c_str(), nullptr) : 0;
    if (rate < 0.1 || rate > 1000) {
        why = "'" + v + "' is not a number of messages a second from 0.1 to 1000";
        return false;
    }
    c.orientationRate = rate;
    return true;
}

bool ApplyMqttAllowPlaintext(MqttConfig& c, const std::string& v, std::string& why)
{
    if (v != "yes" && v != "no") {
        why = "'" + v + "' is not yes or no";
        return false;
    }
    c.allowPlaintext = v == "yes";
    return true;
}

bool IsLoopbackHost(std::string_view host)
{
    const std::string text(host);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return text == "localhost";
}

bool FinishMqttConfig(MqttConfig& c, const std::vector<std::string>& moduleNames,
                      const std::function<bool(const std::string&, std::string&, std::string&)>& read,
                      std::string& error)
{
    if (c.port == 0) {
        error = "[mqtt]: no url";
        return false;
    }
    for (const std::string& name : moduleNames) {
        if (name.empty()) {
            error = "[mqtt]: every module needs a name (--name, or [module NAME]): its topics are TOPIC/NAME/...";
            return false;
        }
    }
    if (c.passwordFile.empty()) return true;
    if (c.username.empty()) {
        error = "[mqtt]: password-file without a username";
        return false;
    }
    std::string text, why;
    if (!read(c.passwordFile, text, why)) {
        error = "[mqtt]: password-file: " + why;
        return false;
    }
    // The first line, without its line end.
    text = text.substr(0, text.find_first_of("\r\n"));
    if (text.empty()) {
        error = "[mqtt]: password-file: " + c.passwordFile + " holds no password";
        return false;
    }
    c.password = text;
    if (!c.tls && !c.allowPlaintext && !IsLoopbackHost(c.host)) {
        error = "[mqtt]: the password would cross the network unencrypted to " + c.host +
                " (mqtt://); use mqtts://, or allow-plaintext = yes";
        return false;
    }
    return true;
}

} // namespace tolvane
