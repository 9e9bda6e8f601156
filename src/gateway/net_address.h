// The gateway's own network addresses: where a module's NMEA server
// listens and where its datagrams go. They are numeric (an IPv4 address or
// an IPv6 address in brackets, as the network ports write them), so that
// checking a configuration never waits on a name server.
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

struct SocketAddress {
    bool ipv6 = false;
    std::array<std::uint8_t, 16> bytes{}; // network order; IPv4 in the first four
    std::uint16_t port = 0;

    // 0.0.0.0 or [::]: every interface.
    bool Wildcard() const;
    // "127.0.0.1:10110", "[::1]:10110".
    std::string Text() const;
    socklen_t ToSockaddr(sockaddr_storage& out) const;
    friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

// The address family and address without a port; `ipv6` set when in brackets.
std::optional<SocketAddress> ParseHost(std::string_view text);
// "[ADDR:]PORT" to listen on; a bare port is 127.0.0.1, serving this
// computer only. Nothing, with `why`, when malformed.
std::optional<SocketAddress> ParseListenAddress(std::string_view text, std::string& why);
// "HOST:PORT" to send to.
std::optional<SocketAddress> ParseDestination(std::string_view text, std::string& why);
// Whether two servers could not both listen: the same port in the same
// family, on the same address or one of them on every address. (IPv6
// listeners take IPv6 only, so the families never meet.)
bool ListenersClash(const SocketAddress& a, const SocketAddress& b);

// The address of a socket bound or connected in either family.
SocketAddress FromSockaddr(const sockaddr_storage& in);

} // namespace tolvane
