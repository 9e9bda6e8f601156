// The real tolvane-sim program, driven through SerialLink over its
// pseudo-terminal as the application drives a module.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/serial_link.h"
#include "protocol/requests.h"
#include "sim_options.h"
#include "support/sim_process.h"

extern char** environ;

namespace tolvane {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Messages = std::vector<DeviceMessage>;

constexpr std::uint16_t kOrientation = 0x70;

class SimProcessTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir / "lock"); }
    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<SerialLink> Open(const std::string& path, int baud = 9600)
    {
        auto link = std::make_unique<SerialLink>();
        PortMap map;
        map.SetPath(1, path);
        link->SetPortMap(map);
        link->SetLockDirectories({(dir / "lock").string()});
        EXPECT_EQ(link->Open(1, baud), 1) << path;
        return link;
    }

    // Messages over `span`, ending early at one of type `until`.
    static Messages Collect(SerialLink& link, std::chrono::milliseconds span, int until = -1)
    {
        Messages got;
        for (const auto end = Clock::now() + span; Clock::now() < end;) {
            DeviceMessage m;
            if (link.TakeMessage(m) == SerialLink::kEmpty) {
                std::this_thread::sleep_for(2ms);
            } else {
                got.push_back(m);
                if (m.type == until) break;
            }
        }
        return got;
    }
    // The reply to `request`, if one comes within `limit`.
    static std::optional<DeviceMessage> Ask(SerialLink& link, const OutgoingRequest& request,
                                            std::chrono::milliseconds limit = 1500ms)
    {
        if (link.Send(request) < 0) return std::nullopt;
        const Messages got = Collect(link, limit, request.type);
        if (got.empty() || got.back().type != request.type) return std::nullopt;
        return got.back();
    }
    static std::vector<std::string> Lines(const fs::path& file)
    {
        std::ifstream in(file);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find("\"type\"")));
        return lines;
    }

    const fs::path dir = fs::temp_directory_path() / ("tolvane-sim-e2e-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(SimProcessTest, AnswersThroughALinkAcrossReopenAndRecordsRequests)
{
    const auto link = (dir / "com1").string();
    SimProcess sim(TOLVANE_SIM_PATH, {"--link", link, "--record", (dir / "requests").string()});
    const std::string pty = sim.Output();
    ASSERT_EQ(pty.rfind("/dev/", 0), 0u) << pty;
    EXPECT_EQ(fs::read_symlink(link).string(), pty);

    auto serial = Open(link);
    const auto version = Ask(*serial, SerialNumberRequest());
    ASSERT_TRUE(version);
    EXPECT_EQ(version->length, 12);
    int orientations = 0;
    for (const auto& m : Collect(*serial, 450ms)) orientations += m.type == kOrientation && m.length == 6;
    EXPECT_GE(orientations, 3);

    serial.reset();
    serial = Open(pty);
    const auto test = Ask(*serial, SelfTestRequest());
    ASSERT_TRUE(test);
    EXPECT_EQ(test->length, 2);
    serial.reset();

    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(Lines(dir / "requests"),
              (std::vector<std::string>{"\"type\":195,\"payload\":\"\"}", "\"type\":72,\"payload\":\"\"}"}));
}

TEST_F(SimProcessTest, FlashOutlivesTheProcessAndAWrongSpeedGetsNoAnswer)
{
    const auto flash = (dir / "flash").string();
    {
        SimProcess sim(TOLVANE_SIM_PATH, {"--flash", flash});
        auto serial = Open(sim.Output());
        const auto loaded = Ask(*serial, StartUpDefaultsLoadRequest(StartupDefaults::kDeclination | StartupDefaults::kInterval,
                                                                    {.declination = 1911, .interval = 250}));
        ASSERT_TRUE(loaded);
        std::uint16_t result = 0;
        DecodeStartUpDefaults(loaded->payload, &result);
        EXPECT_NE(result, 0);
        serial.reset();
        EXPECT_EQ(sim.Stop(), 0);
    }
    SimProcess sim(TOLVANE_SIM_PATH, {"--flash", flash, "--record", (dir / "requests").string()});
    const std::string pty = sim.Output();
    auto serial = Open(pty, 19200);
    // Heard as noise, and answered with garbage: nothing decodes.
    serial->Send(SerialNumberRequest());
    EXPECT_TRUE(Collect(*serial, 600ms).empty());

    serial.reset();
    serial = Open(pty, 9600);
    const auto read = Ask(*serial, StartupDefaultsReadRequest());
    ASSERT_TRUE(read);
    std::uint16_t result = 0;
    const StartupDefaults back = DecodeStartUpDefaults(read->payload, &result);
    EXPECT_EQ(back.declination, 1911);
    EXPECT_EQ(back.interval, 250);
    const auto rate = Ask(*serial, OrientationRateReadRequest());
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->payload[0] | rate->payload[1] << 8, 250); // working values start from flash
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_EQ(Lines(dir / "requests"), (std::vector<std::string>{"\"type\":102,\"payload\":\"000000000000000000000000\"}",
                                                                 "\"type\":127,\"payload\":\"ffff\"}"}));
}

TEST_F(SimProcessTest, IgnoringTheSpeedAnswersAHostAtAnother)
{
    SimProcess sim(TOLVANE_SIM_PATH, {"--ignore-speed"});
    EXPECT_TRUE(Ask(*Open(sim.Output(), 19200), SerialNumberRequest()));
}

TEST_F(SimProcessTest, BurstRunsAtTheLineRateWithoutLoss)
{
    SimProcess sim(TOLVANE_SIM_PATH, {"--burst"});
    auto serial = Open(sim.Output());
    Collect(*serial, 100ms);
    std::vector<DeviceMessage> bursts;
    for (const auto& m : Collect(*serial, 1000ms))
        if (m.type == kOrientation) bursts.push_back(m);
    ASSERT_GT(bursts.size(), 20u);
    for (std::size_t i = 1; i < bursts.size(); ++i) {
        const int previous = bursts[i - 1].payload[4] | bursts[i - 1].payload[5] << 8;
        ASSERT_EQ(bursts[i].payload[4] | bursts[i].payload[5] << 8, (previous + 1) & 0xFFFF) << i;
    }
    // 12 bytes a message; 960 bytes a second at 9600 baud.
    const double ms = bursts.back().timestamp - bursts.front().timestamp;
    const double bytesPerSecond = static_cast<double>(bursts.size() - 1) * 12 * 1000 / ms;
    EXPECT_GT(bytesPerSecond, 600);
    EXPECT_LT(bytesPerSecond, 1100);
}

TEST_F(SimProcessTest, UnplugEndsTheReaderAndRemovesTheLink)
{
    const auto link = (dir / "com1").string();
    SimProcess sim(TOLVANE_SIM_PATH, {"--unplug-after", "0.3", "--link", link});
    sim.Output();
    auto serial = Open(link);
    ASSERT_TRUE(serial->ReaderRunning());
    for (const auto end = Clock::now() + 2s; serial->ReaderRunning() && Clock::now() < end;)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(serial->ReaderRunning());
    EXPECT_FALSE(fs::is_symlink(link));
    serial.reset();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimProcessTest, HelpListsEveryOptionAndEachIsAccepted)
{
    const std::vector<std::vector<std::string>> options{
        {"--baud", "4800"}, {"--ignore-speed"}, {"--link", "x"}, {"--version", "1.04"}, {"--options", "AI"},
        {"--serial", "7"}, {"--axes", "3,1"}, {"--test-result", "0"}, {"--flash", "f"}, {"--rfu"},
        {"--nmea", "1"}, {"--gps", "1"}, {"--position", "1,2"}, {"--silent"}, {"--silent-for", "0x50"},
        {"--incompatible"}, {"--flash-fail"}, {"--corrupt", "0.1"}, {"--noise", "0.1"}, {"--burst"},
        {"--unplug-after", "1"}, {"--record", "r"}, {"--seed", "2"}, {"--help"},
    };
    SimProcess sim(TOLVANE_SIM_PATH, {"--help"});
    const std::string help = sim.Output(true);
    EXPECT_EQ(sim.Stop(0), 0);
    for (const auto& args : options) {
        std::string error;
        EXPECT_TRUE(sim::ParseOptions(args, error)) << error;
        EXPECT_NE(help.find("  " + args[0] + " "), std::string::npos) << args[0];
    }
}

} // namespace
} // namespace tolvane
