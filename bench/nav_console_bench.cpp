// Cost of one Nav Console update: the console open in an 800x600 parent
// (offscreen), 2000 updates with changing angles, each painted before the
// next. Prints the time per update and how many instruments repainted.
#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "instruments/nav_console.h"
#include "paint_meter.h"

using namespace tolvane;

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    QWidget parent;
    parent.resize(800, 600);
    parent.show();
    NavConsole console(&parent);
    if (!console.Open()) {
        std::fprintf(stderr, "the console did not open\n");
        return 1;
    }
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    PaintMeter meter;
    for (QWidget* w : console.Window()->findChildren<QWidget*>())
        w->installEventFilter(&meter);
    std::printf("console %dx%d in an %dx%d parent\n", console.Window()->width(), console.Window()->height(),
                parent.width(), parent.height());

    constexpr int kUpdates = 2000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kUpdates; ++i) {
        // Angles as a turning, rolling and pitching module sends them.
        const double t = i / 12.0;
        console.Update(static_cast<float>(std::fmod(i * 0.7, 360.0)), static_cast<float>(60.0 * std::sin(t)),
                       static_cast<float>(30.0 * std::cos(t * 0.7)));
        QCoreApplication::processEvents();
    }
    const double us =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d updates, %d instrument paints (%.2f per update, %.0f px each update); %.1f us per update\n",
                kUpdates, meter.paints, static_cast<double>(meter.paints) / kUpdates,
                static_cast<double>(meter.pixels) / kUpdates, us / kUpdates);
    return 0;
}
