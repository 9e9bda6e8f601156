// What the views' tests share: painting what Qt has pending, recording
// what a widget paints, and a user's drag.
#pragma once

#include <QPaintEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace tolvane::test {

// Paints what Qt has pending, now.
inline void Settle(QWidget* window)
{
    QCoreApplication::processEvents();
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &request);
}

// The union of the regions `watched` paints.
struct PaintRecorder : QObject {
    explicit PaintRecorder(QWidget* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

// A user's drag from `from` (in w's coordinates); w may move under the mouse.
inline void Drag(QWidget* w, QPoint from, QPoint delta)
{
    const QPoint start = w->mapToGlobal(from);
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = w->mapFromGlobal(start + delta * step / 4);
        ASSERT_FALSE(at.isNull()) << "QTest would take (0, 0) for the centre";
        QTest::mouseMove(w, at);
    }
    QTest::mouseRelease(w, Qt::LeftButton, {}, w->mapFromGlobal(start + delta));
}

} // namespace tolvane::test
