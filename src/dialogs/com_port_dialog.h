// "Open COM Port": lists the ports that can be opened now (and the one
// open), opens or closes one, and keeps the status line, the frame's COM
// pane and the "COMPort" setting in step.
#pragma once

#include <QDialog>

#include <functional>

#include "dialogs/com_port_chooser.h"
#include "link/serial_devices.h"

class QSettings;

namespace tolvane {

class CompassSession;

// Added under "There are no available COM ports.": where another device is chosen.
inline constexpr const char* kChooseDeviceHint = "To use another serial device, choose it under File > Serial Devices.";

class ComPortDialog : public QDialog {
    Q_OBJECT

public:
    // Opens and closes the session's port, at its baud rate. `setComPane`
    // rewrites the frame's COM pane. Ports are probed through the session
    // unless `probe` is given; `settings` receives "Compass/COMPort".
    ComPortDialog(CompassSession& session, QSettings& settings, std::function<void(const QString&)> setComPane,
                  QWidget* parent = nullptr, ComPortChooser::ReasonProbe probe = {});
    ~ComPortDialog() override;

    // Shows "There are no available COM ports." and returns Rejected at
    // once when nothing can be listed, with the permission fix when a lack
    // of permission kept a port out.
    int exec() override;

    // Where the Device button looks for serial devices (tests give a tree of their own).
    void SetDeviceRoots(DeviceRoots roots);
    // Whether a port was opened through the dialog (the one open before
    // included, when opened again): a new stream, maybe of another module.
    bool Opened() const;

private:
    struct State;
    State* state_ = nullptr;
};

} // namespace tolvane
