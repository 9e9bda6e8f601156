// Counts the paints a widget receives and sums the area they cover.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRect>

#include <cstdint>

namespace tolvane {

class PaintMeter : public QObject {
public:
    int paints = 0;
    std::int64_t pixels = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                pixels += std::int64_t{r.width()} * r.height();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace tolvane
