// Cost of one new line in a full message view: 2000 orientation lines added
// one at a time to an 800x600 view (offscreen), each painted before the
// next. Prints the area painted per line, in rows and pixels, and the time;
// then the same for lines each followed by a full redraw, for comparison,
// and for a paused view, which paints nothing. Last, the history of the
// last 10,000 lines behind the view: its memory and what adding a line costs.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "paint_meter.h"
#include "views/message_history.h"
#include "views/message_view.h"
#include "protocol/messages.h"

using namespace tolvane;

namespace {

// The line of an orientation message, as the frame renders it.
StatusLine OrientationLine(int i)
{
    Orientation o{.roll = static_cast<std::int16_t>(i * 37),
                  .pitch = static_cast<std::int16_t>(-i * 11),
                  .azimuth = static_cast<std::uint16_t>(i * 182)};
    StatusLine line;
    RenderMessage(EncodeAs<DeviceMessage>(o), line);
    return line;
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
            view.AddMessage(OrientationLine(i));
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
    view.SetPaused(true);
    run("paused", 2000, false);
    view.SetPaused(false);

    MessageHistory history;
    const StatusLine lines[] = {OrientationLine(1), OrientationLine(2)};
    StatusLine nmea;
    nmea.mnemonic = "NMEA";
    std::snprintf(nmea.text, sizeof nmea.text, "$HCHDG,101.1,,,7.1,W*3C");
    const int adds = 2'000'000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < adds; ++i)
        history.Add(i % 3 == 2 ? nmea : lines[i % 2]);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    std::printf("history: %llu lines held of %d added, %zu bytes (%.2f MB); per line added %.1f ns\n",
                static_cast<unsigned long long>(history.End() - history.Begin()), adds, history.MemoryBytes(),
                static_cast<double>(history.MemoryBytes()) / (1024.0 * 1024.0), ns / adds);
    return 0;
}
