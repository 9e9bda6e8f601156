// Playing a recording back: a capture of at least 200 MB made here (at
// 38400 baud in burst: four orientation frames every 10 ms, the azimuth
// counting messages, and a heading sentence every second), then
//   - the first message in the view after the open,
//   - indexing speed, and seeks once indexed,
//   - as fast as possible through dispatch with the view, the panel, the
//     Nav Console and the plot open: speed, and every message there in order,
//   - at 1x, how far from their recorded times the messages arrive,
//   - the resident memory all along.
//   replay_bench [MEGABYTES]   (200 by default)
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "app/main_frame.h"
#include "app/replay_player.h"
#include "capture/replay.h"
#include "capture/replay_recording.h"
#include "instruments/orientation_plot.h"
#include "link/clock.h"
#include "link/framing.h"
#include "link/serial_link.h"
#include "protocol/payload.h"
#include "resources/command_ids.h"
#include "views/message_view.h"

using namespace tolvane;

namespace {

long ResidentMb()
{
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

long peakMb = 0;
// Read at most every 100 ms: reading it costs as much as a message's dispatch.
void Sample()
{
    static std::int64_t last = 0;
    if (NowMs() - last < 100) return;
    last = NowMs();
    peakMb = std::max(peakMb, ResidentMb());
}

void Run(const std::function<bool()>& done, int limitMs = 600000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        Sample();
    }
}

// The capture: returns the orientation messages written.
std::uint64_t MakeCapture(const std::string& path, std::uint64_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << "TOLVANE-CAPTURE 1 baud=38400 start=2026-12-07T13:45:10+0100 device=/dev/ttyUSB0\n";
    std::uint64_t written = 0, count = 0;
    std::string line;
    for (std::int64_t ms = 0; written < bytes; ms += 10) {
        std::vector<std::uint8_t> chunk;
        for (int i = 0; i < 4; ++i, ++count) {
            Orientation o;
            o.azimuth = static_cast<std::uint16_t>(count);
            o.pitch = static_cast<std::int16_t>(count % 2000);
            o.roll = static_cast<std::int16_t>(-static_cast<int>(count % 3000));
            PayloadWriter payload;
            Encode(o, payload);
            std::uint8_t frame[kMaxSentFrame];
            const std::size_t n = EncodeBinaryFrame(0x70, payload.Bytes(), payload.Length(), frame);
            chunk.insert(chunk.end(), frame, frame + n);
        }
        if (ms % 1000 == 0) {
            const std::string s = "$HCHDT," + std::to_string(count % 360) + ".0,T*00\r\n";
            chunk.insert(chunk.end(), s.begin(), s.end());
        }
        line = FormatChunkLine(ChunkKind::Received, ms, chunk.data(), chunk.size());
        out << line;
        written += line.size();
    }
    return count;
}

double Seconds(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string path = dir.filePath("day.tcap").toStdString();
    const std::string tiny = dir.filePath("tiny.tcap").toStdString();
    std::ofstream(tiny) << "TOLVANE-CAPTURE 1 baud=38400\n";
    QElapsedTimer made;
    made.start();
    const std::uint64_t orientations = MakeCapture(path, megabytes << 20);
    const double sizeMb = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
    std::printf("capture: %.0f MB, %llu orientation messages, made in %.1f s\n", sizeMb,
                static_cast<unsigned long long>(orientations), Seconds(made));

    // Indexing alone, on this thread.
    {
        ReplayIndex index;
        std::string error;
        QElapsedTimer t;
        t.start();
        IndexRecording(path, index, {}, {}, error);
        std::printf("indexing: %.0f MB/s (%zu entries)\n", sizeMb / Seconds(t), index.Size());
    }

    // As fast as possible through the link alone: the reader's part.
    {
        std::string error;
        auto replay = ReplayRecording::Open(path, error, NowMs);
        replay->SetSpeed(0);
        SerialLink alone;
        std::atomic<bool> ended{false};
        QElapsedTimer t;
        t.start();
        alone.OpenChannel(replay->ChannelAt(0, [&](const ReplayEvent&) { ended.store(true); }), 1);
        std::uint64_t taken = 0;
        DeviceMessage m;
        for (bool empty = false; !(ended.load() && empty);) {
            empty = alone.TakeMessage(m) == DeviceLink::kEmpty;
            taken += empty ? 0 : 1;
        }
        std::printf("as fast as possible through the link alone: %.0f MB/s, %llu messages\n", sizeMb / Seconds(t),
                    static_cast<unsigned long long>(taken));
    }

    QSettings settings(dir.filePath("Tolvane.conf"), QSettings::IniFormat);
    settings.setValue("Compass/COMPort", 1);
    SerialLink link;
    PortMap ports;
    ports.SetPath(1, dir.filePath("none").toStdString());
    link.SetPortMap(ports);
    LogFile log(dir.path().toStdString(), LogFile::LocalTime{});
    CMainFrame frame(link, log, settings);
    frame.resize(1280, 800);
    // At start-up a tiny recording plays in place of the port (no dialog to answer).
    frame.Replay().SetPending(tiny);
    frame.show();
    Run([&] { return frame.Replay().Active(); }, 5000);
    for (int id : {kCmdStatusView, kCmdNavConsole, kCmdOrientationPlot}) frame.RunCommand(id);
    Run([] { return false; }, 300);

    // First message after the open.
    const std::uint64_t before = frame.Session().OrientationCount();
    QElapsedTimer open;
    open.start();
    frame.Replay().Open(path);
    Run([&] { return frame.Session().OrientationCount() > before; }, 10000);
    const double firstMs = Seconds(open) * 1000;
    Run([] { return false; }, 50); // painted
    std::printf("first message after the open: %.0f ms\n", firstMs);
    Run([&] { return frame.Replay().Recording()->Indexed(); });
    std::printf("indexed in the background after %.1f s (%.0f MB/s while playing at 1x)\n", Seconds(open),
                sizeMb / Seconds(open));

    // Seeks once indexed.
    const std::int64_t length = frame.Replay().Recording()->LengthMs();
    std::mt19937 random(25);
    double worst = 0, total = 0;
    const int seeks = 20;
    for (int i = 0; i < seeks; ++i) {
        const std::int64_t to = std::uniform_int_distribution<std::int64_t>(0, length)(random);
        QElapsedTimer t;
        t.start();
        frame.Replay().SeekTo(to);
        const double ms = Seconds(t) * 1000;
        worst = std::max(worst, ms);
        total += ms;
        Run([] { return false; }, 20);
    }
    std::printf("seek (the plot's span refilled, framing afresh): mean %.1f ms, worst %.1f ms over %d seeks\n",
                total / seeks, worst, seeks);

    // As fast as possible from the start, through the whole dispatch.
    ReplayRecording& recording = const_cast<ReplayRecording&>(*frame.Replay().Recording());
    recording.SetPaused(true);
    frame.Replay().SeekTo(0);
    frame.View()->Clear();
    const std::uint64_t dispatchedBefore = frame.Session().OrientationCount();
    const std::uint64_t droppedBefore = link.DroppedCount();
    frame.Replay().SetSpeedIndex(4);
    recording.SetPaused(false);
    QElapsedTimer fast;
    fast.start();
    Run([&] { return recording.Ended() && frame.Session().OrientationCount() - dispatchedBefore >= orientations; });
    Run([] { return false; }, 200);
    const double fastS = Seconds(fast);
    const std::uint64_t dispatched = frame.Session().OrientationCount() - dispatchedBefore;
    // The plot holds the newest messages: their azimuths count on by one.
    const auto& ring = frame.Plot().Samples();
    std::size_t outOfOrder = 0;
    for (std::size_t i = 1; i < ring.Size(); ++i) {
        // Unwrapped headings are floats a few turns from zero: a step to within a thousandth.
        const double step = std::fmod(double{ring[i].values[0]} - ring[i - 1].values[0] + 720.0, 360.0);
        if (std::abs(step - 360.0 / 65536) > 2e-3) ++outOfOrder;
    }
    std::printf("as fast as possible through dispatch (view, panel, Nav Console, plot): %.1f MB/s, %.1f s; "
                "%llu of %llu orientation messages dispatched, %llu dropped, %zu out of order in the plot's last %zu\n",
                sizeMb / fastS, fastS, static_cast<unsigned long long>(dispatched),
                static_cast<unsigned long long>(orientations),
                static_cast<unsigned long long>(link.DroppedCount() - droppedBefore), outOfOrder, ring.Size());
    frame.Replay().Close();
    frame.close();

    // At 1x, arrival against the recorded times, on a link of its own.
    {
        std::string error;
        auto replay = ReplayRecording::Open(path, error, NowMs);
        SerialLink timed;
        std::mutex mutex;
        std::vector<std::int64_t> arrived;
        timed.SetNotify([&] { arrived.push_back(NowMs()); }); // under the link's queue lock
        const std::int64_t from = 60000;
        timed.OpenChannel(replay->ChannelAt(from, {}), 1);
        const std::int64_t start = NowMs();
        std::vector<std::int64_t> recorded;
        DeviceMessage m;
        while (NowMs() - start < 5000) {
            while (timed.TakeMessage(m) != DeviceLink::kEmpty) recorded.push_back(m.timestamp - replay->BaseMs());
            ::usleep(1000);
        }
        timed.Close();
        double worstLate = 0, sum = 0;
        const std::size_t n = std::min(recorded.size(), arrived.size());
        for (std::size_t i = 0; i < n; ++i) {
            const double error1x = static_cast<double>((arrived[i] - start) - (recorded[i] - from));
            worstLate = std::max(worstLate, std::abs(error1x));
            sum += std::abs(error1x);
        }
        std::printf("1x: %zu messages in 5 s, arrival against recorded time: mean %.2f ms, worst %.0f ms\n", n,
                    n ? sum / static_cast<double>(n) : 0.0, worstLate);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    Sample();
    std::printf("resident memory: peak %ld MB sampled during playing, %ld MB peak of the process\n", peakMb,
                usage.ru_maxrss / 1024);
    return 0;
}
