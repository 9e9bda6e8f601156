// tolvane-gateway under full load: 16 simulated modules at 38400 baud in
// burst (orientation back to back, the azimuth counting them), each with
// its log, its capture and 2 TCP clients. Prints the messages lost (sent by
// the simulators and not in the logs), the gateway's CPU as a share of one
// core, its resident memory at start and at the end, and the latency from
// the last byte of a frame at the terminal to its $HCHDT at a client.
//   gateway_bench [MINUTES]   (2 by default; fractions allowed)
// The latency is measured where the heading's text changes (every 18 or so
// messages): there the frame a sentence came from is known exactly.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gateway/nmea_out.h"
#include "gateway_stop.h"
#include "support/ser2net_server.h"
#include "support/sim_process.h"

using namespace tolvane;
namespace fs = std::filesystem;

namespace {

constexpr int kModules = 16;
constexpr int kClientsEach = 2;

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// utime + stime in clock ticks, and VmRSS in kB, of `pid`.
long CpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

long RssKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : (::close(fd), -1);
}

struct Heading {
    std::int64_t ns;
    std::string text; // the $HCHDT sentence
};

} // namespace

int main(int argc, char** argv)
{
    const double minutes = argc > 1 ? std::atof(argv[1]) : 2.0;
    char folderName[] = "/tmp/gateway-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(folderName);
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::string config = "[gateway]\nstatus-interval = 10\n";
    std::vector<int> ports;
    for (int m = 0; m < kModules; ++m) {
        const std::string name = "m" + std::to_string(m);
        sims.push_back(std::make_unique<SimProcess>(
            TOLVANE_SIM_PATH, std::vector<std::string>{"--link", dir / (name + ".tty"), "--baud", "38400", "--burst",
                                                       "--power-on-open", "--send-times", dir / (name + ".sent")}));
        if (sims.back()->Output().empty()) return std::fprintf(stderr, "the simulator did not start\n"), 1;
        ports.push_back(FreeLoopbackPort());
        fs::create_directory(dir / name);
        config += "[module " + name + "]\nsource = " + (dir / (name + ".tty")).string() + "\nbaud = 38400\nlog-dir = " +
                  (dir / name).string() + "\ncapture-dir = " + (dir / name).string() +
                  "\nnmea-tcp = " + std::to_string(ports.back()) + "\n";
    }
    std::ofstream(dir / "bench.conf") << config;
    SimProcess gateway("/bin/sh", {"-c", "exec \"$0\" \"$@\" >" + (dir / "status").string() + " 2>" +
                                             (dir / "errors").string(),
                                   TOLVANE_GATEWAY_PATH, "--config", dir / "bench.conf"});
    std::vector<pollfd> clients;
    for (int m = 0; m < kModules; ++m)
        for (int c = 0; c < kClientsEach; ++c) {
            int fd = -1;
            for (int tries = 0; tries < 500 && (fd = Connect(ports[m])) < 0; ++tries)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (fd < 0) return std::fprintf(stderr, "no NMEA server on %d\n", ports[m]), 1;
            clients.push_back({fd, POLLIN, 0});
        }
    // The first client of each module is timed; the second only reads.
    // For the first 5 s, while every module opens and is identified, what
    // comes is read and not counted.
    std::vector<std::vector<Heading>> received(kModules);
    std::vector<std::string> partial(clients.size());
    std::uint64_t bytes = 0;
    const std::int64_t startNs = SteadyNs() + 5'000'000'000;
    const std::int64_t endNs = startNs + static_cast<std::int64_t>(minutes * 60e9);
    long rssStart = -1, ticksStart = 0;
    char chunk[65536];
    while (SteadyNs() < endNs) {
        if (rssStart < 0 && SteadyNs() >= startNs) {
            rssStart = RssKb(gateway.Pid());
            ticksStart = CpuTicks(gateway.Pid());
        }
        if (::poll(clients.data(), clients.size(), 100) <= 0) continue;
        const std::int64_t now = SteadyNs();
        for (std::size_t i = 0; i < clients.size(); ++i) {
            if (!(clients[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = ::recv(clients[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n <= 0 || now < startNs) continue;
            bytes += static_cast<std::uint64_t>(n);
            if (i % kClientsEach != 0) continue;
            std::string& text = partial[i];
            text.append(chunk, static_cast<std::size_t>(n));
            std::size_t at = 0;
            for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
                if (text.compare(at, 7, "$HCHDT,") == 0)
                    received[i / kClientsEach].push_back({now, text.substr(at, end + 2 - at)});
            text.erase(0, at);
        }
    }
    const long ticksEnd = CpuTicks(gateway.Pid());
    const std::int64_t spanNs = SteadyNs() - startNs;
    const long rssEnd = RssKb(gateway.Pid());
    const int status = StopGatewayAfterModules(gateway, sims);
    for (const pollfd& c : clients) ::close(c.fd);

    std::uint64_t sent = 0, logged = 0, lost = 0;
    std::vector<double> latencies;
    for (int m = 0; m < kModules; ++m) {
        const std::string name = "m" + std::to_string(m);
        std::vector<Heading> sentHeadings;
        std::ifstream times(dir / (name + ".sent"));
        for (std::int64_t ns, azimuth; times >> ns >> azimuth;) {
            std::string text;
            AppendHeadingSentence(static_cast<std::uint16_t>(azimuth), text);
            sentHeadings.push_back({ns, text});
        }
        sent += sentHeadings.size();
        std::uint64_t inLog = 0;
        for (const auto& file : fs::directory_iterator(dir / name)) {
            if (file.path().extension() != ".log") continue;
            std::ifstream log(file.path());
            // A record and its CR, not the header.
            for (std::string line; std::getline(log, line);) inLog += line.size() == 48 && line[1] != 'W';
        }
        logged += inLog;
        // A message caught by SIGSTOP between its write and its line of send
        // times is logged but not listed: only a shortfall counts as lost.
        lost += sentHeadings.size() > inLog ? sentHeadings.size() - inLog : 0;
        // Where the text changes the sentence's frame is known.
        std::size_t j = 0;
        const std::vector<Heading>& got = received[m];
        for (std::size_t k = 1; k < got.size(); ++k) {
            if (got[k].text == got[k - 1].text) continue;
            while (j < sentHeadings.size() && !(sentHeadings[j].text == got[k].text &&
                                                (j == 0 || sentHeadings[j - 1].text != got[k].text)))
                ++j;
            if (j == sentHeadings.size()) break;
            latencies.push_back(static_cast<double>(got[k].ns - sentHeadings[j].ns) / 1e6);
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto percentile = [&](double p) {
        if (latencies.empty()) return -1.0;
        return latencies[static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1))];
    };
    const double cpu = 100.0 * static_cast<double>(ticksEnd - ticksStart) / static_cast<double>(sysconf(_SC_CLK_TCK)) /
                       (static_cast<double>(spanNs) / 1e9);
    std::printf("gateway_bench: %d modules at 38400 baud in burst, %d TCP clients each, log and capture, %.1f min\n",
                kModules, kClientsEach, static_cast<double>(spanNs) / 60e9);
    std::printf("  orientation messages sent  %llu, in the logs %llu, lost %llu\n",
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(logged),
                static_cast<unsigned long long>(lost));
    std::printf("  gateway CPU                %.1f %% of one core\n", cpu);
    std::printf("  gateway resident memory    %.1f MB at start, %.1f MB at the end\n",
                static_cast<double>(rssStart) / 1024.0,
                static_cast<double>(rssEnd) / 1024.0);
    std::printf("  frame to $HCHDT at client  p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu samples)\n",
                percentile(0.5), percentile(0.99), percentile(1.0), latencies.size());
    std::printf("  NMEA bytes read by clients %.1f MB; gateway exit status %d\n", static_cast<double>(bytes) / 1e6,
                status);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return lost == 0 && status == 0 ? 0 : 1;
}
