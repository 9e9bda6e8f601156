// The program left running, offscreen: the main frame against tolvane-sim
// at 38400 baud in burst mode (orientation back to back, the azimuth
// counting messages 0, 1, 2 ...) with a log open, for MINUTES minutes.
// Checks that every orientation message is dispatched once, in order, and
// logged once; reports the link queue's drops, the resident memory growth
// after the first minute, the CPU share, the delay from the simulator's
// writing of each orientation message's last byte to the end of its
// dispatch, and the part of it spent between the reader's queueing and the
// dispatch.
//   soak_bench [MINUTES]   (10 by default); exits 1 if a check fails
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "burst_program.h"

using namespace tolvane;

namespace {

using Clock = std::chrono::steady_clock;

long ResidentKb()
{
    long size = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Queueing times from the reader thread, in the order the notifications
// were posted (one per queued message). Fixed size, so the soak measures
// the program's memory rather than this bench's.
class StampRing {
public:
    void Push(Clock::time_point t)
    {
        std::lock_guard lock(mutex_);
        if (count_ == ring_.size()) ++lost_;
        else ring_[(head_ + count_++) % ring_.size()] = t;
    }
    bool Pop(Clock::time_point& t)
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) return false;
        t = ring_[head_];
        head_ = (head_ + 1) % ring_.size();
        --count_;
        return true;
    }
    std::uint64_t Lost() const { return lost_; }

private:
    std::mutex mutex_;
    std::array<Clock::time_point, 4096> ring_{};
    std::size_t head_ = 0, count_ = 0;
    std::uint64_t lost_ = 0;
};

// Delays in microseconds: 1 us buckets below 10 ms, 100 us ones to 1 s.
class Histogram {
public:
    void Add(long long us)
    {
        const long long b = us < 10000 ? us : 10000 + (us - 10000) / 100;
        ++buckets_[static_cast<std::size_t>(std::clamp(b, 0LL, static_cast<long long>(buckets_.size() - 1)))];
        ++total_;
        max_ = std::max(max_, us);
    }
    double PercentileMs(double p) const
    {
        const auto wanted = static_cast<std::uint64_t>(p * static_cast<double>(total_));
        std::uint64_t seen = 0;
        for (std::size_t b = 0; b < buckets_.size(); ++b) {
            seen += buckets_[b];
            if (seen > wanted) return (b < 10000 ? static_cast<double>(b) : 10000.0 + (static_cast<double>(b) - 10000) * 100) / 1000;
        }
        return static_cast<double>(max_) / 1000;
    }
    double MaxMs() const { return static_cast<double>(max_) / 1000; }
    std::uint64_t Total() const { return total_; }

private:
    std::array<std::uint64_t, 19901> buckets_{};
    std::uint64_t total_ = 0;
    long long max_ = 0;
};

// Sees each device-message event around its dispatch by the frame.
class SoakApp : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* e) override
    {
        if (e->type() != CMainFrame::WM_DEVICE_MESSAGE || !frame) return QApplication::notify(receiver, e);
        Clock::time_point queued;
        const bool stamped = stamps.Pop(queued);
        const std::uint64_t before = frame->Session().OrientationCount();
        const bool handled = QApplication::notify(receiver, e);
        if (stamped)
            delays.Add(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - queued).count());
        if (frame->Session().OrientationCount() != before) {
            Orientation(log->azimuth);
            if (dispatched)
                std::fprintf(dispatched, "%lld %u\n",
                             static_cast<long long>(Clock::now().time_since_epoch().count()),
                             static_cast<unsigned>(log->azimuth));
        }
        return handled;
    }

    void Orientation(std::uint16_t sequence)
    {
        if (haveLast && sequence != static_cast<std::uint16_t>(last + 1)) {
            const auto skipped = static_cast<std::uint16_t>(sequence - last - 1);
            // A step back (or none) is a repeat; a step forward, messages lost.
            if (skipped >= 0x8000) ++repeats;
            else gaps += skipped;
        }
        haveLast = true;
        last = sequence;
        if (log->Logging() && !haveFirstLogged) {
            haveFirstLogged = true;
            firstLogged = sequence;
        }
    }

    CMainFrame* frame = nullptr;
    LogFile* log = nullptr;
    std::FILE* dispatched = nullptr; // "<steady ns> <azimuth>" per orientation message
    StampRing stamps;
    Histogram delays;
    bool haveLast = false, haveFirstLogged = false;
    std::uint16_t last = 0, firstLogged = 0;
    std::uint64_t gaps = 0, repeats = 0;
};

struct Timed {
    std::int64_t ns;
    unsigned azimuth;
};

std::vector<Timed> ReadTimes(const std::string& path)
{
    std::vector<Timed> times;
    std::ifstream in(path);
    long long ns = 0;
    unsigned azimuth = 0;
    while (in >> ns >> azimuth) times.push_back({ns, azimuth});
    return times;
}

// The simulator's send of each dispatched message to its dispatch. Both
// lists run in order; the dispatched one starts at its first message's
// first appearance among those sent, and any message missing shows as a
// mismatch from there on.
Histogram SendToDispatch(const std::vector<Timed>& sent, const std::vector<Timed>& dispatched,
                         std::uint64_t& unmatched)
{
    Histogram delays;
    unmatched = dispatched.size();
    if (dispatched.empty()) return delays;
    std::size_t j = 0;
    while (j < sent.size() && sent[j].azimuth != dispatched[0].azimuth) ++j;
    unmatched = 0;
    for (const Timed& d : dispatched) {
        if (j >= sent.size() || sent[j].azimuth != d.azimuth) {
            ++unmatched;
            continue;
        }
        delays.Add((d.ns - sent[j++].ns) / 1000);
    }
    return delays;
}

void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int minutes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    SoakApp app(argc, argv);
    QTemporaryDir dir;

    const std::string sentPath = dir.filePath("sent.txt").toStdString();
    const std::string dispatchedPath = dir.filePath("dispatched.txt").toStdString();
    app.dispatched = std::fopen(dispatchedPath.c_str(), "w");
    if (!app.dispatched) return 1;
    LogFile log(dir.path().toStdString(), LogFile::LocalTime{});
    BurstProgram program(dir, log, {"--send-times", sentPath});
    if (!program.Started()) return 1;
    CMainFrame& frame = *program.frame;
    SerialLink& link = program.link;
    // The frame's own notification, stamped; set before the port opens.
    link.SetNotify([&app, &frame] {
        app.stamps.Push(Clock::now());
        QCoreApplication::postEvent(&frame, new QEvent(CMainFrame::WM_DEVICE_MESSAGE));
    });
    app.frame = &frame;
    app.log = &log;
    frame.show();

    QElapsedTimer settle;
    settle.start();
    while (!frame.Session().VersionKnown() && settle.elapsed() < 8000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    RunFor(500); // the identity chain's declination reply ends, unlogged
    if (!frame.Session().VersionKnown() || frame.Session().OrientationCount() == 0) {
        std::fprintf(stderr, "no identity or no orientation from the simulator\n");
        return 1;
    }

    const std::string logPath = dir.filePath("soak.dta").toStdString();
    if (!log.OpenPath(logPath, false)) {
        std::fprintf(stderr, "cannot open %s\n", logPath.c_str());
        return 1;
    }
    const std::uint64_t countAtOpen = frame.Session().OrientationCount();
    const double cpuStart = CpuSeconds();
    QElapsedTimer run;
    run.start();
    RunFor(60 * 1000);
    const long residentAfterMinute = ResidentKb();
    long residentMax = residentAfterMinute;
    for (int m = 1; m < minutes; ++m) {
        for (int s = 0; s < 6; ++s) {
            RunFor(10 * 1000);
            residentMax = std::max(residentMax, ResidentKb());
        }
        std::fprintf(stderr, "minute %d: %llu orientation messages\n", m + 1,
                     static_cast<unsigned long long>(frame.Session().OrientationCount() - countAtOpen));
    }
    const long residentEnd = ResidentKb();
    const double cpu = CpuSeconds() - cpuStart;
    const double wall = static_cast<double>(run.elapsed()) / 1000.0;
    log.Close();
    const std::uint64_t logged = frame.Session().OrientationCount() - countAtOpen;
    app.frame = nullptr;

    // Record i holds message firstLogged + i: its azimuth column must read
    // as that count's, so a record missing or repeated shifts the rest.
    QFile file(QString::fromStdString(logPath));
    if (!file.open(QIODevice::ReadOnly)) return 1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    std::uint64_t records = 0, misplaced = 0;
    for (qsizetype i = 3; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) continue;
        const auto sequence = static_cast<std::uint16_t>(app.firstLogged + records);
        const std::string expected = LogRecordLine(nullptr, sequence, 0, 0, 0, 0).substr(8, 7);
        if (lines[i].mid(8, 7).toStdString() != expected) ++misplaced;
        ++records;
    }

    link.Close();
    program.StopSimulator(); // its send times reach the disk as it exits
    std::fclose(app.dispatched);
    app.dispatched = nullptr;
    std::uint64_t unmatched = 0;
    const Histogram sendDelays = SendToDispatch(ReadTimes(sentPath), ReadTimes(dispatchedPath), unmatched);

    const bool ok = app.gaps == 0 && app.repeats == 0 && unmatched == 0 && records == logged && misplaced == 0 &&
                    link.DroppedCount() == 0 && residentMax - residentAfterMinute < 1024;
    std::printf("soak at 38400 baud, burst, log open: %.0f s\n", wall);
    std::printf("orientation messages dispatched while logging: %llu (%.0f/s)\n",
                static_cast<unsigned long long>(logged), static_cast<double>(logged) / wall);
    std::printf("sequence: %llu missing, %llu repeated; log: %llu records, %llu out of place\n",
                static_cast<unsigned long long>(app.gaps), static_cast<unsigned long long>(app.repeats),
                static_cast<unsigned long long>(records), static_cast<unsigned long long>(misplaced));
    std::printf("dropped by the link queue: %llu\n", static_cast<unsigned long long>(link.DroppedCount()));
    std::printf("resident: %ld kB after the first minute, %ld kB at most after, %ld kB at the end (growth %ld kB)\n",
                residentAfterMinute, residentMax, residentEnd, residentMax - residentAfterMinute);
    std::printf("CPU: %.2f s in %.1f s = %.1f%% of one core\n", cpu, wall, 100 * cpu / wall);
    std::printf("sent to dispatched (%llu messages%s): p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                static_cast<unsigned long long>(sendDelays.Total()),
                unmatched ? (", " + std::to_string(unmatched) + " not found among those sent").c_str() : "",
                sendDelays.PercentileMs(0.5), sendDelays.PercentileMs(0.99), sendDelays.MaxMs());
    std::printf("  of which queued to dispatched (%llu messages): p50 %.3f ms, p99 %.3f ms, max %.3f ms%s\n",
                static_cast<unsigned long long>(app.delays.Total()), app.delays.PercentileMs(0.5),
                app.delays.PercentileMs(0.99), app.delays.MaxMs(),
                app.stamps.Lost() ? " (stamps lost: figures approximate)" : "");
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
