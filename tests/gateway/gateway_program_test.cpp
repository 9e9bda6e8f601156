// tolvane-gateway as its users run it: against simulators on
// pseudo-terminals and through a real ser2net, with real clients (a socket
// that reads, one that never reads, one sending garbage, gpsd, pynmea2),
// its recordings checked against the program's own log and tolvane-decode.
#include <arpa/inet.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <regex>

#include "capture/capture_format.h"
#include "link/framing.h"
#include "session/compass_session.h"
#include "support/fake_timers.h"
#include "support/in_process_link.h"
#include "support/ser2net_server.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using Args = std::vector<std::string>;

std::string ReadText(const std::string& path) { return test::S(test::ReadBytes(path)); }

// The gateway with its output in files; its clock, by libfaketime, stands
// at 2026-12-07 13:45:10 so that its log's times are known.
struct Gateway {
    // `before`: shell commands run first, in a mount namespace of the gateway's own.
    Gateway(const test::TempDir& dir, Args args, const std::string& before = {}) : out(dir / "out"), err(dir / "err")
    {
        args.insert(args.begin(), {"-c", before + "exec \"$0\" \"$@\" >" + out + " 2>" + err, TOLVANE_GATEWAY_PATH});
        if (!before.empty()) args.insert(args.begin(), {"-m", "/bin/sh"});
        const Args environment{"LD_PRELOAD=" TOLVANE_FAKETIME_LIB, "FAKETIME=2026-12-07 13:45:10",
                               "DONT_FAKE_MONOTONIC=1"};
        process.emplace(before.empty() ? "/bin/sh" : "/usr/bin/unshare", args, environment);
    }
    long Times(const std::string& text) const
    {
        const std::string said = ReadText(out);
        long n = 0;
        for (auto at = said.find(text); at != std::string::npos; at = said.find(text, at + 1)) ++n;
        return n;
    }
    // Whether standard output says `text` `times` times within 30 s.
    bool Said(const std::string& text, long times = 1) const
    {
        return test::WaitFor([&] { return Times(text) >= times; }, 30s);
    }
    std::string out, err;
    std::optional<SimProcess> process;
};

int Connect(const std::string& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(std::stoi(port))), {htonl(INADDR_LOOPBACK)}, {}};
    return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : (::close(fd), -1);
}

std::string ReadFor(int fd, std::chrono::milliseconds span)
{
    std::string got;
    char chunk[4096];
    for (const auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;)
        if (const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT); n > 0) got.append(chunk, n);
        else std::this_thread::sleep_for(5ms);
    return got;
}

// The logs the program writes for the messages of `captures`, read one
// after the other into a log each, at the same time of day.
std::vector<std::string> ProgramsLogs(const test::TempDir& dir, const std::vector<std::string>& captures)
{
    test::InProcessLink link;
    test::FakeTimers timers;
    SessionHost host;
    LogFile log(dir.path.string(), [](std::tm& t) { return strptime("2026-12-07 13:45:10", "%F %T", &t); });
    CompassSession session(link, log, timers, host);
    StreamDecoder decoder;
    std::vector<std::string> logs;
    for (const std::string& capture : captures) {
        log.OpenPath(dir / "program.log", false);
        for (const CaptureChunk& chunk : ParseCapture(ReadText(capture)).chunks)
            if (chunk.kind == ChunkKind::Received)
                decoder.Feed(chunk.bytes.data(), chunk.bytes.size(), chunk.ms, [&](const DeviceMessage& m) {
                    session.OnDeviceMessage(m);
                });
        log.Close();
        logs.push_back(ReadText(dir / "program.log"));
    }
    return logs;
}

// Two modules: one in burst, its NMEA read by three clients; the other
// named by its serial number, its rate found, unplugged and back at that
// rate. SIGHUP, then SIGTERM.
TEST(GatewayProgram, RecordsServesSurvivesAndCloses)
{
    test::TempDir dir;
    const std::string d = dir.path.string(), port = std::to_string(FreeLoopbackPort());
    SimProcess a(TOLVANE_SIM_PATH, {"--link", d + "/a", "--burst", "--nmea", "1", "--power-on-open"});
    ASSERT_FALSE(a.Output().empty());
    std::ofstream(d + "/g.conf") << "[module a]\nsource = " << d << "/a\nlog-dir = " << d << "\ncapture-dir = " << d
                                 << "\nnmea-tcp = " << port << "\n[module]\nsource = " << d
                                 << "/b\nbaud = detect\nlog-dir = " << d << "/made/here\ncapture-dir = " << d
                                 << "/made/here";
    Gateway gateway(dir, {"--config", d + "/g.conf"});
    // The second module is plugged in after the start, unplugged and back.
    ASSERT_TRUE(test::WaitFor([&] { return ReadText(gateway.err).find("no such device") != std::string::npos; }, 30s));
    const Args bArgs{"--link", d + "/b", "--serial", "777", "--baud", "19200"};
    std::optional<SimProcess> b(std::in_place, TOLVANE_SIM_PATH, bArgs);
    ASSERT_TRUE(gateway.Said(R"("module":"a","state":"open")")) << ReadText(gateway.err);
    ASSERT_TRUE(gateway.Said(R"("module":"777","state":"open","port":")" + d + R"(/b","serial":777)"));
    const int reader = Connect(port), idle = Connect(port), garbage = Connect(port);
    ::send(garbage, std::string(200000, '\x7f').data(), 200000, MSG_NOSIGNAL | MSG_DONTWAIT);
    const std::string nmea = ReadFor(reader, 3s);
    b.reset();
    ASSERT_TRUE(gateway.Said(R"("module":"777","state":"lost")"));
    b.emplace(TOLVANE_SIM_PATH, bArgs);
    EXPECT_TRUE(gateway.Said(R"("module":"777","state":"open")", 2) && gateway.Said("777-20261207-134510-2.tcap"));
    ::kill(gateway.process->Pid(), SIGHUP);
    EXPECT_TRUE(gateway.Said("a-20261207-134510-2.tcap") && gateway.Said("777-20261207-134510-3.log"));
    EXPECT_EQ(gateway.process->Stop(SIGTERM), 0);
    EXPECT_EQ(gateway.Times(R"(,"state":"closed",)"), 2);
    EXPECT_FALSE(std::regex_search(ReadText(gateway.out), std::regex(R"("state":"closed"[^}]*"messages":0,)")));
    EXPECT_EQ(ReadText(gateway.err), "tolvane-gateway: " + d + "/b: " + d + "/b: no such device; trying again\n" +
                                         "tolvane-gateway: " + d + "/b: " + d + "/b: open\n");
    for (const int fd : {reader, idle, garbage}) ::close(fd);

    // Heading, then pitch and roll, per orientation, and the module's own
    // sentences, every one read by Debian's parser.
    EXPECT_TRUE(std::regex_search(nmea, std::regex(R"(\$HCHDT,[0-9.]+,T\*..\r\n\$HCXDR,A,.*,D,PTCH,A,.*,D,ROLL\*)")));
    EXPECT_NE(nmea.find("\r\n$HCHDG,"), std::string::npos);
    std::ofstream(d + "/nmea") << nmea.substr(nmea.find('$'), nmea.rfind('\n') + 1 - nmea.find('$'));
    EXPECT_EQ(std::system((TOLVANE_DEBIAN_PYTHON " -c 'import sys, pynmea2\nfor l in sys.stdin: "
                           "pynmea2.parse(l.strip(), check=True)' < " + d + "/nmea").c_str()), 0);
    // Each log is, byte for byte, what the program writes for the stream
    // captured with it, read on from the pair before: SIGHUP's new pair
    // lost no byte, and each message is with the capture of its last byte
    // (tolvane-decode reading a capture back: BrokerTest).
    const std::string stem = d + "/a-20261207-134510", log = ReadText(stem + ".log");
    EXPECT_GT(std::count(log.begin(), log.end(), '\n'), 100);
    EXPECT_EQ(ProgramsLogs(dir, {stem + ".tcap", stem + "-2.tcap"}), (std::vector{log, ReadText(stem + "-2.log")}));
}

// The log's folder on a file system of 8 KiB: the log stops with an error
// line and a status line without it; the capture goes on.
TEST(GatewayProgram, AFullDiskStopsTheLogAlone)
{
    test::TempDir dir;
    const std::string d = dir.path.string(), tiny = "mount -t tmpfs -o size=8k tmpfs " + d + "/tiny && ";
    std::filesystem::create_directory(d + "/tiny");
    if (std::system(("unshare -m sh -c '" + tiny + "true'").c_str()) != 0) GTEST_SKIP() << "no mount namespace";
    SimProcess a(TOLVANE_SIM_PATH, {"--link", d + "/a", "--burst"});
    ASSERT_FALSE(a.Output().empty());
    Gateway gateway(dir, {"--source", d + "/a", "--name", "a", "--log-dir", d + "/tiny", "--capture-dir", d}, tiny);
    EXPECT_TRUE(gateway.Said(R"("state":"open",)") && gateway.Said(R"("log":null,"capture":")" + d + "/a-20261207"));
    EXPECT_EQ(gateway.process->Stop(SIGTERM), 0);
    EXPECT_EQ(ReadText(gateway.err), "tolvane-gateway: a: the log " + d + "/tiny/a-20261207-134510.log stopped: No "
                                     "space left on device; what was written until then is kept\n");
}

// Raw TCP and RFC 2217 through ser2net: one server dies and returns while
// the other module goes on; gpsd, a client, reports a heading the module sent.
TEST(GatewayProgram, NetworkSourcesAndGpsd)
{
    test::TempDir dir;
    const std::string d = dir.path.string(), port = std::to_string(FreeLoopbackPort());
    SimProcess a(TOLVANE_SIM_PATH, {"--link", d + "/a", "--send-times", d + "/sent"});
    SimProcess b(TOLVANE_SIM_PATH, {"--link", d + "/b", "--serial", "777"});
    ASSERT_FALSE(a.Output().empty() || b.Output().empty());
    std::filesystem::create_directories(d + "/r/t"); // each server's configuration in a folder of its own
    Ser2NetServer raw(d + "/r", d + "/a", false), telnet(d + "/r/t", d + "/b", true);
    ASSERT_TRUE(raw.Listening() && telnet.Listening());
    std::ofstream(d + "/g.conf") << "[module raw]\nsource = " << raw.Path() << "\nnmea-tcp = " << port
                                 << "\n[module telnet]\nsource = " << telnet.Path() << "\n";
    Gateway gateway(dir, {"--config", d + "/g.conf", "--status-interval", "1"});
    ASSERT_TRUE(gateway.Said(R"("module":"raw","state":"open")"));
    ASSERT_TRUE(gateway.Said(R"("module":"telnet","state":"open","port":")" + telnet.Path() + R"(","serial":777)"));
    raw.Stop();
    ASSERT_TRUE(gateway.Said(R"("module":"raw","state":"lost")"));
    const long telnetLines = gateway.Times(R"("module":"telnet","state":"open")");
    EXPECT_TRUE(gateway.Said(R"("module":"telnet","state":"open")", telnetLines + 2)) << "goes on meanwhile";
    EXPECT_TRUE(std::regex_search(ReadText(gateway.out), std::regex(R"("telnet","state":"open".*"rate":[1-9])")));
    ASSERT_TRUE(raw.Start());
    EXPECT_TRUE(gateway.Said(R"("module":"raw","state":"open")", 2));

    const std::string gpsdPort = std::to_string(FreeLoopbackPort());
    SimProcess gpsd(TOLVANE_GPSD_PATH, {"-N", "-n", "-S", gpsdPort, "-F", d + "/gpsd.sock", "-P", d + "/gpsd.pid",
                                       "tcp://127.0.0.1:" + port});
    int watch = -1;
    ASSERT_TRUE(test::WaitFor([&] { return (watch = Connect(gpsdPort)) >= 0; }, 10s)) << "is gpsd installed?";
    ::send(watch, "?WATCH={\"enable\":true,\"json\":true}\n", 35, MSG_NOSIGNAL);
    std::smatch heading;
    std::string reports;
    test::WaitFor([&] { return std::regex_search(reports += ReadFor(watch, 100ms), heading,
                                                 std::regex(R"("class":"ATT".*?"heading":([0-9.]+))")); }, 20s);
    ASSERT_FALSE(heading.empty()) << reports;
    EXPECT_EQ(gpsd.Stop(SIGTERM), 0);
    EXPECT_EQ(gateway.process->Stop(SIGTERM), 0);
    a.Stop(); // its send times complete
    bool sent = false;
    std::istringstream times(ReadText(d + "/sent"));
    for (double ns, azimuth; times >> ns >> azimuth;)
        sent |= std::fabs(azimuth * 360 / 65536 - std::stod(heading[1])) < 0.051;
    EXPECT_TRUE(sent) << heading[1];
    ::close(watch);
}

// Refused at start with the reason, a usage line and status 2; --help and --version answered.
TEST(GatewayProgram, RefusalsAndAnswers)
{
    test::TempDir dir;
    std::ofstream(dir / "two.conf") << "[module a]\nsource = /dev/ttyS7\n[module b]\nsource = /dev/./ttyS7\n";
    Ser2NetServer taken(dir.path.string(), "/dev/null", false); // its port in use: a failure (1), not a refusal
    const struct {
        Args args;
        int status;
        std::string out, err; // how each starts
    } cases[] = {
        {{"--version"}, 0, "tolvane-gateway 0.1\n", ""},
        {{"--help"}, 0, "Usage: tolvane-gateway --source SOURCE", ""},
        {{"--sauce", "/dev/ttyS7"}, 2, "", "tolvane-gateway: unknown option '--sauce'"},
        {{"--config", dir / "none.conf"}, 2, "", "tolvane-gateway: --config: " + dir / "none.conf"},
        {{"--config", dir / "two.conf"}, 2, "", "tolvane-gateway: " + dir / "two.conf:4: source '/dev/./ttyS7' is"},
        {{"--source", "/dev/ttyS7", "--nmea-tcp", std::to_string(taken.Port())}, 1, "",
         "tolvane-gateway: 127.0.0.1:" + std::to_string(taken.Port()) + ": Address already in use\n"},
    };
    for (const auto& c : cases) {
        Gateway gateway(dir, c.args);
        EXPECT_EQ(gateway.process->Stop(0), c.status) << c.args[0];
        EXPECT_EQ(ReadText(gateway.out).substr(0, c.out.size()), c.out) << c.args[0];
        const std::string err = ReadText(gateway.err);
        EXPECT_EQ(err.substr(0, c.err.size()), c.err) << c.args[0];
        EXPECT_EQ(c.status == 2, err.find("\nUsage: tolvane-gateway") != std::string::npos) << c.args[0];
    }
}

} // namespace
} // namespace tolvane
