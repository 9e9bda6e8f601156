#include "dialogs/serial_device_dialog.h"

#include <QComboBox>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>

#include "dialogs/dialog_template.h"
#include "link/network_port.h"
#include "session/compass_session.h"

namespace tolvane {
namespace {

constexpr int kOkId = 1;
constexpr int kCancelId = 2;

constexpr ControlLayout kControls[] = {
    {-1, ControlKind::Static, "COM number:", 7, 9, 50, 9},
    {SerialDeviceDialog::kPortId, ControlKind::DropDownList, "", 58, 7, 50, 12, "COM number"},
    {-1, ControlKind::Static, "Serial devices present:", 7, 24, 280, 9},
    {SerialDeviceDialog::kListId, ControlKind::ListBox, "", 7, 35, 280, 72, "Serial devices present"},
    {-1, ControlKind::Static, "Device path:", 7, 115, 50, 9},
    {SerialDeviceDialog::kPathId, ControlKind::Edit, "", 58, 113, 229, 12, "Device path"},
    {kOkId, ControlKind::DefPushButton, "OK", 183, 133, 50, 14},
    {kCancelId, ControlKind::PushButton, "Cancel", 237, 133, 50, 14},
};
constexpr DialogLayout kTemplate{"Serial Devices", 294, 154, kControls};

} // namespace

SerialDeviceDialog::SerialDeviceDialog(const PortMap& ports, int port, DeviceRoots roots, QWidget* parent)
    : QDialog(parent), ports_(ports), roots_(std::move(roots))
{
    BuildDialog(*this, kTemplate);
    port_ = ControlOf<QComboBox>(*this, kPortId);
    list_ = ControlOf<QListWidget>(*this, kListId);
    path_ = ControlOf<QLineEdit>(*this, kPathId);
    path_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int p = kFirstPort; p <= kLastPort; ++p) port_->addItem(QStringLiteral("COM%1").arg(p));
    port_->setCurrentIndex(std::clamp(port, kFirstPort, kLastPort) - kFirstPort);
    path_->setText(QString::fromStdString(ports_.Path(Port())));

    connect(port_, &QComboBox::currentIndexChanged, this, [this] {
        path_->setText(QString::fromStdString(ports_.Path(Port())));
        Refresh();
    });
    // A device chosen in the list fills the field; the list taking the
    // focus does not.
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = list_->selectedItems();
        const int row = chosen.isEmpty() ? -1 : list_->row(chosen.first());
        if (row >= 0 && row < static_cast<int>(devices_.size()))
            path_->setText(QString::fromStdString(devices_[static_cast<std::size_t>(row)].Path()));
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    // An empty path would leave the COM number leading nowhere, and so would
    // a network address without its port: that one is refused with why.
    connect(ControlOf<QPushButton>(*this, kOkId), &QPushButton::clicked, this, [this] {
        const QString problem = QString::fromStdString(NetworkPortProblem(Path()));
        if (!problem.isEmpty()) QMessageBox(QMessageBox::Warning, windowTitle(), problem, QMessageBox::Ok, this).exec();
        else if (!Path().empty()) accept();
    });
    connect(ControlOf<QPushButton>(*this, kCancelId), &QPushButton::clicked, this, &QDialog::reject);

    // inotify says when a node or a stable name comes or goes: no polling.
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &SerialDeviceDialog::Refresh);
    Refresh();
    path_->setFocus();
}

int SerialDeviceDialog::Port() const
{
    return kFirstPort + port_->currentIndex();
}

std::string SerialDeviceDialog::Path() const
{
    return path_->text().trimmed().toStdString();
}

void SerialDeviceDialog::Refresh()
{
    // The by-id folder exists only while some device has a stable name:
    // it is watched from the moment it appears.
    for (const std::string& folder : SerialDeviceFolders(roots_)) {
        const QString f = QString::fromStdString(folder);
        if (!watcher_->directories().contains(f)) watcher_->addPath(f);
    }
    devices_ = ListSerialDevices(roots_);
    const std::string chosen = Path();
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const SerialDevice& device : devices_) {
        const std::string& path = device.Path();
        const std::string description = device.Description();
        list_->addItem(QString::fromStdString(description == device.node ? path : path + "    " + description));
        if (path == chosen || device.node == chosen) list_->setCurrentRow(list_->count() - 1);
    }
}

bool ChooseSerialDevice(CompassSession& session, QSettings& settings, int port, QWidget* parent,
                        const DeviceRoots& roots)
{
    SerialDeviceDialog dialog(session.Ports(), port, roots, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    const int chosen = dialog.Port();
    const std::string path = dialog.Path();
    if (path == session.Ports().Path(chosen)) return false;
    session.SetPortPath(chosen, path);
    settings.setValue(QStringLiteral("Ports/COM%1").arg(chosen), QString::fromStdString(path));
    return true;
}

} // namespace tolvane
