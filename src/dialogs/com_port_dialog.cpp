#include "dialogs/com_port_dialog.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>

#include <cmath>
#include <span>

#include "dialogs/com_port_chooser.h"
#include "link/serial_link.h"

namespace tolvane {
namespace {

enum class Kind { kStatic, kListBox, kPushButton, kDefPushButton };

struct Control {
    int id;
    Kind kind;
    const char* text;
    int x, y, w, h; // dialog units
};

constexpr int kStatusLineId = 1001;
constexpr int kListId = 1000;
constexpr int kDevicePathId = 1002;
constexpr int kOpenId = 1;
constexpr int kCloseId = 8;
constexpr int kQuitId = 2;

constexpr int kDialogWidth = 186;
constexpr int kDialogHeight = 112;

// Template 130, with the device path line under the list. The list is
// tall enough for all eight entries.
constexpr Control kTemplate[] = {
    {kStatusLineId, Kind::kStatic, "", 7, 7, 172, 9},
    {kListId, Kind::kListBox, "", 7, 19, 110, 76},
    {kDevicePathId, Kind::kStatic, "", 7, 98, 172, 9},
    {kOpenId, Kind::kDefPushButton, "&Open", 129, 19, 50, 14},
    {kCloseId, Kind::kPushButton, "C&lose", 129, 37, 50, 14},
    {kQuitId, Kind::kPushButton, "&Quit", 129, 55, 50, 14},
};

// Pixels per dialog unit of `font`, horizontally and vertically.
struct DialogUnits {
    double h;
    double v;
};

DialogUnits UnitsOf(const QFont& font)
{
    const QFontMetricsF fm(font);
    // The average over the Latin letters, as the template units are defined.
    const double average = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    return {average / 4.0, fm.height() / 8.0};
}

int Px(int units, double perUnit)
{
    return static_cast<int>(std::lround(units * perUnit));
}

QString AccessibleText(const char* label)
{
    return QString::fromUtf8(label).remove(QLatin1Char('&'));
}

void BuildControls(QDialog& dialog, std::span<const Control> controls)
{
    const DialogUnits u = UnitsOf(dialog.font());
    dialog.setFixedSize(Px(kDialogWidth, u.h), Px(kDialogHeight, u.v));
    for (const Control& c : controls) {
        QWidget* w = nullptr;
        switch (c.kind) {
        case Kind::kStatic: {
            auto* label = new QLabel(QString::fromUtf8(c.text), &dialog);
            label->setTextFormat(Qt::PlainText);
            w = label;
            break;
        }
        case Kind::kListBox: {
            auto* list = new QListWidget(&dialog);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            w = list;
            break;
        }
        case Kind::kPushButton:
        case Kind::kDefPushButton: {
            auto* button = new QPushButton(QString::fromUtf8(c.text), &dialog);
            button->setDefault(c.kind == Kind::kDefPushButton);
            w = button;
            break;
        }
        }
        w->setObjectName(QString::number(c.id));
        if (*c.text != '\0') w->setAccessibleName(AccessibleText(c.text));
        w->setGeometry(Px(c.x, u.h), Px(c.y, u.v), Px(c.w, u.h), Px(c.h, u.v));
    }
}

template <typename W> W* ControlOf(QDialog& dialog, int id)
{
    return dialog.findChild<W*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

} // namespace

struct ComPortDialog::State {
    SerialLink& link;
    int baudRate;
    QSettings& settings;
    std::function<void(const QString&)> setComPane;
    ComPortChooser chooser;
    QLabel* statusLine = nullptr;
    QListWidget* list = nullptr;
    QLabel* devicePath = nullptr;
    QPushButton* open = nullptr;
    QPushButton* close = nullptr;

    int OpenPort(int port) { return link.Open(port, baudRate); }

    void ShowStatus()
    {
        const ComPortStatus s = chooser.Status();
        settings.setValue(QStringLiteral("Compass/COMPort"), s.comPortSetting);
        if (setComPane) setComPane(QString::fromStdString(s.pane));
        const QString line = QString::fromStdString(s.statusLine);
        statusLine->setText(line);
        statusLine->setAccessibleName(line); // tracks the text, so readers announce it
        open->setEnabled(s.openEnabled);
        close->setEnabled(s.closeEnabled);

        const int selection = chooser.Selection();
        if (SelectedRow() != selection) {
            const QSignalBlocker quiet(list->selectionModel());
            if (selection < 0) {
                list->selectionModel()->clear();
            } else {
                list->setCurrentRow(selection, QItemSelectionModel::ClearAndSelect);
            }
        }
        const int port = chooser.SelectedPort();
        const QString path = port < 0 ? QString() : QString::fromStdString(link.Ports().Path(port));
        devicePath->setText(path);
        devicePath->setToolTip(path);
        devicePath->setAccessibleName(path.isEmpty() ? QStringLiteral("No port selected")
                                                     : QStringLiteral("Device ") + path);
    }

    // The selected row, or -1.
    int SelectedRow() const
    {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
};

ComPortDialog::ComPortDialog(SerialLink& link, int baudRate, QSettings& settings,
                             std::function<void(const QString&)> setComPane, QWidget* parent)
    : QDialog(parent),
      state_(new State{link, baudRate, settings, std::move(setComPane),
                       ComPortChooser(link.PortNumber(), [&link](int port) { return ProbePort(link.Ports(), port, link.LockDirectories()); })})
{
    setWindowTitle(QStringLiteral("Open COM Port"));
    BuildControls(*this, kTemplate);
    State& s = *state_;
    s.statusLine = ControlOf<QLabel>(*this, kStatusLineId);
    s.list = ControlOf<QListWidget>(*this, kListId);
    s.devicePath = ControlOf<QLabel>(*this, kDevicePathId);
    s.open = ControlOf<QPushButton>(*this, kOpenId);
    s.close = ControlOf<QPushButton>(*this, kCloseId);
    auto* quit = ControlOf<QPushButton>(*this, kQuitId);
    s.list->setAccessibleName(QStringLiteral("COM ports"));

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
        state_->chooser.Close([this] { state_->link.Close(); });
        state_->ShowStatus();
    });
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);

    // With nothing listed, exec() reports it instead of showing the dialog
    // and the settings stay as they were.
    if (!s.chooser.EntryPorts().empty()) s.ShowStatus();
    s.list->setFocus();
}

ComPortDialog::~ComPortDialog()
{
    delete state_;
}

int ComPortDialog::exec()
{
    if (state_->chooser.EntryPorts().empty()) {
        QMessageBox::critical(parentWidget(), QStringLiteral("No Ports"),
                              QStringLiteral("There are no available COM ports."));
        setResult(Rejected);
        return Rejected;
    }
    return QDialog::exec();
}

} // namespace tolvane
