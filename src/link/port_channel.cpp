#include "link/port_channel.h"

#include <unistd.h>

#include <utility>

#include "link/network_connect.h"
#include "link/network_port.h"
#include "link/rfc2217_channel.h"
#include "link/terminal_channel.h"

namespace tolvane {
namespace {

// Connects to the network port `path` names: the open channel, raw TCP or
// RFC 2217, or null with `why` telling the cause (a malformed address, an
// unreachable server).
std::unique_ptr<ByteChannel> OpenNetworkChannel(const std::string& path, const std::function<void()>& waitHook,
                                                PortProbe& why)
{
    const std::optional<NetworkPort> address = ParseNetworkPort(path);
    if (!address) {
        why = ProbeResult::Missing;
        why.detail = NetworkPortProblem(path);
        return nullptr;
    }
    const int fd = ConnectToNetworkPort(*address, waitHook, why);
    if (fd < 0) return nullptr;
    // Whatever allocates comes before the channel takes the socket.
    try {
        NetworkPort where = *address;
        if (!address->rfc2217) return std::make_unique<TcpChannel>(fd, std::move(where));
        TelnetClient client;
        std::vector<std::uint8_t> start = client.Start();
        return std::make_unique<Rfc2217Channel>(fd, std::move(where), client, std::move(start));
    } catch (...) {
        ::close(fd);
        why = ProbeResult::NotATerminal;
        return nullptr;
    }
}

} // namespace

std::unique_ptr<ByteChannel> OpenPortChannel(const std::string& path, int baud,
                                             const std::vector<std::string>& lockDirectories,
                                             const std::function<void()>& waitHook, PortProbe& why)
{
    if (LooksLikeNetworkPort(path)) return OpenNetworkChannel(path, waitHook, why);
    return OpenTerminal(path, baud, lockDirectories, why);
}

PortProbe ExaminePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories)
{
    if (port < kFirstPort || port > kLastPort) return ProbeResult::Missing;
    // A network port is not tried before it is opened: that would take a
    // server's only connection, or seconds.
    if (LooksLikeNetworkPort(map.Path(port)))
        return ParseNetworkPort(map.Path(port)) ? ProbeResult::Free : ProbeResult::Missing;
    return ExamineTerminal(map.Path(port), lockDirectories);
}

ProbeResult ProbePortReason(const PortMap& map, int port, const std::vector<std::string>& lockDirectories)
{
    return ExaminePort(map, port, lockDirectories).reason;
}

bool ProbePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories)
{
    return ProbePortReason(map, port, lockDirectories) == ProbeResult::Free;
}

} // namespace tolvane
