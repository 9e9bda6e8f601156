#include "instruments/panel.h"

#include <QPainter>

#include <limits>

CiPanelX::CiPanelX(QWidget* parent) : Instrument(QSizeF(464.0, 205.0), false, parent) {}

void CiPanelX::SetProperty(int, double) {}

double CiPanelX::Property(int) const
{
    return std::numeric_limits<double>::quiet_NaN();
}

void CiPanelX::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    // A raised bevel: lit from the top left.
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(QColor(224, 224, 224));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}
