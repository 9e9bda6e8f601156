// Publishing to an MQTT broker under load: 32 simulated modules at 38400
// baud in burst (320 orientation messages a second each, 10,240 in all),
// each read by its link and handed to the gateway's publisher, which
// sends every orientation (and every message line) to mosquitto on
// loopback. A subscriber in a process of its own takes the orientations.
// Prints the messages sent and received (lost: the difference), the CPU
// of this process (links and publisher: the gateway's share) and of the
// broker, and the time from a message's last byte on the line (the
// simulator's --send-times) to the subscriber: median, p99 and worst.
//   mqtt_bench [SECONDS [MODULES]]   (20 s, 32 modules); exits 1 if an orientation is lost
#include <mosquitto.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cpu_seconds.h"
#include "gateway/mqtt_publisher.h"
#include "link/serial_link.h"
#include "link/shared_reader.h"
#include "protocol/messages.h"
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

// The CPU seconds of this process's thread named `name`.
double ThreadCpuSeconds(const std::string& name)
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
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

    // The subscriber forks before any thread starts here.
    int ready[2];
    if (::pipe(ready) != 0) return 1;
    const pid_t subscriber = ::fork();
    if (subscriber == 0) Subscribe(port, dir + "/arrivals.txt", ready[1]);
    char byte = 0;
    if (::read(ready[0], &byte, 1) != 1) return 1;

    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> names;
    for (int i = 0; i < kModules; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "m%02d", i);
        names.push_back(name);
        sims.push_back(std::make_unique<SimProcess>(
            TOLVANE_SIM_PATH, std::vector<std::string>{"--burst", "--baud", "38400", "--link", dir + "/" + name,
                                                        "--send-times", dir + "/" + name + ".times"}));
        if (sims.back()->Output().empty()) {
            std::fprintf(stderr, "the simulator did not start\n");
            return 1;
        }
    }
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = static_cast<std::uint16_t>(port);
    config.topic = "bench";
    MqttPublisher publisher(config, names, [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    std::string error;
    if (!publisher.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    while (publisher.Connected() < static_cast<std::size_t>(kModules))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const double cpuStart = CpuSeconds(RUSAGE_SELF);
    const double brokerStart = CpuSecondsOf("/proc/" + std::to_string(broker.Pid()) + "/stat");
    const double publisherStart = ThreadCpuSeconds("mqtt-publisher");
    std::atomic<bool> running{true};
    std::vector<std::uint64_t> sent(kModules);
    // As the gateway runs its modules on serial ports: one thread reads
    // every terminal, one takes every link's messages.
    const auto reader = std::make_shared<SharedReader>();
    std::vector<std::unique_ptr<SerialLink>> links;
    std::mutex mutex;
    std::condition_variable queued;
    bool news = false;
    for (int i = 0; i < kModules; ++i) {
        auto link = std::make_unique<SerialLink>();
        link->SetSharedReader(reader);
        PortMap ports;
        ports.SetPath(1, dir + "/" + names[static_cast<std::size_t>(i)]);
        link->SetPortMap(ports);
        link->SetNotify([&] {
            {
                std::lock_guard lock(mutex);
                news = true;
            }
            queued.notify_one();
        });
        if (link->Open(1, 38400) != 1) return std::fprintf(stderr, "mqtt_bench: module %d did not open\n", i), 1;
        links.push_back(std::move(link));
    }
    std::thread handler([&] {
        while (running) {
            {
                std::unique_lock lock(mutex);
                queued.wait_for(lock, std::chrono::milliseconds(5), [&] { return news; });
                news = false;
            }
            for (std::size_t i = 0; i < links.size(); ++i)
                for (DeviceMessage message; links[i]->TakeMessage(message) != DeviceLink::kEmpty;) {
                    if (IsType(message, MessageType::Orientation)) ++sent[i];
                    publisher.Offer(i, message, WallMsAt(message.timestamp));
                }
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    running = false;
    handler.join();
    for (const auto& link : links) link->Close();
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpuStart;
    const double publisherCpu = ThreadCpuSeconds("mqtt-publisher") - publisherStart;
    publisher.Stop();
    const double brokerCpu = CpuSecondsOf("/proc/" + std::to_string(broker.Pid()) + "/stat") - brokerStart;
    ::kill(subscriber, SIGTERM);
    ::waitpid(subscriber, nullptr, 0);

    std::vector<std::vector<std::int64_t>> arrived(kModules);
    std::ifstream in(dir + "/arrivals.txt");
    int module = 0;
    std::int64_t us = 0;
    while (in >> module >> us)
        if (module >= 0 && module < kModules) arrived[static_cast<std::size_t>(module)].push_back(us);
    std::uint64_t total = 0, received = 0, dropped = 0;
    std::vector<double> latencies;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        total += sent[i];
        received += arrived[i].size();
        dropped += publisher.Dropped(i);
        // The k-th message the simulator finished writing is the k-th to arrive: the link opened before any was
        // written (nothing is written to a terminal nobody holds) and nothing was lost on the way.
        std::ifstream times(dir + "/" + names[i] + ".times");
        std::int64_t ns = 0;
        int azimuth = 0;
        for (std::size_t k = 0; k < arrived[i].size() && times >> ns >> azimuth; ++k)
            latencies.push_back(static_cast<double>(arrived[i][k] - ns / 1000) / 1000);
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        const double last = static_cast<double>(latencies.size() - 1);
        return latencies.empty() ? 0.0 : latencies[static_cast<std::size_t>(q * last)];
    };
    std::printf("%d modules for %d s: %llu orientations sent (%.0f a second), %llu received, %lld lost, "
                "%llu dropped by the queues\n",
                kModules, seconds, static_cast<unsigned long long>(total), static_cast<double>(total) / seconds,
                static_cast<unsigned long long>(received),
                static_cast<long long>(total) - static_cast<long long>(received),
                static_cast<unsigned long long>(dropped));
    std::printf("CPU: links and publisher %.1f%% of one core (the publisher's thread %.1f%%), the broker %.1f%%\n",
                100 * cpu / seconds, 100 * publisherCpu / seconds, 100 * brokerCpu / seconds);
    std::printf("wire (the last byte written to the line) to subscriber: median %.2f ms, p99 %.2f ms, worst %.2f ms\n",
                at(0.5), at(0.99), at(1.0));
    std::string rm = "rm -rf '" + dir + "'";
    (void)std::system(rm.c_str());
    return total == received ? 0 : 1;
}
