// tolvane: the host program for a digital compass module. Its only options,
// --help and --version, are answered before Qt starts, so that they need no
// display.
#include <cstdio>
#include <string_view>

#include "app/tolvane_app.h"
#include "tolvane_version.h"

namespace {

constexpr const char* kUsage = "Usage: tolvane [--help | --version]\n";

constexpr const char* kHelp = R"(Watches, logs and configures a digital compass module on a serial port.
The port last open is opened again at start; File > COM Port picks another.

  --help       this text
  --version    the program's name and version

Settings: $XDG_CONFIG_HOME/Kelvaro/Tolvane.conf (~/.config when unset),
[Compass] COMPort and the device of each COM number under [Ports].
SIGTERM, SIGINT and SIGHUP close the program as File > Exit does.
See tolvane(1).
)";

} // namespace

int main(int argc, char** argv)
{
    // Read left to right: the first of --help and --version is answered,
    // anything else before it refused.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("tolvane %s\n", tolvane::kVersion);
            return 0;
        }
        std::fprintf(stderr, "tolvane: %s '%s'\n%s", arg.starts_with('-') ? "unknown option" : "unexpected argument",
                     argv[i], kUsage);
        return 2;
    }
    tolvane::CTolvaneApp app(argc, argv);
    app.Start();
    return tolvane::CTolvaneApp::exec();
}
