// tolvane-sim: plays a compass module on a pseudo-terminal until SIGINT or
// SIGTERM. The first line of standard output is the terminal's path.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "compass_module.h"
#include "faults.h"
#include "flash_store.h"
#include "link/framing.h"
#include "paced_line.h"
#include "pty_port.h"
#include "recorder.h"
#include "replay.h"
#include "replies.h"
#include "send_times.h"
#include "sim_options.h"
#include "streams.h"
#include "tolvane_version.h"

using namespace tolvane;
using namespace tolvane::sim;

namespace {

// Fewer bytes than an orientation frame left on the line.
constexpr std::size_t kBurstLowWater = 12;

std::int64_t NowNs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
}

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Send(const Outgoing& message, Faults& faults, PacedLine& line, SendTimes& sendTimes, std::int64_t nowNs)
{
    const std::vector<std::uint8_t> bytes = faults.Encode(message);
    sendTimes.Queued(message, bytes.size());
    line.Enqueue(bytes, nowNs);
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "tolvane-sim: %s\n", message.c_str());
    return 2;
}

constexpr std::size_t kReplayAhead = 64 * 1024;

// Plays `replay` on the line until a stop signal, reading and dropping
// whatever the host sends so that its writes never block.
int RunReplay(Replay& replay, PtyPort& port, PacedLine& line, int signalFd)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> due;
    std::uint8_t input[256];
    for (;;) {
        std::int64_t nowNs = NowNs(start);
        while (port.Read(input, sizeof input) > 0) {
        }
        if (!replay.Started() && port.HostConnected()) replay.Start(nowNs);

        // Only as much is read ahead as the line has room for: a fast
        // replay of a long capture does not pile up in memory.
        due.clear();
        if (line.Queued() < kReplayAhead) replay.TakeDue(nowNs, due, kReplayAhead);
        if (!due.empty()) line.Enqueue(due, nowNs);
        due.clear();
        line.TakeDue(nowNs, due);
        if (!due.empty() && port.HostConnected()) port.Write(due.data(), due.size());

        nowNs = NowNs(start);
        std::int64_t wakeNs = nowNs + 20'000'000;
        if (const std::int64_t b = line.NextByteNs(); b >= 0) wakeNs = std::min(wakeNs, b);
        if (const std::int64_t r = replay.NextDueNs(); r >= 0 && line.Queued() < kReplayAhead)
            wakeNs = std::min(wakeNs, r);
        const int timeoutMs = static_cast<int>(std::max<std::int64_t>(0, (wakeNs - nowNs + 999'999) / 1'000'000));
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {port.MasterFd(), POLLIN, 0}};
        ::poll(fds, 2, timeoutMs);
        if (fds[0].revents & POLLIN) return 0;
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!parsed) {
        std::fprintf(stderr, "tolvane-sim: %s\nUsage: tolvane-sim [OPTION]...\n", error.c_str());
        return 2;
    }
    const SimOptions& options = *parsed;
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tolvane-sim %s\n", kVersion);
        return 0;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signalFd < 0) return Fail("cannot watch for signals");

    Replay::Source replaySource;
    if (!options.replay.empty() && !OpenReplay(options.replay, replaySource, error)) return Fail(error);

    FlashStore flash;
    if (!flash.Open(options.flashFile, error)) return Fail(error);
    Recorder recorder;
    if (!options.record.empty() && !recorder.Open(options.record, error)) return Fail(error);
    SendTimes sendTimes;
    if (!options.sendTimes.empty() && !sendTimes.Open(options.sendTimes, error)) return Fail(error);
    PtyPort port;
    if (!port.Open(options.baud, options.link, error)) return Fail(error);
    std::printf("%s\n", port.SlavePath().c_str());
    std::fflush(stdout);
    if (!options.replay.empty()) {
        Replay replay(std::move(replaySource), options.speed);
        PacedLine replayLine(options.baud);
        return RunReplay(replay, port, replayLine, signalFd);
    }

    CompassModule module(options, flash);
    Replier replier(module);
    Streams streams(module, replier);
    Faults faults(options);
    PacedLine line(options.baud);
    BinaryReceiver requests;

    const auto start = std::chrono::steady_clock::now();
    const std::int64_t unplugAtNs = options.unplugAfter > 0 ? static_cast<std::int64_t>(options.unplugAfter * 1e9) : -1;
    std::vector<std::uint8_t> due;
    std::uint8_t input[256];
    bool poweredOn = !options.powerOnOpen;
    std::int64_t powerOnAtMs = -1;
    // The host's speed as it is when bytes are judged, not as it was at the
    // top of the loop: the host may change it and write at the new one
    // while this process waits for the processor.
    const auto wrongSpeed = [&] {
        const int hostBaud = port.HostBaud();
        return !options.ignoreSpeed && hostBaud != 0 && hostBaud != options.baud;
    };

    for (;;) {
        std::int64_t nowNs = NowNs(start);
        const std::int64_t nowMs = nowNs / 1'000'000;

        if (port.Plugged() && unplugAtNs >= 0 && nowNs >= unplugAtNs) port.Unplug();

        // Off until a host opens the line, then deaf while it starts, as
        // after a reset; its power-up then goes out first. A host that only
        // probed the line and closed it again leaves it off.
        if (!poweredOn && powerOnAtMs < 0 && port.HostConnected()) powerOnAtMs = nowMs + CompassModule::kPowerUpDelayMs;
        if (!poweredOn && powerOnAtMs >= 0 && nowMs >= powerOnAtMs && !port.HostConnected()) powerOnAtMs = -1;
        if (!poweredOn && powerOnAtMs >= 0 && nowMs >= powerOnAtMs) {
            poweredOn = true;
            for (const Outgoing& message : streams.Due(nowMs, true)) Send(message, faults, line, sendTimes, nowNs);
        }

        // The host's requests; at the wrong speed its bytes are noise.
        for (std::size_t n; (n = port.Read(input, sizeof input)) > 0;) {
            if (!poweredOn || wrongSpeed()) continue;
            for (std::size_t i = 0; i < n; ++i) {
                if (!requests.Feed(input[i], nowMs)) continue;
                recorder.Record(nowMs, requests.Message());
                for (const Outgoing& reply : replier.Answer(requests.Message(), nowMs))
                    Send(reply, faults, line, sendTimes, nowNs);
            }
        }

        // Burst messages are queued while the one before is still going out.
        if (poweredOn)
            for (const Outgoing& message : streams.Due(nowMs, line.Queued() < kBurstLowWater))
                Send(message, faults, line, sendTimes, nowNs);

        due.clear();
        line.TakeDue(nowNs, due);
        if (!due.empty()) {
            const bool written = port.HostConnected();
            if (written) {
                if (wrongSpeed()) faults.Garble(due.data(), due.size());
                port.Write(due.data(), due.size());
            }
            sendTimes.Left(due.size(), SteadyNs(), written);
        }

        // Sleep until the next byte, message or event, at most 20 ms so a
        // speed change or unplug time is noticed.
        nowNs = NowNs(start);
        std::int64_t wakeNs = nowNs + 20'000'000;
        if (const std::int64_t b = line.NextByteNs(); b >= 0) wakeNs = std::min(wakeNs, b);
        if (const std::int64_t m = streams.NextDueMs(); m >= 0 && poweredOn) wakeNs = std::min(wakeNs, m * 1'000'000);
        if (options.burst && poweredOn && line.Queued() < kBurstLowWater) wakeNs = nowNs;
        const int timeoutMs = static_cast<int>(std::max<std::int64_t>(0, (wakeNs - nowNs + 999'999) / 1'000'000));

        pollfd fds[2] = {{signalFd, POLLIN, 0}, {port.MasterFd(), POLLIN, 0}};
        ::poll(fds, port.Plugged() ? 2 : 1, timeoutMs);
        if (fds[0].revents & POLLIN) break;
    }
    return 0;
}
