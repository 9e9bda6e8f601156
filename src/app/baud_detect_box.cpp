#include "app/baud_detect_box.h"

#include <QProgressDialog>

#include "session/compass_session.h"

namespace tolvane {

void RunBaudDetection(CompassSession& session, QWidget* parent)
{
    const int rates = static_cast<int>(BaudDetector(session.BaudRate()).Rates().size());
    QProgressDialog box(QStringLiteral("Looking for the compass..."), QStringLiteral("Cancel"), 0, rates, parent);
    box.setWindowTitle(QStringLiteral("Detect Baud Rate"));
    box.setAutoReset(false);
    box.setAutoClose(false);
    box.setMinimumDuration(0);
    bool ended = false;
    session.StartDetect([&](const DetectProgress& progress) {
        if (progress.ended) {
            ended = true;
            box.accept();
            return;
        }
        box.setLabelText(QStringLiteral("Trying %1 baud...").arg(progress.rate));
        box.setValue(progress.tried - 1);
    });
    if (!ended) box.exec();
    // Closed by the user, however: the search returns to the rate the port had.
    session.CancelDetect();
}

} // namespace tolvane
