// Expected pictures kept under tests/data/golden as PNG, compared with a
// tolerance; `make regen` writes them (see golden.h).
#pragma once

#include <QFontInfo>
#include <QImage>

#include <utility>

#include "support/golden.h"

namespace tolvane::test {

// Processors blend an antialiased edge a level or two apart per channel (Qt
// picks its drawing code by CPU features): a small difference at a few
// pixels. A moved shape, a missing bar or a wrong colour is far more off; a
// shading moved by a pixel is a small difference over many pixels. Channels
// are compared premultiplied by alpha: a pixel is over when one of them is
// more than kChannelTolerance levels off, and apart when more than one.
constexpr int kChannelTolerance = 16;
constexpr int kPixelsPerApart = 200; // at most one pixel in 200 may be apart

inline void ExpectGoldenImage(const std::string& name, const QImage& made)
{
    const QString path = QString::fromStdString(GoldenPath(name));
    // The pictures are drawn in DejaVu (fonts-dejavu-core): where fontconfig
    // finds another font, that is reported instead of the pixels it moves.
    for (const auto& [asked, drawn] : {std::pair{"Sans", "DejaVu Sans"}, {"DejaVu Sans Mono", "DejaVu Sans Mono"}}) {
        const QString found = QFontInfo(QFont(QString::fromLatin1(asked))).family();
        ASSERT_TRUE(found == drawn) << path.toStdString() << " not compared: " << drawn << " is missing (fontconfig "
                                    << "gives \"" << found.toStdString() << "\" for \"" << asked
                                    << "\"; make deps installs fonts-dejavu-core)";
    }
    const QImage image = made.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage expected = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const bool sameSize = !expected.isNull() && expected.size() == image.size();
    QImage difference(image.size(), QImage::Format_RGB32); // over in red, apart in yellow
    difference.fill(Qt::black);
    int over = 0, apart = 0, largest = 0;
    for (int y = 0; sameSize && y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb a = image.pixel(x, y), b = expected.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
            largest = std::max(largest, d);
            over += d > kChannelTolerance;
            apart += d > 1;
            const QRgb shown = d > kChannelTolerance ? qRgb(255, 0, 0) : d > 1 ? qRgb(255, 255, 0) : qRgb(0, 0, d * 96);
            difference.setPixel(x, y, shown);
        }
    const int pixels = image.width() * image.height();
    if (sameSize && over == 0 && apart * kPixelsPerApart <= pixels) return;
    if (Regenerating(name)) {
        ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
        return;
    }
    ASSERT_FALSE(expected.isNull()) << "no expected picture " << path.toStdString() << " (make regen writes it)";
    const std::string kept = ::testing::TempDir() + name, diff = kept.substr(0, kept.size() - 4) + ".diff.png";
    image.save(QString::fromStdString(kept), "PNG");
    difference.save(QString::fromStdString(diff), "PNG");
    ADD_FAILURE() << path.toStdString() << ": " << image.width() << "x" << image.height() << " made, "
                  << expected.width() << "x" << expected.height() << " expected; " << over << " pixels over "
                  << kChannelTolerance << " levels off in a channel, " << apart << " more than 1 ("
                  << pixels / kPixelsPerApart << " allowed), " << largest << " the largest difference (made: " << kept
                  << ", difference: " << diff << ")";
}

} // namespace tolvane::test
