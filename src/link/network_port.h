// A COM number may lead to a compass on the network instead of a device:
// "tcp://HOST:PORT" is a raw TCP byte stream, "rfc2217://HOST:PORT" a Telnet
// connection whose COM-PORT-OPTION sets the remote port's line. HOST is a
// name, an IPv4 address or an IPv6 address in brackets.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

struct NetworkPort {
    bool rfc2217 = false;
    std::string host; // without brackets
    std::string port; // 1..65535, in decimal digits

    friend bool operator==(const NetworkPort&, const NetworkPort&) = default;
};

// The network port `path` names; nothing for a device path or a malformed one.
std::optional<NetworkPort> ParseNetworkPort(std::string_view path);
// True when `path` starts like a network port, well formed or not.
bool LooksLikeNetworkPort(std::string_view path);
// Why `path`, which starts like a network port, is none ("tcp://host is
// not a network address: it names no port. Write ..."); empty for a well
// formed network port and for a device path.
std::string NetworkPortProblem(std::string_view path);

} // namespace tolvane
