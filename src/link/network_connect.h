// Connecting to a network port without freezing the program: the name is
// resolved on a thread of its own and the connection waits in short slices,
// a caller's hook running between them, within one overall time limit.
#pragma once

#include <chrono>
#include <functional>

#include "link/device_link.h"
#include "link/network_port.h"

namespace tolvane {

inline constexpr std::chrono::milliseconds kConnectTimeout{3000};

// A connected, nonblocking TCP socket, or -1 with `why` saying what failed
// (Unreachable, with the address and the reason in its detail).
int ConnectToNetworkPort(const NetworkPort& port, const std::function<void()>& waitHook, PortProbe& why,
                         std::chrono::milliseconds timeout = kConnectTimeout);

// Unreachable, with "HOST:PORT: `reason`" as its detail.
PortProbe Unreachable(const NetworkPort& port, const std::string& reason);

// Waits up to `timeout` for `done`, running `waitHook` every few milliseconds.
bool WaitWithHook(const std::function<bool()>& done, const std::function<void()>& waitHook,
                  std::chrono::milliseconds timeout);

} // namespace tolvane
