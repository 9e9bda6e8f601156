#include "dialogs/compensation_rose.h"

#include <QPainter>
#include <QPainterPath>

namespace tolvane {
namespace {

// Qt's angles run counter-clockwise from three o'clock; a compass's
// clockwise from north.
double QtAngle(double compassDegrees) { return 90.0 - compassDegrees; }

} // namespace

CompensationRose::CompensationRose(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Sectors collected"));
    Describe();
}

void CompensationRose::SetBins(const SectorBins& bins)
{
    if (bins == bins_) return;
    bins_ = bins;
    Describe();
    update();
}

void CompensationRose::SetHeading(double degrees)
{
    if (std::lround(degrees) == std::lround(heading_)) return;
    heading_ = degrees;
    Describe();
    update();
}

void CompensationRose::Describe()
{
    setAccessibleDescription(QString::fromStdString(CoverageDescription(bins_, heading_)));
}

void CompensationRose::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font());
    const double margin = metrics.height() + 2;
    const double radius = std::max(4.0, std::min(width(), height()) / 2.0 - margin);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const QPalette& pal = palette();

    for (int bin = 0; bin < 8; ++bin) {
        const SectorArc arc = SectorOfBin(bin);
        const double filled = radius * SectorFill(bins_[static_cast<std::size_t>(bin)]);
        for (const auto& [r, colour] : {std::pair{radius, pal.color(QPalette::Base)},
                                        std::pair{filled, pal.color(QPalette::Highlight)}}) {
            if (r <= 0) continue;
            QPainterPath slice(centre);
            slice.arcTo(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), QtAngle(arc.toDegrees), 45.0);
            slice.closeSubpath();
            p.setPen(QPen(pal.color(QPalette::Mid), 1));
            p.setBrush(colour);
            p.drawPath(slice);
        }
    }
    p.setPen(pal.color(QPalette::WindowText));
    const char* letters[] = {"N", "E", "S", "W"};
    for (int i = 0; i < 4; ++i) {
        const double a = i * 90.0 * M_PI / 180.0;
        const double r = radius + margin / 2;
        const QPointF at(centre.x() + r * std::sin(a), centre.y() - r * std::cos(a));
        p.drawText(QRectF(at.x() - margin, at.y() - margin / 2, 2 * margin, margin), Qt::AlignCenter, letters[i]);
    }
    if (!std::isnan(heading_)) {
        const double a = heading_ * M_PI / 180.0;
        p.setPen(QPen(pal.color(QPalette::Text), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre, QPointF(centre.x() + radius * std::sin(a), centre.y() - radius * std::cos(a)));
    }
}

} // namespace tolvane
