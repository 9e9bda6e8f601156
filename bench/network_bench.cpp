// The link at 38400 baud in burst (orientation messages back to back, the
// azimuth counting them 0, 1, 2 ...), first straight on the simulator's
// pseudo-terminal and then through ser2net as raw TCP on loopback, side by
// side: the messages received, any lost (a gap in the count), and this
// process's CPU time for each, with the ratio. Then a backlog: a server on
// loopback that held 10,000 such messages sends them at once to a link
// whose queue is left to fill first; TCP must hold back what does not fit.
//   network_bench [SECONDS]   (10 by default); exits 1 if a message is lost
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cpu_seconds.h"
#include "link/framing.h"
#include "link/serial_link.h"
#include "protocol/messages.h"
#include "support/ser2net_server.h"
#include "support/sim_process.h"

using namespace tolvane;

namespace {

struct Figures {
    std::uint64_t received = 0;
    std::uint64_t lost = 0;
    double cpu = 0;
    double seconds = 0; // taking them
    bool ok = false;
};

constexpr std::uint16_t kBacklog = 10000;

// The backlog, as the module would have sent it.
std::vector<std::uint8_t> Backlog()
{
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t i = 0; i < kBacklog; ++i) {
        Orientation o;
        o.azimuth = i;
        const OutgoingRequest r = EncodeRequest(o);
        std::uint8_t frame[kMaxSentFrame];
        const std::size_t size = EncodeBinaryFrame(static_cast<std::uint8_t>(r.type), r.payload, r.length, frame);
        bytes.insert(bytes.end(), frame, frame + size);
    }
    return bytes;
}

enum class Source { PseudoTerminal, Ser2net, Backlog };

Figures Run(Source source, int seconds)
{
    Figures f;
    char folder[] = "/tmp/network-bench.XXXXXX";
    if (!::mkdtemp(folder)) return f;
    const std::string link = std::string(folder) + "/compass";
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<Ser2NetServer> server;
    std::unique_ptr<HoldingPeer> peer;
    std::string path = link;
    if (source == Source::Backlog) {
        peer = std::make_unique<HoldingPeer>(Backlog());
        path = "tcp://127.0.0.1:" + std::to_string(peer->Port());
    } else {
        sim = std::make_unique<SimProcess>(TOLVANE_SIM_PATH,
                                           std::vector<std::string>{"--burst", "--baud", "38400", "--link", link});
        if (sim->Output().empty()) return f;
    }
    if (source == Source::Ser2net) {
        server = std::make_unique<Ser2NetServer>(folder, link, false, 38400);
        if (!server->Listening()) return f;
        path = server->Path();
    }

    SerialLink serial;
    PortMap ports;
    ports.SetPath(1, path);
    serial.SetPortMap(ports);
    std::mutex mutex;
    std::condition_variable queued;
    serial.SetNotify([&] { queued.notify_one(); });
    if (serial.Open(1, 38400) != 1) return f;
    // The queue fills before anything is taken: what does not fit must wait at the server.
    if (source == Source::Backlog) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();

    bool first = true;
    std::uint16_t expected = 0;
    const double cpuStart = CpuSeconds();
    const auto end = start + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end && (source != Source::Backlog || f.received < kBacklog)) {
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
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (source == Source::Backlog) f.lost += kBacklog - f.received;
    f.lost += serial.DroppedCount();
    serial.Close();
    f.ok = f.received > 0;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const Figures direct = Run(Source::PseudoTerminal, seconds);
    const Figures network = Run(Source::Ser2net, seconds);
    const Figures backlog = Run(Source::Backlog, seconds);
    if (!direct.ok || !network.ok || !backlog.ok) {
        std::fprintf(stderr, "the simulator, ser2net or the backlog's server did not start\n");
        return 1;
    }
    for (const auto& [name, f] : {std::pair{"pseudo-terminal", direct}, std::pair{"ser2net raw TCP", network}})
        std::printf("%-16s %8llu messages  %llu lost  CPU %.3f s (%.1f%%)\n", name,
                    static_cast<unsigned long long>(f.received), static_cast<unsigned long long>(f.lost), f.cpu,
                    100.0 * f.cpu / seconds);
    std::printf("CPU through ser2net: %.2f times the pseudo-terminal's\n", network.cpu / direct.cpu);
    std::printf("backlog of %u held by the server: %llu messages  %llu lost  taken in %.3f s  CPU %.3f s\n", kBacklog,
                static_cast<unsigned long long>(backlog.received), static_cast<unsigned long long>(backlog.lost),
                backlog.seconds, backlog.cpu);
    return direct.lost + network.lost + backlog.lost == 0 ? 0 : 1;
}
