#include "instruments/angular_gauge.h"

#include <QPainter>
#include <QPolygonF>

#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>

using namespace tolvane::instruments;

namespace {

constexpr double kTickLabelRadius = 73.0;
constexpr double kMarkerInner = 63.0;
constexpr double kMarkerOuter = 70.0;
constexpr double kMarkerHalfAngle = 3.5;
constexpr double kHubRadius = 5.0;
// "Roll" sits above the arc's labels, "Degrees" 26 below the hub.
constexpr double kTitleY = 18.0;
constexpr double kUnitOffsetY = 26.0;

QPointF Polar(double angleDegrees, double radius)
{
    const double a = angleDegrees * std::numbers::pi / 180.0;
    return {radius * std::sin(a), -radius * std::cos(a)};
}

// Qt's arcs run counter-clockwise from 3 o'clock, in sixteenths of a degree.
int QtArcAngle(double angleFromUp)
{
    return static_cast<int>(std::lround((90.0 - angleFromUp) * 16.0));
}

} // namespace

CiAngularGaugeX::CiAngularGaugeX(QWidget* parent) : Instrument(QSizeF(180.0, 163.0), true, parent)
{
    setAccessibleName(QStringLiteral("Roll"));
}

void CiAngularGaugeX::SetProperty(int dispatchId, double value)
{
    double* target = nullptr;
    switch (dispatchId) {
    case kPosition: target = &position_; break;
    case kCurrentMin: target = &currentMin_; break;
    case kCurrentMax: target = &currentMax_; break;
    default: return;
    }
    const double before = *target;
    *target = value;
    if (dispatchId == kPosition && !(value == before))
        NotifyValueChanged();
    // Values beyond the arc's ends, or repeated, leave the picture as it is.
    if (ArcAngle(kArc, value) != ArcAngle(kArc, before))
        update();
}

double CiAngularGaugeX::Property(int dispatchId) const
{
    switch (dispatchId) {
    case kPosition: return position_;
    case kCurrentMin: return currentMin_;
    case kCurrentMax: return currentMax_;
    default: return std::numeric_limits<double>::quiet_NaN();
    }
}

void CiAngularGaugeX::PaintFace(QPainter& painter) const
{
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setTransform(FitTransform());

    painter.setPen(Qt::white);
    painter.setFont(tolvane::InstrumentFont(11, false));
    painter.drawText(QRectF(0.0, kTitleY - 8.0, 180.0, 16.0), Qt::AlignCenter, QStringLiteral("Roll"));
    painter.drawText(QRectF(0.0, kHubY + kUnitOffsetY - 8.0, 180.0, 16.0), Qt::AlignCenter, QStringLiteral("Degrees"));

    painter.translate(kHubX, kHubY);

    const double bandRadius = (kBandInner + kBandOuter) / 2.0;
    const QRectF bandBox(-bandRadius, -bandRadius, 2.0 * bandRadius, 2.0 * bandRadius);
    constexpr int kSections = static_cast<int>(std::size(kSectionColors));
    for (int i = 0; i < kSections; ++i) {
        const double from = i == 0 ? kArc.min : kSectionEnds[i - 1];
        const double to = i == kSections - 1 ? kArc.max : kSectionEnds[i];
        painter.setPen(QPen(QColor::fromRgb(kSectionColors[i]), kBandOuter - kBandInner, Qt::SolidLine, Qt::FlatCap));
        const int start = QtArcAngle(ArcAngle(kArc, from));
        painter.drawArc(bandBox, start, QtArcAngle(ArcAngle(kArc, to)) - start);
    }

    painter.setPen(QPen(Qt::white, 1.0));
    for (double v : MinorTicks(kArc.min, kArc.max, kMajorTicks, kMinorTicks)) {
        const double a = ArcAngle(kArc, v);
        painter.drawLine(Polar(a, kBandInner), Polar(a, kBandInner - 5.0));
    }
    painter.setPen(QPen(Qt::white, 2.0));
    for (double v : MajorTicks(kArc.min, kArc.max, kMajorTicks)) {
        const double a = ArcAngle(kArc, v);
        painter.drawLine(Polar(a, kBandInner), Polar(a, kBandInner - 10.0));
        const QPointF at = Polar(a, kTickLabelRadius);
        painter.drawText(QRectF(at.x() - 15.0, at.y() - 8.0, 30.0, 16.0), Qt::AlignCenter,
                         QString::fromStdString(TickLabel(v)));
    }
}

void CiAngularGaugeX::paintEvent(QPaintEvent*)
{
    const qreal dpr = devicePixelRatioF();
    if (faceFor_ != size() * dpr) {
        faceFor_ = size() * dpr;
        face_ = QPixmap(faceFor_);
        face_.setDevicePixelRatio(dpr);
        QPainter facePainter(&face_);
        PaintFace(facePainter);
    }

    QPainter painter(this);
    painter.drawPixmap(0, 0, face_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(FitTransform());
    painter.translate(kHubX, kHubY);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 255, 255)); // clAqua
    for (double mark : {currentMin_, currentMax_}) {
        const double a = ArcAngle(kArc, mark);
        painter.drawPolygon(QPolygonF{Polar(a, kMarkerInner), Polar(a - kMarkerHalfAngle, kMarkerOuter),
                                      Polar(a + kMarkerHalfAngle, kMarkerOuter)});
    }

    const QColor yellow(255, 255, 0);
    painter.rotate(ArcAngle(kArc, position_));
    painter.setPen(QPen(yellow, 2.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(0.0, 0.0), QPointF(0.0, -(kPointerLength - 8.0)));
    painter.setPen(Qt::NoPen);
    painter.setBrush(yellow);
    painter.drawPolygon(QPolygonF{QPointF(0.0, -kPointerLength), QPointF(-4.0, -(kPointerLength - 10.0)),
                                  QPointF(4.0, -(kPointerLength - 10.0))});
    painter.drawEllipse(QPointF(0.0, 0.0), kHubRadius, kHubRadius);
}
