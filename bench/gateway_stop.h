// The end of a bench that runs tolvane-gateway on simulated modules.
#pragma once

#include <signal.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "support/sim_process.h"

namespace tolvane {

// The modules hold still first, their lines open, so that everything they
// sent reaches the gateway; then it stops cleanly, and they end. The
// gateway's exit status.
inline int StopGatewayAfterModules(SimProcess& gateway, std::vector<std::unique_ptr<SimProcess>>& sims)
{
    for (auto& sim : sims) ::kill(sim->Pid(), SIGSTOP);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int status = gateway.Stop(SIGTERM);
    for (auto& sim : sims) {
        ::kill(sim->Pid(), SIGCONT);
        sim->Stop(SIGTERM);
    }
    return status;
}

} // namespace tolvane
