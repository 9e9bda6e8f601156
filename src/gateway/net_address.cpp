#include "gateway/net_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace tolvane {
namespace {

constexpr char kAddressForms[] = "an IPv4 address or an IPv6 address in brackets";

// 1..65535 in decimal digits without a leading zero, as the network ports
// write their port.
std::optional<std::uint16_t> ParsePort(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5 || digits.front() == '0') return std::nullopt;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::optional<SocketAddress> WithPort(std::string_view host, std::string_view port, std::string& why)
{
    auto address = ParseHost(host);
    if (!address) {
        why = "'" + std::string(host) + "' is not " + kAddressForms;
        return std::nullopt;
    }
    const auto number = ParsePort(port);
    if (!number) {
        why = "'" + std::string(port) + "' is not a port from 1 to 65535";
        return std::nullopt;
    }
    address->port = *number;
    return address;
}

// "HOST:PORT", HOST perhaps in brackets; false when no port follows.
bool SplitHostPort(std::string_view text, std::string_view& host, std::string_view& port)
{
    const auto colon = text.rfind(':');
    const auto close = text.rfind(']');
    if (colon == std::string_view::npos || (close != std::string_view::npos && colon < close)) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    return true;
}

} // namespace

bool SocketAddress::Wildcard() const
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

std::string SocketAddress::Text() const
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(ipv6 ? AF_INET6 : AF_INET, bytes.data(), text, sizeof text);
    return (ipv6 ? "[" + std::string(text) + "]" : std::string(text)) + ":" + std::to_string(port);
}

socklen_t SocketAddress::ToSockaddr(sockaddr_storage& out) const
{
    std::memset(&out, 0, sizeof out);
    if (ipv6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        std::memcpy(&in6.sin6_addr, bytes.data(), 16);
        return sizeof in6;
    }
    auto& in4 = reinterpret_cast<sockaddr_in&>(out);
    in4.sin_family = AF_INET;
    in4.sin_port = htons(port);
    std::memcpy(&in4.sin_addr, bytes.data(), 4);
    return sizeof in4;
}

SocketAddress FromSockaddr(const sockaddr_storage& in)
{
    SocketAddress address;
    if (in.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(in);
        address.ipv6 = true;
        std::memcpy(address.bytes.data(), &in6.sin6_addr, 16);
        address.port = ntohs(in6.sin6_port);
    } else {
        const auto& in4 = reinterpret_cast<const sockaddr_in&>(in);
        std::memcpy(address.bytes.data(), &in4.sin_addr, 4);
        address.port = ntohs(in4.sin_port);
    }
    return address;
}

std::optional<SocketAddress> ParseHost(std::string_view text)
{
    SocketAddress address;
    address.ipv6 = text.size() >= 2 && text.front() == '[' && text.back() == ']';
    if (address.ipv6) text = text.substr(1, text.size() - 2);
    const std::string host(text);
    if (inet_pton(address.ipv6 ? AF_INET6 : AF_INET, host.c_str(), address.bytes.data()) != 1) return std::nullopt;
    return address;
}

std::optional<SocketAddress> ParseListenAddress(std::string_view text, std::string& why)
{
    std::string_view host, port;
    if (!SplitHostPort(text, host, port)) return WithPort("127.0.0.1", text, why);
    return WithPort(host, port, why);
}

std::optional<SocketAddress> ParseDestination(std::string_view text, std::string& why)
{
    std::string_view host, port;
    if (!SplitHostPort(text, host, port)) {
        why = "'" + std::string(text) + "' is not HOST:PORT";
        return std::nullopt;
    }
    auto address = WithPort(host, port, why);
    if (address && address->Wildcard()) {
        why = "'" + std::string(text) + "' names no host to send to";
        return std::nullopt;
    }
    return address;
}

bool ListenersClash(const SocketAddress& a, const SocketAddress& b)
{
    return a.ipv6 == b.ipv6 && a.port == b.port && (a.bytes == b.bytes || a.Wildcard() || b.Wildcard());
}

} // namespace tolvane
