// Writes the program's icon as PNG files for the hicolor icon theme:
// <folder>/<N>x<N>/apps/<desktop id>.png for each size given.
#include "resources/icons.h"
#include "resources/menu.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    // Run at build time, often without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QIcon icon = tolvane::AppIcon();
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
        if (size <= 0 || pixmap.size() != QSize(size, size)) {
            std::fprintf(stderr, "%s: no %s pixel icon\n", argv[0], argv[i]);
            return 1;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString file = dir + QLatin1Char('/') + QLatin1String(tolvane::kDesktopId) + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !pixmap.save(file, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
            return 1;
        }
    }
    return 0;
}
