// ser2net on 127.0.0.1 in front of a device (the simulator's pseudo-
// terminal), serving it as raw TCP or as Telnet with RFC 2217, for the
// network port tests. Started and stopped by its process id.
#pragma once

#include <memory>
#include <string>

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

} // namespace tolvane
