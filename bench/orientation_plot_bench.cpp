// The Orientation Plot against its target at 38400 baud in burst (320
// orientation messages a second) with the 10-minute span full (192,000
// samples a trace): the cost of recording one message, of one repaint of
// the open plot (each after 100 ms of new messages), and the memory held
// as the ring wraps. Offscreen.
//   orientation_plot_bench [WIDTH HEIGHT]   (the plot window, 900x420 by default)
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "instruments/orientation_plot.h"

using namespace tolvane;

namespace {

using Clock = std::chrono::steady_clock;

double Micro(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Resident memory of this process, in MiB.
double ResidentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096 / (1 << 20);
}

// Message n of a module turning through north, rolling and pitching, as
// the link timestamps it at 320 messages a second.
void AppendMessage(OrientationPlot& plot, long n)
{
    const double t = static_cast<double>(n) / 320.0;
    plot.Append(static_cast<std::int32_t>(n * 1000 / 320), std::fmod(t * 7.0, 360.0), 25.0 * std::sin(t / 3.0),
                40.0 * std::sin(t / 5.0) + std::sin(t * 40.0));
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int width = argc > 2 ? std::atoi(argv[1]) : 900;
    const int height = argc > 2 ? std::atoi(argv[2]) : 420;

    QWidget parent;
    parent.resize(width + 100, height + 100);
    parent.show();
    const double residentBefore = ResidentMiB();
    // No clock of its own: the right edge is the newest message's time.
    OrientationPlot plot(&parent, [] { return std::int32_t{0}; });
    if (!plot.Open()) return 1;
    plot.SetSpan(2); // 10 minutes
    plot.Window()->resize(width, height);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();

    // Fill the span, then time messages appended while the ring wraps.
    constexpr long kSpanFull = 192'000;
    long n = 0;
    for (; n < kSpanFull; ++n) AppendMessage(plot, n);
    const double residentFull = ResidentMiB();
    constexpr long kTimed = 400'000;
    double worstBatchUs = 0; // the slowest 1000 messages, for the rare whole-ring rebase
    const auto appendStart = Clock::now();
    for (long batch = 0; batch < kTimed / 1000; ++batch) {
        const auto start = Clock::now();
        for (int i = 0; i < 1000; ++i) AppendMessage(plot, n++);
        worstBatchUs = std::max(worstBatchUs, Micro(Clock::now() - start) / 1000);
    }
    const double appendUs = Micro(Clock::now() - appendStart) / kTimed;

    // Repaints, each after 100 ms of new messages (the cache is then
    // stale), over the longest span and the shortest.
    constexpr int kRepaints = 100;
    double meanUs[2] = {}, worstUs[2] = {};
    for (int pass = 0; pass < 2; ++pass) {
        plot.SetSpan(pass == 0 ? 2 : 0);
        for (int r = 0; r < kRepaints; ++r) {
            for (int i = 0; i < 32; ++i) AppendMessage(plot, n++);
            const auto start = Clock::now();
            plot.Canvas()->repaint();
            const double us = Micro(Clock::now() - start);
            meanUs[pass] += us / kRepaints;
            worstUs[pass] = std::max(worstUs[pass], us);
        }
    }
    plot.SetSpan(2);
    const double residentWrapped = ResidentMiB();
    const long wrapped = n;
    for (int i = 0; i < 1'000'000; ++i) AppendMessage(plot, n++);
    const std::size_t shown = plot.Samples().Size() - plot.Samples().FirstAtOrAfter(plot.RightEdgeMs() - plot.SpanMs() + 1);

    std::printf("plot %dx%d (canvas %dx%d), span 10 min, %zu samples a trace in the span, ring of %zu\n", width, height,
                plot.Canvas()->width(), plot.Canvas()->height(), shown, plot.Samples().Capacity());
    std::printf("append: %.3f us a message (%ld messages, ring wrapping; slowest 1000: %.3f us each)\n", appendUs,
                kTimed, worstBatchUs);
    std::printf("repaint, 10 min span: %.2f ms mean, %.2f ms worst; 30 s span: %.2f ms mean, %.2f ms worst "
                "(%d repaints each, each after 32 new messages)\n",
                meanUs[0] / 1000, worstUs[0] / 1000, meanUs[1] / 1000, worstUs[1] / 1000, kRepaints);
    std::printf("memory: ring %.1f MiB fixed (%zu x %zu bytes); resident %.1f MiB before the plot, %.1f MiB with the "
                "span full, %.1f MiB after %ld messages, %.1f MiB after %ld\n",
                static_cast<double>(plot.Samples().Capacity() * sizeof(plot::Sample)) / (1 << 20),
                plot.Samples().Capacity(), sizeof(plot::Sample), residentBefore, residentFull, residentWrapped, wrapped,
                ResidentMiB(), n);
    return 0;
}
