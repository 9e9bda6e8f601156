#include "instruments/compass.h"

#include <QPainter>
#include <QPolygonF>

#include <cmath>
#include <limits>
#include <numbers>

#include "instruments/instrument_math.h"

using namespace tolvane::instruments;

namespace {

constexpr double kLabelRadius = 50.0;
const QColor kNorthColor(255, 0, 0);
const QColor kLubberColor(255, 255, 0);

QPointF Polar(double angleDegrees, double radius)
{
    const double a = angleDegrees * std::numbers::pi / 180.0;
    return {radius * std::sin(a), -radius * std::cos(a)};
}

} // namespace

CiCompassX::CiCompassX(QWidget* parent) : Instrument(QSizeF(163.0, 163.0), true, parent)
{
    setAccessibleName(QStringLiteral("Azimuth"));
}

void CiCompassX::SetProperty(int dispatchId, double value)
{
    if (dispatchId != kHeading)
        return;
    const double before = heading_;
    heading_ = value;
    if (value == before)
        return;
    NotifyValueChanged();
    if (CardRotation(value) != CardRotation(before))
        update();
}

double CiCompassX::Property(int dispatchId) const
{
    return dispatchId == kHeading ? heading_ : std::numeric_limits<double>::quiet_NaN();
}

double CiCompassX::ShownValue() const
{
    return CardHeading(heading_);
}

void CiCompassX::PaintCard()
{
    const double scale = FitTransform().m11();
    const qreal dpr = devicePixelRatioF();
    const int side = static_cast<int>(std::ceil(2.0 * (kCardRadius + 1.0) * scale * dpr));
    cardFor_ = size() * dpr;
    card_ = QPixmap(side, side);
    card_.setDevicePixelRatio(dpr);
    card_.fill(Qt::transparent);

    QPainter p(&card_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(side / dpr / 2.0, side / dpr / 2.0);
    p.scale(scale, scale);

    p.setPen(QPen(QColor(128, 128, 128), 1.0));
    p.setBrush(QColor(24, 24, 24));
    p.drawEllipse(QPointF(0.0, 0.0), kCardRadius, kCardRadius);

    p.setPen(QPen(Qt::white, 1.0));
    for (int d = 5; d < 360; d += 5) {
        const double length = d % 10 == 0 ? 8.0 : 4.0;
        p.drawLine(Polar(d, kCardRadius - 1.0), Polar(d, kCardRadius - 1.0 - length));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kNorthColor);
    p.drawPolygon(QPolygonF{Polar(0.0, kNorthMarkRadius - 6.0), Polar(-5.0, kCardRadius - 1.0), Polar(5.0, kCardRadius - 1.0)});

    // Labels turn with the card, each upright when its bearing is at the top.
    p.setPen(Qt::white);
    p.setFont(tolvane::InstrumentFont(11, true));
    for (int d = 0; d < 360; d += 30) {
        p.save();
        p.rotate(d);
        p.drawText(QRectF(-15.0, -kLabelRadius - 8.0, 30.0, 16.0), Qt::AlignCenter, QString::fromStdString(CardLabel(d)));
        p.restore();
    }
}

void CiCompassX::paintEvent(QPaintEvent*)
{
    if (cardFor_ != size() * devicePixelRatioF())
        PaintCard();

    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const QPointF centre = MapFromLogical(QPointF(kCentre, kCentre));
    const double cardSide = card_.width() / card_.devicePixelRatio();
    painter.save();
    painter.translate(centre);
    painter.rotate(CardRotation(heading_));
    painter.drawPixmap(QPointF(-cardSide / 2.0, -cardSide / 2.0), card_);
    painter.restore();

    painter.setTransform(FitTransform());
    painter.translate(kCentre, kCentre);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLubberColor);
    painter.drawPolygon(QPolygonF{QPointF(0.0, -kCardRadius + 2.0), QPointF(-5.0, -kCardRadius - 8.0),
                                  QPointF(5.0, -kCardRadius - 8.0)});

    const QRectF display(-17.0, -10.0, 34.0, 20.0);
    painter.setBrush(QColor(192, 192, 192));
    painter.drawRoundedRect(display, 3.0, 3.0);
    painter.setPen(Qt::black);
    painter.setFont(tolvane::InstrumentFont(13, true));
    painter.drawText(display, Qt::AlignCenter, QString::fromLatin1(DirectionName(heading_)));
}
