// The real tolvane-sim program, driven through SerialLink over its
// pseudo-terminal as the application drives a module.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "protocol/requests.h"
#include "sim_options.h"
#include "support/sim_process.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using namespace test;
namespace fs = std::filesystem;

class SimProcessTest : public ::testing::Test {
protected:
    std::unique_ptr<SerialLink> Open(const std::string& path, int baud = 9600)
    {
        return OpenLink(path, dir.path, baud);
    }
    // The reply to `request`, if one comes within 1.5 s.
    static std::optional<DeviceMessage> Ask(SerialLink& link, const OutgoingRequest& request)
    {
        const auto got = link.Send(request) < 0 ? std::vector<DeviceMessage>{} : Collect(link, 1500ms, request.type);
        return got.empty() || got.back().type != request.type ? std::nullopt : std::optional(got.back());
    }
    // The requests the simulator recorded, from their type on.
    std::vector<std::string> Recorded() const
    {
        std::ifstream in(dir / "requests");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find("\"type\"")));
        return lines;
    }

    TempDir dir;
};

// Keeps the start-up defaults in its flash file across a restart, records
// the requests and removes its link at exit. (A host at another speed, a
// burst and an unplug are in the fault suite.)
TEST_F(SimProcessTest, KeepsItsFlashRecordsRequestsAndRemovesItsLink)
{
    const auto link = dir / "com1", flash = dir / "flash";
    {
        SimProcess sim(TOLVANE_SIM_PATH, {"--link", link, "--record", dir / "requests", "--flash", flash});
        ASSERT_EQ(fs::read_symlink(link).string(), sim.Output());
        const auto loaded = Ask(*Open(link), StartupDefaultsLoadRequest({.mask = StartupDefaults::kDeclination |
                                                                                        StartupDefaults::kInterval,
                                                                                .declination = 1911,
                                                                                .interval = 250}));
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->payload[0], 1);
        EXPECT_EQ(sim.Stop(), 0);
        EXPECT_FALSE(fs::is_symlink(link));
        EXPECT_EQ(Recorded(), std::vector<std::string>{"\"type\":102,\"payload\":\"11007707000000000000fa00\"}"});
    }
    SimProcess sim(TOLVANE_SIM_PATH, {"--flash", flash});
    auto serial = Open(sim.Output(), 9600);
    const auto read = Ask(*serial, StartupDefaultsReadRequest());
    ASSERT_TRUE(read);
    const StartupDefaults back = Decode<StartupDefaults>(*read);
    EXPECT_EQ(back.declination, 1911);
    EXPECT_EQ(back.interval, 250);
    const auto rate = Ask(*serial, OrientationRateReadRequest());
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->payload[0] | rate->payload[1] << 8, 250); // working values start from flash
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimProcessTest, IgnoringTheSpeedAnswersAHostAtAnother)
{
    SimProcess sim(TOLVANE_SIM_PATH, {"--ignore-speed"});
    EXPECT_TRUE(Ask(*Open(sim.Output(), 19200), SerialNumberRequest()));
}

// What the simulator cannot start with ends it at once with status 2.
TEST_F(SimProcessTest, BadStartsExitWithTwoAndHelpWithZero)
{
    std::ofstream(dir / "plain") << "x";
    std::ofstream(dir / "flash") << "colour=blue\n";
    const std::vector<std::string> bad[] = {
        {"--baud", "1"}, {"--replay", dir / "none.tcap"}, {"--record", dir / "no/r"}, {"--send-times", dir / "no/t"},
        {"--link", dir / "plain"}, {"--flash", dir / "flash"},
    };
    for (const auto& args : bad) EXPECT_EQ(SimProcess(TOLVANE_SIM_PATH, args).Stop(0), 2) << args[0];
    SimProcess sim(TOLVANE_SIM_PATH, {"--help"});
    EXPECT_EQ(sim.Output(true), sim::HelpText());
    EXPECT_EQ(sim.Stop(0), 0);
}

} // namespace
} // namespace tolvane
