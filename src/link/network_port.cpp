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

} // namespace

bool LooksLikeNetworkPort(std::string_view path)
{
    return path.starts_with(kTcp) || path.starts_with(kRfc2217);
}

std::optional<NetworkPort> ParseNetworkPort(std::string_view path)
{
    NetworkPort found;
    if (path.starts_with(kTcp)) {
        path.remove_prefix(kTcp.size());
    } else if (path.starts_with(kRfc2217)) {
        path.remove_prefix(kRfc2217.size());
        found.rfc2217 = true;
    } else {
        return std::nullopt;
    }
    // A trailing slash is what a URL usually allows.
    if (path.ends_with('/')) path.remove_suffix(1);
    const auto colon = path.rfind(':');
    if (colon == std::string_view::npos || !IsPortNumber(path.substr(colon + 1))) return std::nullopt;
    std::string_view host = path.substr(0, colon);
    if (host.starts_with('[')) {
        if (!host.ends_with(']') || host.size() < 3) return std::nullopt;
        host = host.substr(1, host.size() - 2);
        if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) return std::nullopt;
    } else if (host.empty() || host.find_first_of(":[]/@ ") != std::string_view::npos) {
        return std::nullopt;
    }
    found.host = std::string(host);
    found.port = std::string(path.substr(colon + 1));
    return found;
}

} // namespace tolvane
