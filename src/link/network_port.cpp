#include "link/network_port.h"

#include <algorithm>

namespace tolvane {
namespace {

constexpr std::string_view kTcp = "tcp://";
constexpr std::string_view kRfc2217 = "rfc2217://";

bool IsPortNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5 || digits.front() == '0') return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    return std::stoul(std::string(digits)) <= 65535;
}

constexpr const char* kBadHost = "its host is neither a name nor an address (an IPv6 address goes in brackets)";

// Fills `found` from `path`; nullptr, or why `path` names no network port.
const char* Parse(std::string_view path, NetworkPort& found)
{
    if (path.starts_with(kTcp)) {
        path.remove_prefix(kTcp.size());
    } else if (path.starts_with(kRfc2217)) {
        path.remove_prefix(kRfc2217.size());
        found.rfc2217 = true;
    } else {
        return "it starts with neither tcp:// nor rfc2217://";
    }
    // A trailing slash is what a URL usually allows.
    if (path.ends_with('/')) path.remove_suffix(1);
    const auto colon = path.rfind(':');
    if (colon == std::string_view::npos || colon + 1 == path.size() || path.ends_with(']')) return "it names no port";
    if (!IsPortNumber(path.substr(colon + 1))) return "its port is not a number from 1 to 65535";
    std::string_view host = path.substr(0, colon);
    if (host.empty()) return "it names no host";
    if (host.starts_with('[')) {
        if (!host.ends_with(']') || host.size() < 3) return kBadHost;
        host = host.substr(1, host.size() - 2);
        if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) return kBadHost;
    } else if (host.find_first_of(":[]/@ ") != std::string_view::npos) {
        return kBadHost;
    }
    found.host = std::string(host);
    found.port = std::string(path.substr(colon + 1));
    return nullptr;
}

} // namespace

bool LooksLikeNetworkPort(std::string_view path)
{
    return path.starts_with(kTcp) || path.starts_with(kRfc2217);
}

std::optional<NetworkPort> ParseNetworkPort(std::string_view path)
{
    NetworkPort found;
    if (Parse(path, found) != nullptr) return std::nullopt;
    return found;
}

std::string NetworkPortProblem(std::string_view path)
{
    NetworkPort found;
    const char* why = LooksLikeNetworkPort(path) ? Parse(path, found) : nullptr;
    if (why == nullptr) return {};
    return std::string(path) + " is not a network address: " + why + ".\nWrite tcp://HOST:PORT or rfc2217://HOST:PORT.";
}

} // namespace tolvane
