#include "link/port_map.h"

#include <utility>

namespace tolvane {

PortMap::PortMap()
{
    for (int port = kFirstPort; port <= kLastPort; ++port) paths_[port - kFirstPort] = DefaultPath(port);
}

std::string PortMap::DefaultPath(int port)
{
    if (port < kFirstPort || port > kLastPort) return {};
    if (port <= 2) return "/dev/ttyS" + std::to_string(port - 1);
    if (port <= 6) return "/dev/ttyUSB" + std::to_string(port - 3);
    return "/dev/ttyACM" + std::to_string(port - 7);
}

const std::string& PortMap::Path(int port) const
{
    static const std::string none;
    if (port < kFirstPort || port > kLastPort) return none;
    return paths_[port - kFirstPort];
}

void PortMap::SetPath(int port, std::string path)
{
    if (port < kFirstPort || port > kLastPort) return;
    paths_[port - kFirstPort] = std::move(path);
}

} // namespace tolvane
