// "Open COM Port": lists the ports that can be opened now (and the one
// open), opens or closes one, and keeps the status line, the frame's COM
// pane and the "COMPort" setting in step.
#pragma once

#include <QDialog>

#include <functional>

class QSettings;

namespace tolvane {

class SerialLink;

class ComPortDialog : public QDialog {
    Q_OBJECT

public:
    // `setComPane` rewrites the frame's COM pane. Ports are probed through
    // the link's port map; `settings` receives "Compass/COMPort".
    ComPortDialog(SerialLink& link, int baudRate, QSettings& settings, std::function<void(const QString&)> setComPane,
                  QWidget* parent = nullptr);
    ~ComPortDialog() override;

    // Shows "There are no available COM ports." and returns Rejected at
    // once when nothing can be listed.
    int exec() override;

private:
    struct State;
    State* state_;
};

} // namespace tolvane
