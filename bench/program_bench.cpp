// The program under load, offscreen: the main frame against tolvane-sim
// at 38400 baud in burst mode (orientation back to back, the azimuth
// counting messages). Prints the time from start to the first paint, the
// messages dropped by the link queue, the orientation messages lost before
// dispatch, and the process's CPU use against one core.
//   program_bench [SECONDS] [--displays | --plot]   (60 s by default;
//   --displays also opens the orientation panel and the Nav Console,
//   --plot those and the Orientation Plot, and counts what it recorded)
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "burst_program.h"
#include "views/message_view.h"

using namespace tolvane;

int main(int argc, char** argv)
{
    const auto start = std::chrono::steady_clock::now();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const bool withPlot = argc > 2 && std::string(argv[2]) == "--plot";
    const bool displays = withPlot || (argc > 2 && std::string(argv[2]) == "--displays");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    LogFile log;
    BurstProgram program(dir, log);
    if (!program.Started()) return 1;
    CMainFrame& frame = *program.frame;
    const SerialLink& link = program.link;

    double firstPaintMs = -1;
    QObject::connect(frame.View(), &MessageView::firstPainted, [&] {
        firstPaintMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    });
    frame.show();
    QElapsedTimer settle;
    settle.start();
    while (frame.Session().OrientationCount() == 0 && settle.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);

    if (displays) {
        frame.RunCommand(kCmdStatusView);
        frame.RunCommand(kCmdNavConsole);
    }
    if (withPlot) frame.RunCommand(kCmdOrientationPlot);
    const std::uint64_t firstRecorded = frame.Plot().Appended();
    const std::uint64_t firstCount = frame.Session().OrientationCount();
    const std::uint16_t firstSequence = log.azimuth;
    const double cpuStart = CpuSeconds();
    QElapsedTimer run;
    run.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = CpuSeconds() - cpuStart;
    const double wall = static_cast<double>(run.elapsed()) / 1000.0;
    const std::uint64_t counted = frame.Session().OrientationCount() - firstCount;
    const std::uint16_t sent = static_cast<std::uint16_t>(log.azimuth - firstSequence);

    std::printf("start to first paint: %.0f ms\n", firstPaintMs);
    std::printf("orientation panel %s, Nav Console %s\n", frame.Panel().Shown() ? "shown" : "hidden",
                frame.Console().IsOpen() ? "open" : "closed");
    std::printf("burst at 38400 baud for %.0f s: %llu orientation messages dispatched, %u sent (mod 65536), "
                "%llu dropped by the link queue\n",
                wall, static_cast<unsigned long long>(counted), static_cast<unsigned>(sent),
                static_cast<unsigned long long>(link.DroppedCount()));
    if (withPlot)
        std::printf("Orientation Plot open: %llu orientation messages recorded of %llu dispatched\n",
                    static_cast<unsigned long long>(frame.Plot().Appended() - firstRecorded),
                    static_cast<unsigned long long>(counted));
    std::printf("CPU: %.2f s in %.1f s = %.1f%% of one core\n", cpu, wall, 100 * cpu / wall);
    return 0;
}
