// A port's path and the channel it names: a network address
// ("tcp://HOST:PORT", "rfc2217://HOST:PORT") or a serial device. The one
// place where the kind of transport is chosen.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/byte_channel.h"

namespace tolvane {

// Opens the channel `path` names at `baud`, waiting on the network with
// `waitHook` run every few milliseconds; null with `why` telling the cause.
// Lock files are looked for in `lockDirectories` (empty: the default ones).
std::unique_ptr<ByteChannel> OpenPortChannel(const std::string& path, int baud,
                                             const std::vector<std::string>& lockDirectories,
                                             const std::function<void()>& waitHook, PortProbe& why);

// Opens and locks the device of `port` as the link would, then closes it at
// once; a network port is only checked for a well-formed address.
PortProbe ExaminePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});
ProbeResult ProbePortReason(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});
// True when the port could be used.
bool ProbePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});

} // namespace tolvane
