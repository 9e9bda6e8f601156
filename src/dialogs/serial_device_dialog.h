// "Serial Devices": which device a COM number leads to. Lists the serial
// devices present, following them as they are plugged in and pulled out,
// and takes any path typed in. Reached from File > Serial Devices and from
// the COM port dialog's Device button.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "link/device_link.h"
#include "link/serial_devices.h"

class QComboBox;
class QFileSystemWatcher;
class QLineEdit;
class QListWidget;
class QSettings;

namespace tolvane {

class CompassSession;

class SerialDeviceDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kPortId = 1000;
    static constexpr int kListId = 1001;
    static constexpr int kPathId = 1002;

    // Starts on COM`port` (1..8), with the paths `ports` gives.
    SerialDeviceDialog(const PortMap& ports, int port, DeviceRoots roots = {}, QWidget* parent = nullptr);

    int Port() const;        // the COM number chosen
    std::string Path() const; // the path in the field, trimmed

    // Reads the devices again, keeping the chosen one chosen.
    void Refresh();

private:
    PortMap ports_;
    DeviceRoots roots_;
    std::vector<SerialDevice> devices_;
    QComboBox* port_ = nullptr;
    QListWidget* list_ = nullptr;
    QLineEdit* path_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
};

// Runs the dialog; when accepted, COMn leads to the chosen path from now on:
// in the session and in the "[Ports] COMn" setting. True when a path changed.
bool ChooseSerialDevice(CompassSession& session, QSettings& settings, int port, QWidget* parent,
                        const DeviceRoots& roots = {});

} // namespace tolvane
