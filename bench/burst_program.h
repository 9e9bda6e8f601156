// The program under load, offscreen, for the benches: the main frame
// against tolvane-sim at 38400 baud in burst mode (orientation back to
// back, the azimuth counting messages 0, 1, 2 ...), on COM1.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <memory>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "link/serial_link.h"
#include "logging/log_file.h"
#include "resources/command_ids.h"
#include "support/sim_process.h"

namespace tolvane {

// User and system CPU time of this process so far, in seconds.
inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class BurstProgram {
    // First, so that they outlive the frame and the link.
    std::string linkPath_;
    SimProcess sim_;
    QSettings settings_;
    bool started_ = false;

public:
    // The simulator, with `simOptions` added, on a link in `dir`; the frame
    // made with `log`, switched to 38400 baud before its port opens, not
    // yet shown.
    BurstProgram(const QTemporaryDir& dir, LogFile& log, const std::vector<std::string>& simOptions = {})
        : linkPath_(dir.filePath("compass").toStdString()),
          sim_(TOLVANE_SIM_PATH, SimArguments(linkPath_, simOptions)),
          settings_(dir.filePath("Tolvane.conf"), QSettings::IniFormat)
    {
        started_ = !sim_.Output().empty();
        settings_.setValue("Compass/COMPort", 1);
        PortMap ports;
        ports.SetPath(1, linkPath_);
        link.SetPortMap(ports);
        frame = std::make_unique<CMainFrame>(link, log, settings_);
        frame->resize(1024, 768);
        frame->RunCommand(kCmdBaud38400); // before the port opens: only the rate moves
    }
    ~BurstProgram() { link.Close(); }

    // Whether the simulator came up.
    bool Started() const { return started_; }
    // Ends the simulator, which then writes out what it recorded.
    void StopSimulator() { sim_.Stop(); }

    SerialLink link;
    std::unique_ptr<CMainFrame> frame;

private:
    static std::vector<std::string> SimArguments(const std::string& linkPath, std::vector<std::string> extra)
    {
        std::vector<std::string> args{"--burst", "--baud", "38400", "--link", linkPath};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

} // namespace tolvane
