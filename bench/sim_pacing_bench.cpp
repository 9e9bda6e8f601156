// The simulator's line pace as the program sees it: tolvane-sim in burst
// mode at each speed, read through SerialLink for two seconds. Prints the
// bytes per second and milliseconds per byte against the line rate, and
// the orientation messages lost (their azimuth counts up by one).
#include "link/serial_link.h"
#include "protocol/messages.h"
#include "support/sim_process.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace tolvane;

int main()
{
    constexpr auto kMeasure = std::chrono::seconds(2);
    for (int baud : {4800, 9600, 19200, 38400}) {
        SimProcess sim(TOLVANE_SIM_PATH, {"--burst", "--baud", std::to_string(baud)});
        const std::string path = sim.Output();
        if (path.empty()) {
            std::fprintf(stderr, "cannot start %s\n", TOLVANE_SIM_PATH);
            return 1;
        }
        PortMap ports;
        ports.SetPath(1, path);
        SerialLink link(4096);
        link.SetPortMap(ports);
        if (link.Open(1, baud) != 1) {
            std::fprintf(stderr, "cannot open %s\n", path.c_str());
            return 1;
        }
        DeviceMessage m;
        // The first orientation message after opening marks the start.
        while (link.TakeMessage(m) == SerialLink::kEmpty || !IsType(m, MessageType::Orientation))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto start = std::chrono::steady_clock::now();
        long bytes = 0, messages = 0, lost = 0;
        std::uint16_t expected = Decode<Orientation>(m).azimuth;
        while (std::chrono::steady_clock::now() - start < kMeasure) {
            if (link.TakeMessage(m) == SerialLink::kEmpty) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (!IsType(m, MessageType::Orientation)) continue;
            ++messages;
            bytes += m.length + 6;
            const std::uint16_t sequence = Decode<Orientation>(m).azimuth;
            lost += static_cast<std::uint16_t>(sequence - expected - 1);
            expected = sequence;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        link.Close();
        std::printf("%5d baud: %7.1f bytes/s (line %6.1f), %.4f ms/byte (line %.4f), %ld messages, %ld lost\n", baud,
                    static_cast<double>(bytes) / seconds, baud / 10.0, seconds * 1000 / static_cast<double>(bytes),
                    10000.0 / baud, messages, lost);
    }
    return 0;
}
