// tolvane-decode's streaming on a generated raw stream of at least 200 MB
// (NMEA sentences with binary orientation frames among them), as lines and
// as CSV, and tolvane-sim replaying it: throughput and peak memory, each
// measured in a process of its own. Then a capture whose one line after
// the header runs as long without an end: the peak memory of skipping it.
//   decode_bench [MEGABYTES]   (200 by default)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "capture/capture_decode.h"
#include "link/framing.h"
#include "protocol/messages.h"
#include "support/sim_process.h"

using namespace tolvane;

namespace {

// A null stream: what is printed is thrown away, as with > /dev/null.
struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::string Sentence(int i)
{
    char body[64];
    std::snprintf(body, sizeof body, "HCHDT,%d.%d,T", i % 360, i % 10);
    unsigned x = 0;
    for (const char* p = body; *p; ++p) x ^= static_cast<unsigned char>(*p);
    char line[80];
    std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, x);
    return line;
}

// Runs `work` in a child process: its seconds and peak resident memory.
template <typename Work>
std::pair<double, long> Measure(Work work)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) std::_Exit(work());
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "the measured process failed\n");
    return {seconds, usage.ru_maxrss};
}

long SimPeakKb(const std::string& path)
{
    const std::string link = path + ".pty";
    SimProcess sim(TOLVANE_SIM_PATH, {"--replay", path, "--speed", "1000", "--baud", "38400", "--link", link});
    sim.Output();
    const int fd = ::open(link.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    char buffer[4096];
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
         std::chrono::steady_clock::now() < end;) {
        while (fd >= 0 && ::read(fd, buffer, sizeof buffer) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    long peak = 0;
    std::ifstream status("/proc/" + std::to_string(sim.Pid()) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) peak = std::atol(line.c_str() + 6);
    if (fd >= 0) ::close(fd);
    return peak;
}

} // namespace

int main(int argc, char** argv)
{
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
    char folder[] = "/tmp/decode-bench.XXXXXX";
    if (!::mkdtemp(folder)) return 1;
    const std::string path = std::string(folder) + "/stream.bin";
    {
        std::ofstream out(path, std::ios::binary);
        std::string block;
        std::uint8_t frame[16];
        for (int i = 0; static_cast<long>(out.tellp()) < megabytes * 1000000; ++i) {
            block += Sentence(i);
            if (i % 4 == 0) {
                const DeviceMessage m = EncodeAs<DeviceMessage>(
                    Orientation{.roll = static_cast<std::int16_t>(i & 0xFF),
                                .azimuth = static_cast<std::uint16_t>((i >> 8) & 0xFF)});
                const std::size_t n = EncodeBinaryFrame(static_cast<std::uint8_t>(m.type), m.payload, m.length, frame);
                block.append(reinterpret_cast<const char*>(frame), n);
            }
            if (block.size() > (1 << 20)) {
                out << block;
                block.clear();
            }
        }
        out << block;
    }
    std::ifstream sized(path, std::ios::binary | std::ios::ate);
    const double mb = static_cast<double>(sized.tellg()) / 1e6;

    for (const char* mode : {"lines", "csv"}) {
        const auto [seconds, peakKb] = Measure([&] {
            NullBuffer null;
            std::ostream out(&null);
            std::istringstream none;
            std::vector<std::string> args{path};
            if (std::string(mode) == "csv") args.insert(args.begin(), "--csv");
            return DecodeMain(args, none, out, std::cerr);
        });
        std::printf("decode %-5s %.0f MB in %.2f s: %.0f MB/s, peak memory %.1f MB\n", mode, mb, seconds,
                    mb / seconds, static_cast<double>(peakKb) / 1024);
    }
    std::printf("tolvane-sim --replay of it: peak memory %.1f MB\n", static_cast<double>(SimPeakKb(path)) / 1024);

    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "TOLVANE-CAPTURE 1 baud=9600 start= device=\nR 1";
        const std::string block(1 << 20, '0');
        for (long i = 0; i < megabytes; ++i) out << block;
    }
    const auto [seconds, peakKb] = Measure([&] {
        NullBuffer null;
        std::ostream out(&null), err(&null);
        std::istringstream none;
        return DecodeMain({path}, none, out, err);
    });
    std::printf("decode of a line of %ld MiB without an end: %.2f s, peak memory %.1f MB\n", megabytes, seconds,
                static_cast<double>(peakKb) / 1024);
    std::remove(path.c_str());
    ::rmdir(folder);
    return 0;
}
