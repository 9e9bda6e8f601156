// tolvane-gateway as its users run it: against simulators on
// pseudo-terminals and through a real ser2net, with real clients (a socket
// that reads, one that never reads, one sending garbage, gpsd, pynmea2),
// its recordings checked against the program's own log and tolvane-decode.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
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

std::string ReadText(const std::string& path) { return test::S(test::ReadBytes(path)); }
void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// The gateway with its output in files; its clock, by libfaketime, stands
// at 2026-12-07 13:45:10 so that its log's times are known.
struct Gateway {
    Gateway(const test::TempDir& dir, std::vector<std::string> args) : out(dir / "out"), err(dir / "err")
    {
        args.insert(args.begin(), {"-c", "exec \"$0\" \"$@\" >" + out + " 2>" + err, TOLVANE_GATEWAY_PATH});
        process = std::make_unique<SimProcess>("/bin/sh", args,
                                               std::vector<std::string>{"LD_PRELOAD=" TOLVANE_FAKETIME_LIB,
                                                                        "FAKETIME=2026-12-07 13:45:10",
                                                                        "DONT_FAKE_MONOTONIC=1"});
    }
    std::string Out() const { return ReadText(out); }
    std::size_t Count(const std::string& text) const
    {
        const std::string o = Out();
        std::size_t n = 0;
        for (std::size_t at = 0; (at = o.find(text, at)) != std::string::npos; ++at) ++n;
        return n;
    }
    bool Await(const std::string& text, std::size_t times = 1)
    {
        return test::WaitFor([&] { return Count(text) >= times; }, 30s);
    }
    std::string out, err;
    std::unique_ptr<SimProcess> process;
};

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
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

// The log the program writes for the messages of `capture`, at the same time of day.
std::string ProgramsLog(const test::TempDir& dir, const std::string& capture)
{
    test::InProcessLink link;
    test::FakeTimers timers;
    SessionHost host;
    LogFile log(dir.path.string(), [](std::tm& t) { return strptime("2026-12-07 13:45:10", "%F %T", &t); });
    CompassSession session(link, log, timers, host);
    log.OpenPath(dir / "program.log", true);
    StreamDecoder decoder;
    for (const CaptureChunk& chunk : ParseCapture(ReadText(capture)).chunks)
        if (chunk.kind == ChunkKind::Received)
            decoder.Feed(chunk.bytes.data(), chunk.bytes.size(), chunk.ms,
                         [&](const DeviceMessage& m) { session.OnDeviceMessage(m); });
    log.Close();
    return ReadText(dir / "program.log");
}

// Two modules, one in burst, its NMEA read by three clients; the other
// named by its serial number and unplugged; SIGHUP, then SIGTERM.
TEST(GatewayProgram, RecordsServesSurvivesAndCloses)
{
    test::TempDir dir;
    auto a = std::make_unique<SimProcess>(TOLVANE_SIM_PATH, std::vector<std::string>{
        "--link", dir / "a", "--burst", "--nmea", "1", "--power-on-open"});
    auto b = std::make_unique<SimProcess>(TOLVANE_SIM_PATH, std::vector<std::string>{"--link", dir / "b", "--serial", "777"});
    ASSERT_FALSE(a->Output().empty() || b->Output().empty());
    const int port = FreeLoopbackPort();
    const std::string d = dir.path.string();
    WriteText(dir / "g.conf", "[module a]\nsource = " + d + "/a\nlog-dir = " + d + "\ncapture-dir = " + d +
                                        "\nnmea-tcp = " + std::to_string(port) + "\n[module]\nsource = " + d +
                                        "/b\nlog-dir = " + d + "\n[gateway]\nstatus-interval = 1\n");
    Gateway gateway(dir, {"--config", dir / "g.conf"});
    ASSERT_TRUE(gateway.Await(R"("module":"a","state":"open")")) << ReadText(gateway.err);
    ASSERT_TRUE(gateway.Await(R"("module":"777","state":"open","port":")" + d + R"(/b","serial":777)"));
    const int reader = Connect(port), idle = Connect(port), garbage = Connect(port);
    ASSERT_TRUE(reader >= 0 && idle >= 0 && garbage >= 0);
    const std::string junk(200000, '\x7f');
    ::send(garbage, junk.data(), junk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    const std::string nmea = ReadFor(reader, 3s);
    b.reset();
    ASSERT_TRUE(gateway.Await(R"("module":"777","state":"lost")"));
    b = std::make_unique<SimProcess>(TOLVANE_SIM_PATH, std::vector<std::string>{"--link", dir / "b", "--serial", "777"});
    EXPECT_TRUE(gateway.Await(R"("module":"777","state":"open")", 2));
    ::kill(gateway.process->Pid(), SIGHUP);
    EXPECT_TRUE(gateway.Await("a-20261207-134510-2.tcap"));
    EXPECT_TRUE(gateway.Await("777-20261207-134510-2.log"));
    EXPECT_EQ(gateway.process->Stop(SIGTERM), 0);
    EXPECT_EQ(gateway.Count(R"(,"state":"closed",)"), 2u);
    EXPECT_EQ(ReadText(gateway.err), "") << "no error while all went well";

    // Heading, then pitch and roll, per orientation, and the module's own
    // sentences, every one read by Debian's parser.
    ASSERT_TRUE(std::regex_search(nmea, std::regex(R"(\$HCHDT,[0-9.]+,T\*..\r\n\$HCXDR,A,.*,D,PTCH,A,.*,D,ROLL\*..\r\n)")));
    EXPECT_NE(nmea.find("\r\n$HCHDG,"), std::string::npos);
    const std::string whole = nmea.substr(0, nmea.rfind('\n') + 1);
    WriteText(dir / "nmea", whole.substr(whole.find('$')));
    EXPECT_EQ(std::system((TOLVANE_DEBIAN_PYTHON " -c 'import sys, pynmea2\nfor l in sys.stdin: "
                           "pynmea2.parse(l.strip(), check=True)' < " + dir / "nmea").c_str()), 0);
    // The log of the first files is, byte for byte, what the program writes
    // for the stream captured; tolvane-decode reads the capture back.
    const std::string log = ReadText(dir / "a-20261207-134510.log");
    EXPECT_GT(std::count(log.begin(), log.end(), '\n'), 100);
    EXPECT_EQ(log, ProgramsLog(dir, dir / "a-20261207-134510.tcap"));
    EXPECT_EQ(std::system((TOLVANE_DECODE_PATH " " + dir / "a-20261207-134510.tcap | grep -q DORIENT").c_str()), 0);
    for (const int fd : {reader, idle, garbage}) ::close(fd);
}

// Network sources through ser2net, raw TCP and RFC 2217: one server dies
// and returns while the other module goes on; gpsd, a client of the
// gateway, reports a heading the simulator sent.
TEST(GatewayProgram, NetworkSourcesAndGpsd)
{
    test::TempDir dir;
    SimProcess a(TOLVANE_SIM_PATH, {"--link", dir / "a", "--send-times", dir / "sent"});
    SimProcess b(TOLVANE_SIM_PATH, {"--link", dir / "b", "--serial", "777"});
    ASSERT_FALSE(a.Output().empty() || b.Output().empty());
    std::filesystem::create_directories(dir / "r/t"); // each server's configuration in a folder of its own
    Ser2NetServer raw(dir / "r", dir / "a", false), telnet(dir / "r/t", dir / "b", true);
    ASSERT_TRUE(raw.Listening() && telnet.Listening());
    const int port = FreeLoopbackPort();
    WriteText(dir / "g.conf", "[module raw]\nsource = " + raw.Path() + "\nnmea-tcp = " + std::to_string(port) +
                                  "\n[module telnet]\nsource = " + telnet.Path() + "\n");
    Gateway gateway(dir, {"--config", dir / "g.conf", "--status-interval", "1"});
    ASSERT_TRUE(gateway.Await(R"("module":"raw","state":"open")"));
    ASSERT_TRUE(gateway.Await(R"("module":"telnet","state":"open","port":")" + telnet.Path() + R"(","serial":777)"));
    raw.Stop();
    ASSERT_TRUE(gateway.Await(R"("module":"raw","state":"lost")"));
    const std::size_t telnetLines = gateway.Count(R"("module":"telnet","state":"open")");
    EXPECT_TRUE(gateway.Await(R"("module":"telnet","state":"open")", telnetLines + 2)) << "goes on meanwhile";
    ASSERT_TRUE(raw.Start());
    EXPECT_TRUE(gateway.Await(R"("module":"raw","state":"open")", 2));

    const int gpsdPort = FreeLoopbackPort();
    SimProcess gpsd(TOLVANE_GPSD_PATH, {"-N", "-n", "-S", std::to_string(gpsdPort), "-F", dir / "gpsd.sock",
                                       "-P", dir / "gpsd.pid", "tcp://127.0.0.1:" + std::to_string(port)});
    int watch = -1;
    ASSERT_TRUE(test::WaitFor([&] { return (watch = Connect(gpsdPort)) >= 0; }, 10s)) << "is gpsd installed?";
    const std::string ask = "?WATCH={\"enable\":true,\"json\":true}\n";
    ::send(watch, ask.data(), ask.size(), MSG_NOSIGNAL);
    std::smatch heading;
    std::string reports;
    test::WaitFor([&] { reports += ReadFor(watch, 100ms);
                        return std::regex_search(reports, heading, std::regex(R"("class":"ATT".*?"heading":([0-9.]+))")); },
                  20s);
    ASSERT_FALSE(heading.empty()) << reports;
    EXPECT_EQ(gpsd.Stop(SIGTERM), 0);
    ::close(watch);
    EXPECT_EQ(gateway.process->Stop(SIGTERM), 0);
    a.Stop(); // its file of send times complete
    bool sent = false;
    std::istringstream times(ReadText(dir / "sent"));
    for (std::int64_t ns, azimuth; times >> ns >> azimuth;)
        sent = sent || std::fabs(static_cast<double>(azimuth) * 360.0 / 65536 - std::stod(heading[1])) < 0.051;
    EXPECT_TRUE(sent) << heading[1];
}

// Refused at start, with the reason and status 2, nothing opened; --help
// and --version answered.
TEST(GatewayProgram, RefusalsAndAnswers)
{
    test::TempDir dir;
    WriteText(dir / "two.conf", "[module a]\nsource = /dev/ttyS7\n[module b]\nsource = /dev/./ttyS7\n");
    WriteText(dir / "key.conf", "[module a]\nsource = /dev/ttyS7\nspeed = 9600\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err; // how each starts
    } cases[] = {
        {{"--version"}, 0, "tolvane-gateway 0.1\n", ""},
        {{"--help"}, 0, "Usage: tolvane-gateway --source SOURCE", ""},
        {{"--source", "/dev/ttyS7", "--baud", "9601"}, 2, "", "tolvane-gateway: --baud: '9601'"},
        {{"--sauce", "/dev/ttyS7"}, 2, "", "tolvane-gateway: unknown option '--sauce'"},
        {{"--log-dir", "/tmp"}, 2, "", "tolvane-gateway: "},
        {{"--config", dir / "none.conf"}, 2, "", "tolvane-gateway: --config: " + dir / "none.conf"},
        {{"--config", dir / "two.conf"}, 2, "", "tolvane-gateway: " + dir / "two.conf:4: source '/dev/./ttyS7' is already"},
        {{"--config", dir / "key.conf"}, 2, "", "tolvane-gateway: " + dir / "key.conf:3: "},
    };
    for (const auto& c : cases) {
        Gateway gateway(dir, c.args);
        EXPECT_EQ(gateway.process->Stop(0), c.status) << c.args[0];
        EXPECT_EQ(gateway.Out().substr(0, c.out.size()), c.out) << c.args[0];
        const std::string err = ReadText(gateway.err);
        EXPECT_EQ(err.substr(0, c.err.size()), c.err) << c.args[0];
        EXPECT_EQ(c.status == 2, err.find("\nUsage: tolvane-gateway") != std::string::npos) << c.args[0];
    }
}

} // namespace
} // namespace tolvane
