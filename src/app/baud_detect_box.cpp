#include "app/baud_detect_box.h"

#include <QProgressDialog>
#include <QTimer>

#include "app/baud_detector.h"
#include "link/clock.h"
#include "link/device_link.h"

namespace tolvane {

DetectOutcome RunBaudDetection(DeviceLink& link, int currentBaud, const std::function<void()>& askIdentity,
                               QWidget* parent)
{
    DetectOutcome outcome;
    const int port = link.PortNumber();
    if (port == -1) return outcome;

    BaudDetector detector(currentBaud);
    QProgressDialog box(QStringLiteral("Looking for the compass..."), QStringLiteral("Cancel"), 0,
                        static_cast<int>(detector.Rates().size()), parent);
    box.setWindowTitle(QStringLiteral("Detect Baud Rate"));
    box.setAutoReset(false);
    box.setAutoClose(false);
    box.setMinimumDuration(0);

    bool finished = false;
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, &box, [&] {
        if (finished) return;
        switch (detector.Advance(link.Counters().Valid(), NowMs())) {
        case BaudDetector::Step::Listen: return;
        case BaudDetector::Step::TryRate:
            box.setLabelText(QStringLiteral("Trying %1 baud...").arg(detector.Rate()));
            box.setValue(detector.Tried() - 1);
            if (link.Open(port, detector.Rate()) != port) {
                outcome.reopenFailed = true;
                break;
            }
            link.DiscardInput();
            askIdentity();
            return;
        case BaudDetector::Step::Found: outcome.rate = detector.Rate(); break;
        case BaudDetector::Step::NoneAnswered: break;
        }
        finished = true;
        box.accept();
    });
    tick.start();
    box.exec();
    tick.stop();

    outcome.cancelled = !finished;
    if (outcome.rate == 0 && !outcome.reopenFailed && link.Open(port, currentBaud) != port) outcome.reopenFailed = true;
    return outcome;
}

} // namespace tolvane
