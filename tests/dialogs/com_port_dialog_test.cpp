#include "dialogs/com_port_dialog.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "link/serial_link.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;

// A pseudo-terminal standing in for a serial device.
struct Pty {
    Pty()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        path = ::ptsname(master);
    }
    ~Pty()
    {
        if (holder >= 0) ::close(holder);
        ::close(slave);
        ::close(master);
    }
    // Another program's open of the device, holding its lock.
    void Hold()
    {
        holder = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (holder < 0 || ::flock(holder, LOCK_EX | LOCK_NB) != 0) throw std::runtime_error("hold");
    }
    int master = -1, slave = -1, holder = -1;
    std::string path;
};

class ComPortDialogTest : public ::testing::Test {
protected:
    // Maps `ports` to fresh pseudo-terminals, the others to missing devices,
    // holds `heldPort`'s device, opens `openPort`, and makes the dialog.
    void Start(std::initializer_list<int> ports, int openPort = -1, int heldPort = -1)
    {
        dialog.reset();
        link.Close();
        PortMap map;
        for (int port = kFirstPort; port <= kLastPort; ++port)
            map.SetPath(port, dir.filePath(QStringLiteral("missing%1").arg(port)).toStdString());
        for (int port : ports) {
            ptys[port] = std::make_unique<Pty>();
            map.SetPath(port, ptys[port]->path);
        }
        link.SetPortMap(map);
        if (heldPort > 0) ptys[heldPort]->Hold();
        if (openPort > 0 && link.Open(openPort, 9600) != openPort) throw std::runtime_error("open");
        settings.setValue(QStringLiteral("Compass/COMPort"), 7);
        panes.clear();
        dialog = std::make_unique<ComPortDialog>(link, 9600, settings,
                                                 [this](const QString& text) { panes.push_back(text); });
    }
    void Show()
    {
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    template <typename W = QWidget> W* Control(int id) { return dialog->findChild<W*>(QString::number(id)); }
    QListWidget* List() { return Control<QListWidget>(1000); }
    QString StatusLine() { return Control<QLabel>(1001)->text(); }
    QString DevicePath() { return Control<QLabel>(1002)->text(); }
    QString PtyPath(int port) { return QString::fromStdString(ptys[port]->path); }
    int ComPortSetting() { return settings.value(QStringLiteral("Compass/COMPort")).toInt(); }
    // Open then Close enabled, as "oc", "o-", "-c" or "--".
    std::string Buttons()
    {
        return {Control(1)->isEnabled() ? 'o' : '-', Control(8)->isEnabled() ? 'c' : '-'};
    }
    std::vector<QString> Entries()
    {
        std::vector<QString> texts;
        for (int i = 0; i < List()->count(); ++i) texts.push_back(List()->item(i)->text());
        return texts;
    }
    int SelectedRow()
    {
        const auto rows = List()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    QPoint RowCentre(int row) { return List()->visualItemRect(List()->item(row)).center(); }
    void ClickRow(int row) { QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowCentre(row)); }
    void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }

    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("Tolvane.conf")), QSettings::IniFormat};
    std::map<int, std::unique_ptr<Pty>> ptys;
    SerialLink link; // after the ptys: closed before they go
    std::unique_ptr<ComPortDialog> dialog;
    std::vector<QString> panes;
};

TEST_F(ComPortDialogTest, ListsUsablePortsWithTheOpenOneSelectedAndQuitKeepsIt)
{
    Start({2, 5, 6}, 2, 6);
    // In step before the dialog shows.
    EXPECT_EQ(ComPortSetting(), 2);
    EXPECT_THAT(panes, ElementsAre(" COM2 Open "));

    QTimer::singleShot(0, dialog.get(), [this] {
        EXPECT_EQ(dialog->windowTitle(), "Open COM Port");
        EXPECT_THAT(Entries(), ElementsAre(" COM2", " COM5"));
        EXPECT_EQ(SelectedRow(), 0);
        EXPECT_EQ(StatusLine(), "COM2 is open.");
        // The held port and its holder, this process, are named under the selected one's device.
        const QString held = QString("\nCOM6 is in use by another program (process %1).").arg(::getpid());
        EXPECT_EQ(DevicePath(), PtyPath(2) + held);
        EXPECT_EQ(Buttons(), "-c");
        ClickRow(1);
        EXPECT_EQ(DevicePath(), PtyPath(5) + held);
        EXPECT_EQ(Buttons(), "o-");
        Click(2);
    });
    EXPECT_EQ(dialog->exec(), QDialog::Rejected);
    EXPECT_EQ(link.PortNumber(), 2);
    EXPECT_EQ(ComPortSetting(), 2);
}

TEST_F(ComPortDialogTest, OpenSwitchesPortsAndAccepts)
{
    Start({1, 3}, 1);
    QTimer::singleShot(0, dialog.get(), [this] {
        ClickRow(1);
        EXPECT_EQ(StatusLine(), "COM1 is open.");
        Click(1);
    });
    EXPECT_EQ(dialog->exec(), QDialog::Accepted);
    EXPECT_EQ(link.PortNumber(), 3);
    EXPECT_EQ(ComPortSetting(), 3);
    EXPECT_EQ(panes.back(), " COM3 Open ");
}

TEST_F(ComPortDialogTest, CloseLeavesNoPortAndNothingSelected)
{
    Start({1, 3}, 1);
    Show();
    Click(8);
    EXPECT_EQ(link.PortNumber(), -1);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(ComPortSetting(), 0);
    EXPECT_EQ(StatusLine(), "No COM port open.");
    EXPECT_EQ(panes.back(), " No COM Port Open ");
    EXPECT_EQ(SelectedRow(), -1);
    EXPECT_EQ(DevicePath(), "");
    EXPECT_EQ(Buttons(), "--");
    EXPECT_THAT(Entries(), ElementsAre(" COM1", " COM3"));
    ClickRow(0);
    EXPECT_EQ(Buttons(), "o-");
}

TEST_F(ComPortDialogTest, FailedOpenClosesTheOldPortAndStays)
{
    Start({1, 3}, 1);
    Show();
    ptys[3]->Hold(); // taken by another program after the listing
    ClickRow(1);
    Click(1);
    EXPECT_EQ(link.PortNumber(), -1);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(StatusLine(), "COM3 failed to open.");
    EXPECT_EQ(panes.back(), " No COM Port Open ");
    EXPECT_EQ(ComPortSetting(), 0);
    EXPECT_EQ(SelectedRow(), 1);
    EXPECT_EQ(Buttons(), "o-");
    ClickRow(0);
    EXPECT_EQ(StatusLine(), "No COM port open.");
}

TEST_F(ComPortDialogTest, DoubleClickAndEnterOpenTheEntryAndAccept)
{
    struct Case {
        const char* name;
        int row;
        bool enter;
        int port;
    };
    const Case cases[] = {{"double-click the open port", 0, false, 4},
                          {"double-click another port", 1, false, 7},
                          {"Enter on another port", 1, true, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start({4, 7}, 4);
        Show();
        ClickRow(c.row);
        if (c.enter) QTest::keyClick(List(), Qt::Key_Return);
        else QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, RowCentre(c.row));
        EXPECT_EQ(link.PortNumber(), c.port);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(ComPortSetting(), c.port);
        EXPECT_EQ(panes.back(), QStringLiteral(" COM%1 Open ").arg(c.port));
    }
}

TEST_F(ComPortDialogTest, NoPortOpenWritesZeroAtOnce)
{
    Start({3, 8});
    EXPECT_EQ(ComPortSetting(), 0);
    EXPECT_THAT(panes, ElementsAre(" No COM Port Open "));
    Show();
    EXPECT_THAT(Entries(), ElementsAre(" COM3", " COM8"));
    EXPECT_EQ(SelectedRow(), -1);
    EXPECT_EQ(StatusLine(), "No COM port open.");
    EXPECT_EQ(DevicePath(), "");
    EXPECT_EQ(Buttons(), "--");
}

TEST_F(ComPortDialogTest, NothingListedShowsNoPortsAndRejects)
{
    for (const int held : {-1, 4}) {
        SCOPED_TRACE(held);
        if (held > 0) Start({4}, -1, held);
        else Start({});
        QString title, text, informative;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool dialogShown = true;
        std::function<void()> answer = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return QTimer::singleShot(10, answer);
            dialogShown = dialog->isVisible();
            title = box->windowTitle();
            text = box->text();
            informative = box->informativeText();
            icon = box->icon();
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        };
        QTimer::singleShot(0, answer);
        EXPECT_EQ(dialog->exec(), QDialog::Rejected);
        EXPECT_EQ(title, "No Ports");
        EXPECT_EQ(text, "There are no available COM ports.");
        // The holder of the port's flock, this process, is named.
        EXPECT_EQ(informative, held > 0 ? QString("COM4 is in use by another program (process %1).").arg(::getpid())
                                        : QString());
        EXPECT_EQ(icon, QMessageBox::Critical);
        EXPECT_FALSE(dialogShown);
        EXPECT_EQ(ComPortSetting(), 7);
        EXPECT_TRUE(panes.empty());
    }
}

TEST_F(ComPortDialogTest, DeviceLineTellsWhyPortsAreMissing)
{
    Start({2});
    const auto probe = [](int port) {
        switch (port) {
        case 2: return ProbeResult::Free;
        case 3: return ProbeResult::NoPermission;
        case 4: return ProbeResult::Busy;
        case 5: return ProbeResult::NotATerminal;
        default: return ProbeResult::Missing;
        }
    };
    dialog = std::make_unique<ComPortDialog>(link, 9600, settings, nullptr, nullptr, probe);
    Show();
    const QString notice = "No permission to open COM3. Run: sudo usermod -aG dialout $USER, then log in again.\n"
                           "COM4 is in use by another program.";
    EXPECT_THAT(Entries(), ElementsAre(" COM2"));
    EXPECT_EQ(DevicePath(), notice);
    ClickRow(0);
    EXPECT_EQ(DevicePath(), PtyPath(2) + "\n" + notice);
    // The whole notice shows inside the dialog.
    auto* line = Control<QLabel>(1002);
    EXPECT_GE(line->height(), line->heightForWidth(line->width()));
    EXPECT_TRUE(dialog->rect().contains(line->geometry()));
    EXPECT_GE(line->geometry().top(), List()->geometry().bottom());
}

TEST_F(ComPortDialogTest, NoPortsTellsWhyThePortsThatExistCannotBeUsed)
{
    for (const ProbeResult reason : {ProbeResult::NoPermission, ProbeResult::Busy}) {
        Start({});
        dialog = std::make_unique<ComPortDialog>(link, 9600, settings, nullptr, nullptr,
                                                 [reason](int port) { return port == 6 ? reason : ProbeResult::Missing; });
        QString text, informative;
        std::function<void()> answer = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return QTimer::singleShot(10, answer);
            text = box->text();
            informative = box->informativeText();
            box->button(QMessageBox::Ok)->click();
        };
        QTimer::singleShot(0, answer);
        EXPECT_EQ(dialog->exec(), QDialog::Rejected);
        EXPECT_EQ(text, "There are no available COM ports.");
        EXPECT_EQ(informative, reason == ProbeResult::NoPermission
                                   ? "No permission to open COM6. Run: sudo usermod -aG dialout $USER, then log in again."
                                   : "COM6 is in use by another program.");
    }
}

TEST_F(ComPortDialogTest, ControlsFitTheDialogAndAllEightEntriesShow)
{
    Start({1, 2, 3, 4, 5, 6, 7, 8});
    Show();
    EXPECT_EQ(List()->count(), 8);
    EXPECT_FALSE(List()->verticalScrollBar()->isVisible());
    EXPECT_TRUE(List()->viewport()->rect().contains(List()->visualItemRect(List()->item(7))));

    std::vector<QWidget*> controls;
    for (int id : {1001, 1000, 1002, 1, 8, 2}) controls.push_back(Control(id));
    for (std::size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(controls[i]->objectName().toStdString());
        EXPECT_TRUE(dialog->rect().contains(controls[i]->geometry()));
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry())) << j;
    }
    EXPECT_LE(Control(1001)->geometry().bottom(), List()->geometry().top());
    EXPECT_GE(Control(1002)->geometry().top(), List()->geometry().bottom());
    EXPECT_EQ(Control<QPushButton>(1)->text(), "&Open");
    EXPECT_EQ(Control<QPushButton>(8)->text(), "C&lose");
    EXPECT_EQ(Control<QPushButton>(2)->text(), "&Quit");
    EXPECT_TRUE(Control<QPushButton>(1)->isDefault());
}

} // namespace
} // namespace tolvane
