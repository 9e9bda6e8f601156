// The link at 38400 baud in burst (orientation messages back to back, the
// azimuth counting them 0, 1, 2 ...), first straight on the simulator's
// pseudo-terminal and then through ser2net as raw TCP on loopback, side by
// side: the messages received, any lost (a gap in the count), and this
// process's CPU time for each, with the ratio.
//   network_bench [SECONDS]   (10 by default); exits 1 if a message is lost
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "link/serial_link.h"
#include "protocol/messages.h"
#include "support/ser2net_server.h"
#include "support/sim_process.h"

using namespace tolvane;

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    std::uint64_t received = 0;
    std::uint64_t lost = 0;
    double cpu = 0;
    bool ok = false;
};

Figures Run(bool throughSer2net, int seconds)
{
    Figures f;
    char folder[] = "/tmp/network-bench.XXXXXX";
    if (!::mkdtemp(folder)) return f;
    const std::string link = std::string(folder) + "/compass";
    SimProcess sim(TOLVANE_SIM_PATH, {"--burst", "--baud", "38400", "--link", link});
    if (sim.Output().empty()) return f;
    std::unique_ptr<Ser2NetServer> server;
    if (throughSer2net) {
        server = std::make_unique<Ser2NetServer>(folder, link, false, 38400);
        if (!server->Listening()) return f;
    }

    SerialLink serial;
    PortMap ports;
    ports.SetPath(1, server ? server->Path() : link);
    serial.SetPortMap(ports);
    std::mutex mutex;
    std::condition_variable queued;
    serial.SetNotify([&] { queued.notify_one(); });
    if (serial.Open(1, 38400) != 1) return f;

    bool first = true;
    std::uint16_t expected = 0;
    const double cpuStart = CpuSeconds();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        DeviceMessage message;
        if (serial.TakeMessage(message) == DeviceLink::kEmpty) {
            std::unique_lock lock(mutex);
            queued.wait_for(lock, std::chrono::milliseconds(5));
            continue;
        }
        if (message.type != static_cast<std::uint8_t>(MessageType::Orientation)) continue;
        const std::uint16_t azimuth = Decode<Orientation>(message).azimuth;
        if (!first) f.lost += static_cast<std::uint16_t>(azimuth - expected);
        first = false;
        expected = static_cast<std::uint16_t>(azimuth + 1);
        ++f.received;
    }
    f.cpu = CpuSeconds() - cpuStart;
    f.lost += serial.DroppedCount();
    serial.Close();
    f.ok = f.received > 0;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const Figures direct = Run(false, seconds);
    const Figures network = Run(true, seconds);
    if (!direct.ok || !network.ok) {
        std::fprintf(stderr, "the simulator or ser2net did not start\n");
        return 1;
    }
    for (const auto& [name, f] : {std::pair{"pseudo-terminal", direct}, std::pair{"ser2net raw TCP", network}})
        std::printf("%-16s %8llu messages  %llu lost  CPU %.3f s (%.1f%%)\n", name,
                    static_cast<unsigned long long>(f.received), static_cast<unsigned long long>(f.lost), f.cpu,
                    100.0 * f.cpu / seconds);
    std::printf("CPU through ser2net: %.2f times the pseudo-terminal's\n", network.cpu / direct.cpu);
    return direct.lost + network.lost == 0 ? 0 : 1;
}
