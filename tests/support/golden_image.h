// Expected pictures kept under tests/data/golden as PNG, compared pixel for
// pixel; `make regen` writes them (see golden.h).
#pragma once

#include <QImage>

#include "support/golden.h"

namespace tolvane::test {

inline void ExpectGoldenImage(const std::string& name, const QImage& made)
{
    const QImage image = made.convertToFormat(QImage::Format_ARGB32);
    const QString path = QString::fromStdString(GoldenPath(name));
    if (Regenerating()) {
        ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
        return;
    }
    const QImage expected = QImage(path).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(expected.isNull()) << "no expected picture " << path.toStdString() << " (make regen writes it)";
    if (expected == image) return;
    int differ = 0;
    if (expected.size() == image.size())
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) differ += expected.pixel(x, y) != image.pixel(x, y);
    const std::string kept = ::testing::TempDir() + name;
    image.save(QString::fromStdString(kept), "PNG");
    ADD_FAILURE() << path.toStdString() << ": " << image.width() << "x" << image.height() << " made, "
                  << expected.width() << "x" << expected.height() << " expected, " << differ
                  << " pixels differ (made: " << kept << ")";
}

} // namespace tolvane::test
