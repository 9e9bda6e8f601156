#include "instruments/seven_segment.h"

#include <QPainter>

#include <cmath>
#include <limits>

#include "instruments/instrument_math.h"

namespace {

// Cells 23 wide side by side between margins of 3; each digit 17 x 22
// with strokes 3 thick. Segments meet without a gap.
constexpr double kMarginX = 3.0;
constexpr double kCellWidth = 23.0;
constexpr double kInsetX = 3.0;
constexpr double kTop = 2.0;
constexpr double kDigitWidth = 17.0;
constexpr double kDigitHeight = 22.0;
constexpr double kStroke = 3.0;

// A bar with pointed ends between two points on a row or a column.
QPolygonF Bar(QPointF from, QPointF to)
{
    const double h = kStroke / 2.0;
    if (from.y() == to.y())
        return QPolygonF{from, {from.x() + h, from.y() - h}, {to.x() - h, to.y() - h},
                         to,   {to.x() - h, to.y() + h},     {from.x() + h, from.y() + h}};
    return QPolygonF{from, {from.x() + h, from.y() + h}, {to.x() + h, to.y() - h},
                     to,   {to.x() - h, to.y() - h},     {from.x() - h, from.y() + h}};
}

} // namespace

CiSevenSegmentAnalogX::CiSevenSegmentAnalogX(QWidget* parent)
    : Instrument(QSizeF(75.0, 26.0), false, parent),
      text_(QString::fromStdString(tolvane::instruments::ReadoutText(value_, kDigits)))
{
    setAccessibleName(QStringLiteral("Readout"));
}

void CiSevenSegmentAnalogX::SetProperty(int dispatchId, double value)
{
    if (dispatchId != kValue)
        return;
    const double before = value_;
    value_ = value;
    if (value == before)
        return;
    NotifyValueChanged();
    const QString text = QString::fromStdString(tolvane::instruments::ReadoutText(value, kDigits));
    if (text != text_) {
        text_ = text;
        update();
    }
}

double CiSevenSegmentAnalogX::Property(int dispatchId) const
{
    return dispatchId == kValue ? value_ : std::numeric_limits<double>::quiet_NaN();
}

double CiSevenSegmentAnalogX::ShownValue() const
{
    return tolvane::instruments::ReadoutValue(value_, kDigits);
}

QString CiSevenSegmentAnalogX::ValueText() const
{
    return std::isnan(ShownValue()) ? QStringLiteral("out of range") : text_.trimmed();
}

QPolygonF CiSevenSegmentAnalogX::SegmentPolygon(int cell, int segment)
{
    const double left = kMarginX + cell * kCellWidth + kInsetX + kStroke / 2.0;
    const double right = left + kDigitWidth - kStroke;
    const double top = kTop + kStroke / 2.0;
    const double bottom = kTop + kDigitHeight - kStroke / 2.0;
    const double middle = (top + bottom) / 2.0;
    switch (segment) {
    case 0: return Bar({left, top}, {right, top});
    case 1: return Bar({right, top}, {right, middle});
    case 2: return Bar({right, middle}, {right, bottom});
    case 3: return Bar({left, bottom}, {right, bottom});
    case 4: return Bar({left, middle}, {left, bottom});
    case 5: return Bar({left, top}, {left, middle});
    default: return Bar({left, middle}, {right, middle});
    }
}

void CiSevenSegmentAnalogX::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(FitTransform());
    painter.setPen(Qt::NoPen);
    const QColor on = QColor::fromRgb(kSegmentOn);
    const QColor off = QColor::fromRgb(kSegmentOff);
    for (int cell = 0; cell < kDigits; ++cell) {
        const char c = cell < text_.size() ? text_[cell].toLatin1() : ' ';
        const std::uint8_t lit = tolvane::instruments::SegmentsOf(c);
        for (int segment = 0; segment < 7; ++segment) {
            painter.setBrush((lit >> segment) & 1 ? on : off);
            painter.drawPolygon(SegmentPolygon(cell, segment));
        }
    }
}
