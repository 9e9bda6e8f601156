// "Open COM Port": lists the ports that can be opened now (and the one
// open), opens or closes one, and keeps the status line, the frame's COM
// pane and the "COMPort" setting in step.
#pragma once

#include <QDialog>

#include <functional>

#include "dialogs/com_port_chooser.h"

class QSettings;

namespace tolvane {

class DeviceLink;

class ComPortDialog : public QDialog {
    Q_OBJECT

public:
    // `setComPane` rewrites the frame's COM pane. Ports are probed through
    // the link's port map unless `probe` is given; `settings` receives
    // "Compass/COMPort".
    ComPortDialog(DeviceLink& link, int baudRate, QSettings& settings, std::function<void(const QString&)> setComPane,
                  QWidget* parent = nullptr, ComPortChooser::ReasonProbe probe = {});
    ~ComPortDialog() override;

    // Shows "There are no available COM ports." and returns Rejected at
    // once when nothing can be listed, with the permission fix when a lack
    // of permission kept a port out.
    int exec() override;

private:
    struct State;
    State* state_ = nullptr;
};

} // namespace tolvane
