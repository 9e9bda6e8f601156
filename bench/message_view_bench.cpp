// Cost of one new line in a full message view: 2000 orientation lines added
// one at a time to an 800x600 view (offscreen), each painted before the
// next. Prints the area painted per line, in rows and pixels, and the time;
// then the same for lines each followed by a full redraw, for comparison.
#include <QApplication>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "paint_meter.h"
#include "views/message_view.h"

using namespace tolvane;

namespace {

DeviceMessage Orientation(int i)
{
    DeviceMessage m;
    m.type = 'p';
    m.length = 6;
    const auto put = [&m](int at, int v) {
        m.payload[at] = static_cast<std::uint8_t>(v & 0xFF);
        m.payload[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    };
    put(0, i * 37);
    put(2, -i * 11);
    put(4, i * 182);
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    MessageView view;
    view.SetDisplayFont(QFont("DejaVu Sans Mono", 10));
    view.resize(800, 600);
    view.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    PaintMeter meter;
    view.installEventFilter(&meter);
    const double rowPixels = static_cast<double>(view.width()) * view.LineHeight();
    std::printf("view %dx%d, %d visible rows, line height %d px\n", view.width(), view.height(), view.VisibleRows(),
                view.LineHeight());

    const auto run = [&](const char* name, int lines, bool erase) {
        meter.pixels = 0;
        meter.paints = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < lines; ++i) {
            view.AddMessage(Orientation(i));
            if (erase)
                view.RepaintWithErase();
            QCoreApplication::processEvents();
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const double us = std::chrono::duration<double, std::micro>(elapsed).count();
        const double pixelsPerLine = static_cast<double>(meter.pixels) / lines;
        std::printf("%s: %d lines, %d paints; per line %.3f rows, %.0f px, %.1f us\n", name, lines, meter.paints,
                    pixelsPerLine / rowPixels, pixelsPerLine, us / lines);
    };
    run("incremental", 2000, false);
    run("full redraw", 500, true);
    return 0;
}
