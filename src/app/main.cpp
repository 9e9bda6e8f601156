// tolvane: the host program for a digital compass module. Its options are
// read before Qt starts, so that --help and --version need no display.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/tolvane_app.h"
#include "tolvane_version.h"

namespace {

constexpr const char* kUsage = "Usage: tolvane [--replay FILE] [--help | --version]\n";

constexpr const char* kHelp = R"(Watches, logs and configures a digital compass module on a serial port.
The port last open is opened again at start; File > COM Port picks another.

  --replay FILE  play a capture (or a file of raw bytes) back in place of
                 the port, as File > Open Capture does
  --help         this text
  --version      the program's name and version

Settings: $XDG_CONFIG_HOME/Kelvaro/Tolvane.conf (~/.config when unset),
[Compass] COMPort and the device of each COM number under [Ports].
SIGTERM, SIGINT and SIGHUP close the program as File > Exit does.
See tolvane(1).
)";

} // namespace

int main(int argc, char** argv)
{
    const tolvane::CommandLine line = tolvane::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case tolvane::CommandLine::Action::Help:
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    case tolvane::CommandLine::Action::Version: std::printf("tolvane %s\n", tolvane::kVersion); return 0;
    case tolvane::CommandLine::Action::Refuse:
        std::fprintf(stderr, "tolvane: %s\n%s", line.error.c_str(), kUsage);
        return 2;
    case tolvane::CommandLine::Action::Run: break;
    }
    tolvane::CTolvaneApp app(argc, argv);
    app.Start(line.replay);
    return tolvane::CTolvaneApp::exec();
}
