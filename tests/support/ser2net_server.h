// Servers on 127.0.0.1 for the network port tests, each started and
// stopped by its process id: ser2net in front of a device (the simulator's
// pseudo-terminal), serving it as raw TCP or as Telnet with RFC 2217, and
// a server of the tests' own that holds a connection.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/sim_process.h"

namespace tolvane {

class Ser2NetServer {
public:
    // Writes its configuration into `folder` and starts serving `device`
    // at `baud` 8N1 on a free loopback port.
    Ser2NetServer(const std::string& folder, const std::string& device, bool rfc2217, int baud = 9600);
    ~Ser2NetServer() { Stop(); }

    // False when ser2net is not installed or did not start listening.
    bool Listening() const { return listening_; }
    int Port() const { return port_; }
    std::string Path() const;
    // SIGKILL: as a crash or a pulled network cable would end it.
    void Stop();
    // Serves again on the same port.
    bool Start();

private:
    std::string config_;
    int port_ = 0;
    bool rfc2217_ = false;
    bool listening_ = false;
    std::unique_ptr<SimProcess> process_;
};

// A loopback TCP port nothing listens on (it was free a moment ago).
int FreeLoopbackPort();

// Takes one connection in a child process, writes `bytes` to it and then
// holds it open without reading, as a server that kept a backlog does, or
// a peer that has stopped reading (felt sooner with a `receiveBuffer`).
class HoldingPeer {
public:
    explicit HoldingPeer(const std::vector<std::uint8_t>& bytes, int receiveBuffer = 0);
    ~HoldingPeer(); // killed and reaped
    HoldingPeer(const HoldingPeer&) = delete;
    HoldingPeer& operator=(const HoldingPeer&) = delete;
    int Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace tolvane
