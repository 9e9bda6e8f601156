#include "instruments/sliding_scale.h"

#include <QPainter>
#include <QPolygonF>

#include <limits>

#include "instruments/instrument_math.h"

using namespace tolvane::instruments;

namespace {

const QColor kTickColor(255, 255, 0); // clYellow

double TickLength(TickKind kind)
{
    switch (kind) {
    case TickKind::kMajor: return CiSlidingScaleX::kMajorLength;
    case TickKind::kMid: return CiSlidingScaleX::kMidLength;
    case TickKind::kMinor: break;
    }
    return CiSlidingScaleX::kMinorLength;
}

} // namespace

CiSlidingScaleX::CiSlidingScaleX(QWidget* parent) : Instrument(QSizeF(111.0, 163.0), true, parent)
{
    setAccessibleName(QStringLiteral("Pitch"));
}

void CiSlidingScaleX::SetProperty(int dispatchId, double value)
{
    if (dispatchId != kPosition)
        return;
    const double before = position_;
    position_ = value;
    if (value == before)
        return;
    NotifyValueChanged();
    if (FollowingWindow(value, kSpan).low != FollowingWindow(before, kSpan).low)
        update();
}

double CiSlidingScaleX::Property(int dispatchId) const
{
    return dispatchId == kPosition ? position_ : std::numeric_limits<double>::quiet_NaN();
}

void CiSlidingScaleX::paintEvent(QPaintEvent*)
{
    const double middle = (kScaleTop + kScaleBottom) / 2.0;
    const qreal dpr = devicePixelRatioF();
    if (frameFor_ != size() * dpr) {
        frameFor_ = size() * dpr;
        frame_ = QPixmap(frameFor_);
        frame_.setDevicePixelRatio(dpr);
        QPainter p(&frame_);
        p.fillRect(rect(), Qt::black);
        p.setRenderHint(QPainter::Antialiasing);
        p.setTransform(FitTransform());
        p.setPen(Qt::white);
        p.setFont(tolvane::InstrumentFont(11, false));
        // The title margin is half a line above the scale.
        p.drawText(QRectF(0.0, 2.0, 111.0, 16.0), Qt::AlignCenter, QStringLiteral("Pitch"));
        p.setPen(QPen(kTickColor, 1.0));
        p.drawLine(QPointF(kBaseX, kScaleTop), QPointF(kBaseX, kScaleBottom));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF{QPointF(kBaseX - 2.0, middle), QPointF(kBaseX - 10.0, middle - 4.0),
                                QPointF(kBaseX - 10.0, middle + 4.0)});
    }

    QPainter painter(this);
    painter.drawPixmap(0, 0, frame_);
    painter.setTransform(FitTransform());
    painter.setFont(tolvane::InstrumentFont(11, false));
    const QPen tickPen(kTickColor, 1.0);
    const double height = kScaleBottom - kScaleTop;
    for (const ScaleTick& tick : WindowTicks(FollowingWindow(position_, kSpan), kMinorStep, kMinorsPerMid, kMinorsPerMajor)) {
        const double y = kScaleBottom - tick.position * height;
        const double length = TickLength(tick.kind);
        painter.setPen(tickPen);
        painter.drawLine(QPointF(kBaseX, y), QPointF(kBaseX + length, y));
        if (tick.kind == TickKind::kMajor) {
            // The label margin is a quarter of a line.
            painter.setPen(Qt::white);
            painter.drawText(QRectF(kBaseX + length + 3.0, y - 8.0, 60.0, 16.0), Qt::AlignLeft | Qt::AlignVCenter,
                             QString::fromStdString(TickLabel(tick.value)));
        }
    }
}
