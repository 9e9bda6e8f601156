#include "dialogs/com_port_dialog.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <span>

#include "dialogs/com_port_chooser.h"
#include "dialogs/dialog_template.h"
#include "dialogs/serial_device_dialog.h"
#include "session/compass_session.h"

namespace tolvane {
namespace {

constexpr int kStatusLineId = 1001;
constexpr int kListId = 1000;
constexpr int kDevicePathId = 1002;
constexpr int kDeviceId = 1003;
constexpr int kOpenId = 1;
constexpr int kCloseId = 8;
constexpr int kQuitId = 2;

// Template 130, with the device path line under the list. The list is
// tall enough for all eight entries.
constexpr ControlLayout kControls[] = {
    {kStatusLineId, ControlKind::Static, "", 7, 7, 172, 9},
    {kListId, ControlKind::ListBox, "", 7, 19, 110, 76, "COM ports"},
    {kDevicePathId, ControlKind::Static, "", 7, 98, 172, 9},
    {kOpenId, ControlKind::DefPushButton, "&Open", 129, 19, 50, 14},
    {kCloseId, ControlKind::PushButton, "C&lose", 129, 37, 50, 14},
    {kQuitId, ControlKind::PushButton, "&Quit", 129, 55, 50, 14},
    {kDeviceId, ControlKind::PushButton, "De&vice...", 129, 78, 50, 14, "Device for the selected COM port"},
};
constexpr DialogLayout kTemplate{"Open COM Port", 186, 112, kControls};


} // namespace

struct ComPortDialog::State {
    CompassSession& session;
    QSettings& settings;
    std::function<void(const QString&)> setComPane;
    ComPortChooser::ReasonProbe probe;
    ComPortChooser chooser;
    DeviceRoots deviceRoots;
    QLabel* statusLine = nullptr;
    QListWidget* list = nullptr;
    QLabel* devicePath = nullptr;
    QPushButton* open = nullptr;
    QPushButton* close = nullptr;
    int baseLineHeight = 0;
    QSize baseSize;
    bool opened = false;

    int OpenPort(int port)
    {
        PortProbe why;
        const bool result = session.Open(port, &why);
        chooser.OpenFailed(port, result ? PortProbe(ProbeResult::Free) : why);
        opened = opened || result;
        return result ? port : -1;
    }

    // Lists the ports anew (a port's device changed), selecting `port` if listed.
    void Relist(int port)
    {
        chooser = ComPortChooser(session.PortNumber(), probe);
        const QSignalBlocker quiet(list);
        list->clear();
        const std::vector<int>& ports = chooser.EntryPorts();
        for (int p : ports) list->addItem(QString::fromStdString(ComPortChooser::EntryText(p)));
        const auto at = std::find(ports.begin(), ports.end(), port);
        chooser.Select(at == ports.end() ? -1 : static_cast<int>(at - ports.begin()));
        ShowStatus();
    }

    void ShowStatus()
    {
        const ComPortStatus s = chooser.Status();
        settings.setValue(QStringLiteral("Compass/COMPort"), s.comPortSetting);
        if (setComPane) setComPane(QString::fromStdString(s.pane));
        const QString line = QString::fromStdString(s.statusLine);
        statusLine->setText(line);
        open->setEnabled(s.openEnabled);
        close->setEnabled(s.closeEnabled);

        const int selection = chooser.Selection();
        if (SelectedRow() != selection) {
            // The list's own signal is held back; the model's still reach
            // the view, which repaints the row's highlight from them.
            const QSignalBlocker quiet(list);
            if (selection < 0) {
                list->selectionModel()->clear();
            } else {
                list->setCurrentRow(selection, QItemSelectionModel::ClearAndSelect);
            }
        }
        const int port = chooser.SelectedPort();
        const QString path = port < 0 ? QString() : QString::fromStdString(session.Ports().Path(port));
        const QString notice = QString::fromStdString(chooser.Notice());
        QString text = path;
        if (!notice.isEmpty()) text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + notice;
        devicePath->setText(text);
        devicePath->setToolTip(text);
        QString name = path.isEmpty() ? QStringLiteral("No port selected") : QStringLiteral("Device ") + path;
        if (!notice.isEmpty()) name += QStringLiteral(". ") + notice;
        devicePath->setAccessibleName(name);
        FitDeviceLine(!notice.isEmpty());
    }

    // A notice may need more lines than the template gives; the dialog
    // grows downwards to show it whole.
    void FitDeviceLine(bool grow)
    {
        const int needed =
            grow ? std::max(baseLineHeight, devicePath->heightForWidth(devicePath->width())) : baseLineHeight;
        const int extra = needed - baseLineHeight;
        devicePath->resize(devicePath->width(), needed);
        devicePath->parentWidget()->setFixedSize(baseSize.width(), baseSize.height() + extra);
    }

    // The selected row, or -1.
    int SelectedRow() const
    {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
};

ComPortDialog::ComPortDialog(CompassSession& session, QSettings& settings,
                             std::function<void(const QString&)> setComPane, QWidget* parent,
                             ComPortChooser::ReasonProbe probe)
    : QDialog(parent)
{
    if (!probe)
        probe = [&session](int port) { return session.Probe(port); };
    state_ = new State{session, settings, std::move(setComPane), probe, ComPortChooser(session.PortNumber(), probe),
                       DeviceRoots{}, nullptr, nullptr, nullptr, nullptr, nullptr, 0, QSize(), false};
    BuildDialog(*this, kTemplate);
    State& s = *state_;
    s.statusLine = ControlOf<QLabel>(*this, kStatusLineId);
    s.list = ControlOf<QListWidget>(*this, kListId);
    s.devicePath = ControlOf<QLabel>(*this, kDevicePathId);
    s.open = ControlOf<QPushButton>(*this, kOpenId);
    s.close = ControlOf<QPushButton>(*this, kCloseId);
    s.devicePath->setWordWrap(true);
    s.devicePath->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    s.baseLineHeight = s.devicePath->height();
    s.baseSize = size();
    auto* quit = ControlOf<QPushButton>(*this, kQuitId);

    for (int port : s.chooser.EntryPorts()) s.list->addItem(QString::fromStdString(ComPortChooser::EntryText(port)));

    connect(s.list, &QListWidget::itemSelectionChanged, this, [this] {
        state_->chooser.Select(state_->SelectedRow());
        state_->ShowStatus();
    });
    connect(s.list, &QListWidget::itemDoubleClicked, this, [this] {
        const bool accepted = state_->chooser.DoubleClick([this](int port) { return state_->OpenPort(port); });
        state_->ShowStatus();
        if (accepted) accept();
    });
    connect(s.open, &QPushButton::clicked, this, [this] {
        const bool accepted = state_->chooser.Open([this](int port) { return state_->OpenPort(port); });
        state_->ShowStatus();
        if (accepted) accept();
    });
    connect(s.close, &QPushButton::clicked, this, [this] {
        state_->chooser.Close([this] { state_->session.Close(); });
        state_->ShowStatus();
    });
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
    connect(ControlOf<QPushButton>(*this, kDeviceId), &QPushButton::clicked, this, [this] {
        State& st = *state_;
        const int selected = st.chooser.SelectedPort();
        if (!ChooseSerialDevice(st.session, st.settings, selected < 0 ? kFirstPort : selected, this, st.deviceRoots))
            return;
        st.Relist(selected);
    });

    // With nothing listed, exec() reports it instead of showing the dialog
    // and the settings stay as they were.
    if (!s.chooser.EntryPorts().empty()) s.ShowStatus();
    s.list->setFocus();
}

bool ComPortDialog::Opened() const
{
    return state_->opened;
}

void ComPortDialog::SetDeviceRoots(DeviceRoots roots)
{
    state_->deviceRoots = std::move(roots);
}

ComPortDialog::~ComPortDialog()
{
    delete state_;
}

int ComPortDialog::exec()
{
    if (state_->chooser.EntryPorts().empty()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("No Ports"),
                        QStringLiteral("There are no available COM ports."), QMessageBox::Ok, parentWidget());
        // Why the ports that exist cannot be used, as the dialog's device line would say.
        const std::string why = state_->chooser.Notice();
        box.setInformativeText(QString::fromStdString(why + (why.empty() ? "" : "\n") + kChooseDeviceHint));
        box.exec();
        setResult(Rejected);
        return Rejected;
    }
    return QDialog::exec();
}

} // namespace tolvane
