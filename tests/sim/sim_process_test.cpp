// The real tolvane-sim program: how it starts and ends. Driving it through
// the link is the end-to-end tests' part; its flash file is the module's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim_options.h"
#include "support/sim_process.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

// What it cannot start with ends it at once with status 2; --help prints
// the help text; a stop removes the link it made.
TEST(SimProcess, StartsAndEnds)
{
    const test::TempDir dir;
    std::ofstream(dir / "plain") << "x";
    std::ofstream(dir / "flash") << "colour=blue\n";
    const std::vector<std::string> bad[] = {
        {"--baud", "1"}, {"--replay", dir / "none.tcap"}, {"--record", dir / "no/r"}, {"--send-times", dir / "no/t"},
        {"--link", dir / "plain"}, {"--flash", dir / "flash"},
    };
    for (const auto& args : bad) EXPECT_EQ(SimProcess(TOLVANE_SIM_PATH, args).Stop(0), 2) << args[0];
    SimProcess help(TOLVANE_SIM_PATH, {"--help"});
    EXPECT_EQ(help.Output(true), sim::HelpText());
    EXPECT_EQ(help.Stop(0), 0);
    SimProcess sim(TOLVANE_SIM_PATH, {"--link", dir / "com1"});
    EXPECT_EQ(std::filesystem::read_symlink(dir / "com1").string(), sim.Output());
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "com1"));
}

} // namespace
} // namespace tolvane
