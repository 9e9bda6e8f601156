// Publishing to an MQTT broker under load: tolvane-gateway with 32
// simulated modules at 38400 baud in burst (320 orientation messages a
// second each, 10,240 in all), publishing every orientation (and every
// message line) to mosquitto on loopback. A subscriber in a process of its
// own takes the orientations. Prints the messages sent and received (lost:
// the difference), the CPU of the gateway (and of its publisher's thread)
// and of the broker, and the time from a message's last byte on the line
// (the simulator's --send-times) to the subscriber: median, p99 and worst.
//   mqtt_bench [SECONDS [MODULES]]   (20 s, 32 modules); exits 1 if an orientation is lost
#include <mosquitto.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gateway_stop.h"
#include "support/ser2net_server.h"
#include "support/sim_process.h"

using namespace tolvane;

namespace {

int kModules = 32;

std::int64_t MonotonicUs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1000000 + t.tv_nsec / 1000;
}

// CPU seconds so far from a /proc stat file (utime + stime in clock ticks): the broker's, or a thread's.
double CpuSecondsOf(const std::string& statPath)
{
    std::ifstream stat(statPath);
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = close + 2; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += text[i];
        }
    }
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return fields.size() > 12 ? (std::stod(fields[11]) + std::stod(fields[12])) / ticks : 0;
}

// The CPU seconds of process `pid`'s thread named `name`.
double ThreadCpuSeconds(pid_t pid, const std::string& name)
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string text;
        if (std::getline(comm, text) && text == name) return CpuSecondsOf(task.path() / "stat");
    }
    return 0;
}

volatile std::sig_atomic_t subscriberEnd = 0;
volatile std::sig_atomic_t subscribed = 0;

// The subscriber's process: each orientation's module and arrival time,
// written to `out` once SIGTERM has come and nothing has arrived for 2 s
// (a subscriber behind is late, not lost).
[[noreturn]] void Subscribe(int port, const std::string& out, int readyFd)
{
    std::signal(SIGTERM, [](int) { subscriberEnd = 1; });
    std::vector<std::pair<int, std::int64_t>> arrivals;
    arrivals.reserve(4000000);
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new(nullptr, true, &arrivals);
    mosquitto_message_callback_set(mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
        const std::string topic(m->topic); // bench/mNN/orientation
        static_cast<decltype(arrivals)*>(self)->emplace_back(std::atoi(topic.c_str() + 7), MonotonicUs());
    });
    mosquitto_subscribe_callback_set(mosq, [](mosquitto*, void*, int, int, const int*) { subscribed = 1; });
    if (mosquitto_connect(mosq, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) std::_Exit(2);
    mosquitto_subscribe(mosq, nullptr, "bench/+/orientation", 1);
    bool told = false;
    for (std::int64_t endUs = 0;;) {
        if (subscriberEnd && endUs == 0) endUs = MonotonicUs();
        const std::int64_t lastUs = std::max(endUs, arrivals.empty() ? 0 : arrivals.back().second);
        if (endUs != 0 && MonotonicUs() - lastUs > 2'000'000) break;
        mosquitto_loop(mosq, 100, 1000);
        if (subscribed && !told) told = ::write(readyFd, "r", 1) == 1;
    }
    std::ofstream file(out);
    for (const auto& [module, us] : arrivals) file << module << ' ' << us << '\n';
    file.close();
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    if (argc > 2) kModules = std::clamp(std::atoi(argv[2]), 1, 99);
    char folder[] = "/tmp/mqtt-bench.XXXXXX";
    if (!::mkdtemp(folder)) return 1;
    const std::string dir = folder;
    const int port = FreeLoopbackPort();
    {
        std::ofstream conf(dir + "/mosquitto.conf");
        conf << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\n"
             << "max_queued_messages 0\n" << (::geteuid() == 0 ? "user root\n" : "");
    }
    SimProcess broker("/usr/sbin/mosquitto", {"-c", dir + "/mosquitto.conf"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    int ready[2];
    if (::pipe(ready) != 0) return 1;
    const pid_t subscriber = ::fork();
    if (subscriber == 0) Subscribe(port, dir + "/arrivals.txt", ready[1]);
    char byte = 0;
    if (::read(ready[0], &byte, 1) != 1) return 1;

    // Each module powers up once the gateway opens its line, so that every
    // orientation it sends is one the gateway could read.
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> names;
    std::string config = "[gateway]\nstatus-interval = 10\n";
    for (int i = 0; i < kModules; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "m%02d", i);
        names.push_back(name);
        sims.push_back(std::make_unique<SimProcess>(
            TOLVANE_SIM_PATH, std::vector<std::string>{"--burst", "--baud", "38400", "--power-on-open", "--link",
                                                        dir + "/" + name, "--send-times", dir + "/" + name + ".times"}));
        if (sims.back()->Output().empty()) return std::fprintf(stderr, "the simulator did not start\n"), 1;
        config += "[module " + names.back() + "]\nsource = " + dir + "/" + name + "\nbaud = 38400\n";
    }
    config += "[mqtt]\nurl = mqtt://127.0.0.1:" + std::to_string(port) + "\ntopic = bench\n";
    std::ofstream(dir + "/gateway.conf") << config;
    SimProcess gateway("/bin/sh", {"-c", "exec \"$0\" \"$@\" >" + dir + "/status 2>" + dir + "/errors",
                                   TOLVANE_GATEWAY_PATH, "--config", dir + "/gateway.conf"});

    // Measured once every module is open and connected.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const std::string gatewayStat = "/proc/" + std::to_string(gateway.Pid()) + "/stat";
    const std::string brokerStat = "/proc/" + std::to_string(broker.Pid()) + "/stat";
    const std::int64_t startUs = MonotonicUs();
    const double cpuStart = CpuSecondsOf(gatewayStat);
    const double publisherStart = ThreadCpuSeconds(gateway.Pid(), "mqtt-publisher");
    const double brokerStart = CpuSecondsOf(brokerStat);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSecondsOf(gatewayStat) - cpuStart;
    const double publisherCpu = ThreadCpuSeconds(gateway.Pid(), "mqtt-publisher") - publisherStart;
    const double brokerCpu = CpuSecondsOf(brokerStat) - brokerStart;
    const std::int64_t endUs = MonotonicUs();
    const int status = StopGatewayAfterModules(gateway, sims);
    ::kill(subscriber, SIGTERM);
    ::waitpid(subscriber, nullptr, 0);

    std::vector<std::vector<std::int64_t>> arrived(kModules);
    std::ifstream in(dir + "/arrivals.txt");
    int module = 0;
    std::int64_t us = 0;
    while (in >> module >> us)
        if (module >= 0 && module < kModules) arrived[static_cast<std::size_t>(module)].push_back(us);
    std::uint64_t total = 0, received = 0, measured = 0;
    std::vector<double> latencies;
    for (std::size_t i = 0; i < names.size(); ++i) {
        received += arrived[i].size();
        // The k-th message the simulator finished writing is the k-th to
        // arrive: nothing was written before the gateway held the line.
        std::ifstream times(dir + "/" + names[i] + ".times");
        std::int64_t ns = 0;
        int azimuth = 0;
        for (std::size_t k = 0; times >> ns >> azimuth; ++k, ++total) {
            measured += ns / 1000 >= startUs && ns / 1000 < endUs;
            if (k < arrived[i].size() && ns / 1000 >= startUs)
                latencies.push_back(static_cast<double>(arrived[i][k] - ns / 1000) / 1000);
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        const double last = static_cast<double>(latencies.size() - 1);
        return latencies.empty() ? 0.0 : latencies[static_cast<std::size_t>(q * last)];
    };
    std::printf("%d modules, %d s measured: %llu orientations sent (%.0f a second while measured), %llu received, "
                "%lld lost; gateway exit status %d\n",
                kModules, seconds, static_cast<unsigned long long>(total),
                static_cast<double>(measured) / seconds, static_cast<unsigned long long>(received),
                static_cast<long long>(total) - static_cast<long long>(received), status);
    std::printf("CPU: gateway %.1f%% of one core (its publisher's thread %.1f%%), the broker %.1f%%\n",
                100 * cpu / seconds, 100 * publisherCpu / seconds, 100 * brokerCpu / seconds);
    std::printf("wire (the last byte written to the line) to subscriber: median %.2f ms, p99 %.2f ms, worst %.2f ms\n",
                at(0.5), at(0.99), at(1.0));
    const bool kept = status != 0 || total != received;
    if (kept) std::fprintf(stderr, "mqtt_bench: the gateway's output and the run's files are in %s\n", dir.c_str());
    else (void)std::system(("rm -rf '" + dir + "'").c_str());
    return kept ? 1 : 0;
}
