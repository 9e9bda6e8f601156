// The Open COM Port dialog: its rules apart from the widgets (what it
// lists, what each action does to the link, what it shows and remembers),
// then the dialog itself on pseudo-terminals, each action reaching the
// link, the frame's COM pane and the "COMPort" setting.
#include "dialogs/com_port_dialog.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "dialog_test_support.h"
#include "dialogs/dialog_template.h"
#include "link/serial_link.h"

namespace tolvane {
namespace {

TEST(ComPortChooser, ListsPortsOneToEightInOrderWithoutProbingTheOpenOne)
{
    const std::tuple<int, std::set<int>, std::vector<int>, int> cases[] = {
        {1, {3}, {1, 3}, 0}, {5, {2, 7, 8}, {2, 5, 7, 8}, 1}, {-1, {4, 6}, {4, 6}, -1}, {8, {}, {8}, 0},
        {9, {}, {}, -1},     {-1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4, 5, 6, 7, 8}, -1},
    };
    for (const auto& [openPort, probeOk, entries, selection] : cases) {
        SCOPED_TRACE(openPort);
        std::vector<int> probed, expectedProbes;
        const ComPortChooser chooser(openPort, [&](int port) {
            probed.push_back(port);
            return probeOk.count(port) > 0;
        });
        EXPECT_EQ(chooser.EntryPorts(), entries);
        EXPECT_EQ(chooser.Selection(), selection);
        for (int port = 1; port <= 8; ++port)
            if (port != openPort) expectedProbes.push_back(port);
        EXPECT_EQ(probed, expectedProbes);
    }
}

// Actions, one letter each: '0'..'9' selects that entry ('9' is out of
// range), '-' selects none, 'o' Open, 'd' double-click, 'c' Close. COM3
// and the open port are listed; opens of the usable ports succeed. The
// status: status line, pane, "COMPort" setting, Open and Close enabled.
TEST(ComPortChooser, ActionsDriveLinkStatusAndClosing)
{
    const std::set<int> both{1, 3};
    const std::tuple<int, std::set<int>, const char*, const char*, bool, const char*> cases[] = {
        // open port, usable, actions, calls to the link, accepted by the last action, status
        {1, both, "", "", false, "COM1 is open.| COM1 Open |1|-c"},
        {-1, both, "", "", false, "No COM port open.| No COM Port Open |0|--"},
        {1, both, "1", "", false, "COM1 is open.| COM1 Open |1|o-"},
        {1, both, "1o", "open 3,", true, "COM3 is open.| COM3 Open |3|-c"},
        {-1, both, "0o", "open 3,", true, "COM3 is open.| COM3 Open |3|-c"},
        {1, both, "c", "close,", false, "No COM port open.| No COM Port Open |0|--"},
        {1, both, "c0", "close,", false, "No COM port open.| No COM Port Open |0|o-"},
        {-1, both, "0c", "", false, "No COM port open.| No COM Port Open |0|o-"},
        {1, {1}, "1o", "open 3,", false, "COM3 failed to open.| No COM Port Open |0|o-"},
        {1, {1}, "1o0", "open 3,", false, "No COM port open.| No COM Port Open |0|o-"},
        {-1, both, "o", "", false, "No COM port open.| No COM Port Open |0|--"},
        {1, both, "-", "", false, "COM1 is open.| COM1 Open |1|--"},
        {1, both, "9", "", false, "COM1 is open.| COM1 Open |1|--"},
        {1, both, "1d", "open 3,", true, "COM3 is open.| COM3 Open |3|-c"},
        {1, both, "d", "open 1,", true, "COM1 is open.| COM1 Open |1|-c"},
        // Closing was decided before the reopen failed.
        {1, {3}, "d", "open 1,", true, "COM1 failed to open.| No COM Port Open |0|o-"},
        {1, {1}, "1d", "open 3,", false, "COM3 failed to open.| No COM Port Open |0|o-"},
        {1, both, "cd", "close,", false, "No COM port open.| No COM Port Open |0|--"},
    };
    for (const auto& [openPort, usable, actions, linkCalls, accepted, status] : cases) {
        SCOPED_TRACE(std::to_string(openPort) + " " + actions);
        int linkPort = openPort;
        std::string calls;
        const auto open = [&, &usable = usable](int port) {
            calls += "open " + std::to_string(port) + ",";
            return linkPort = usable.count(port) ? port : -1;
        };
        ComPortChooser chooser(openPort, [](int port) { return port == 3; });
        bool last = false;
        for (const char* a = actions; *a != '\0'; ++a) {
            last = false;
            if (*a == 'o') last = chooser.Open(open);
            else if (*a == 'd') last = chooser.DoubleClick(open);
            else if (*a == 'c') chooser.Close([&] { calls += "close,", linkPort = -1; });
            else chooser.Select(*a == '-' ? -1 : *a - '0');
        }
        const ComPortStatus s = chooser.Status();
        EXPECT_EQ(calls, linkCalls);
        EXPECT_EQ(last, accepted);
        EXPECT_EQ(chooser.OpenPort(), linkPort);
        EXPECT_EQ(s.statusLine + "|" + s.pane + "|" + std::to_string(s.comPortSetting) + "|" +
                      (s.openEnabled ? "o" : "-") + (s.closeEnabled ? "c" : "-"),
                  status);
    }
}

TEST(ComPortChooser, NoticeNamesPortsLeftOutForPermissionOrAnotherProgram)
{
    using R = ProbeResult;
    const std::string fix = "Run: sudo usermod -aG dialout $USER, then log in again.";
    const std::tuple<std::map<int, PortProbe>, std::vector<int>, std::string> cases[] = {
        // why ports are left out (the others are missing), the ports listed, the notice
        {{{2, R::Free}, {3, R::NotATerminal}}, {2}, ""},
        {{{2, R::Free}, {3, R::NoPermission}}, {2}, "No permission to open COM3. " + fix},
        {{{3, R::NoPermission}, {5, R::NoPermission}}, {}, "No permission to open COM3, COM5. " + fix},
        {{{4, R::Busy}}, {}, "COM4 is in use by another program."},
        {{{4, {R::Busy, 1234}}}, {}, "COM4 is in use by another program (process 1234)."},
        {{{1, R::Busy}, {4, R::Busy}, {6, R::NoPermission}}, {},
         "No permission to open COM6. " + fix + "\nCOM1, COM4 are in use by other programs."},
        {{{1, {R::Busy, 77}}, {2, R::Busy}, {3, {R::Busy, 88}}}, {},
         "COM1 is in use by another program (process 77).\nCOM3 is in use by another program (process 88).\n"
         "COM2 is in use by another program."},
    };
    for (const auto& [reasons, entries, notice] : cases) {
        SCOPED_TRACE(notice);
        const ComPortChooser chooser(-1, [&](int port) {
            const auto it = reasons.find(port);
            return it == reasons.end() ? PortProbe(R::Missing) : it->second;
        });
        EXPECT_EQ(chooser.EntryPorts(), entries);
        EXPECT_EQ(chooser.Notice(), notice);
    }
    // The open port is not probed, so nothing is said about it.
    EXPECT_EQ(ComPortChooser(4, [](int) { return ProbeResult::Busy; }).Notice(),
              "COM1, COM2, COM3, COM5, COM6, COM7, COM8 are in use by other programs.");
}

TEST(ComPortChooser, RememberedPortIsAWholeNumberFromOneToEight)
{
    const std::pair<const char*, int> cases[] = {
        {"1", 1},  {"8", 8},    {" 3\t", 3}, {"03", 3},  {"0", 0},   {"", 0},
        {"  ", 0}, {"9", 0},    {"-1", 0},   {"+2", 0},  {"1.5", 0}, {"2e0", 0},
        {"abc", 0}, {"3 4", 0}, {"4294967297", 0},       {"99999999999999999999", 0},
    };
    for (const auto& [setting, port] : cases) EXPECT_EQ(RememberedPort(setting), port) << '"' << setting << '"';
}

// The dialog itself.
constexpr int kList = 1000, kStatusLine = 1001, kDeviceLine = 1002, kOpen = 1, kClose = 8, kQuit = 2;

// A pseudo-terminal standing in for a serial device; Hold() opens it as
// another program would, holding its lock.
struct Pty {
    Pty() { ::openpty(&master, &slave, nullptr, nullptr, nullptr), path = ::ptsname(master); }
    ~Pty() { ::close(holder), ::close(slave), ::close(master); }
    void Hold() { ::flock(holder = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), LOCK_EX | LOCK_NB); }
    int master = -1, slave = -1, holder = -1;
    std::string path;
};

class ComPortDialogTest : public ::testing::Test {
protected:
    // test::RunSteps with the buttons and, first, "with(ports,open,held,
    // probe)": pseudo-terminals for the ports (digits; "-": none), the
    // others missing; `open` opened and `held` held (0: none); the dialog
    // made, probing through the link, or with `probe` when given: a letter
    // per port, F free, P no permission, B busy, T no terminal, '.' missing.
    // Then "show" shows it, "exec" runs it, "rowN" and "doubleN" click its
    // Nth entry, "holdN" holds port N's device.
    void Run(std::string steps)
    {
        char ports[9] = "", probe[9] = "";
        int open = 0, held = 0;
        if (std::sscanf(steps.c_str(), "with(%8[0-9-],%d,%d,%8[.FPBT])", ports, &open, &held, probe) >= 3) {
            dialog.reset();
            link.Close();
            ptys.clear();
            PortMap map;
            for (int port = kFirstPort; port <= kLastPort; ++port)
                map.SetPath(port, dir.filePath(QStringLiteral("missing%1").arg(port)).toStdString());
            for (const char* p = ports; *p > '0'; ++p)
                map.SetPath(*p - '0', (ptys[*p - '0'] = std::make_unique<Pty>())->path);
            link.SetPortMap(map);
            if (held) ptys[held]->Hold();
            ASSERT_EQ(open ? link.Open(open, 9600) : -1, open ? open : -1);
            settings.setValue(QStringLiteral("Compass/COMPort"), 7);
            panes.clear();
            const std::string reasons = probe;
            dialog = std::make_unique<ComPortDialog>(
                link, 9600, settings, [this](const QString& text) { panes.push_back(text); }, nullptr,
                reasons.empty() ? ComPortChooser::ReasonProbe() : [reasons](int port) -> PortProbe {
                    using enum ProbeResult;
                    constexpr ProbeResult kinds[] = {Missing, Free, NoPermission, Busy, NotATerminal};
                    return kinds[std::string(".FPBT").find(reasons[port - 1])];
                });
            steps.erase(0, steps.find(')') + 1);
        }
        const std::map<std::string, int> buttons = {{"open", kOpen}, {"close", kClose}, {"quit", kQuit}};
        test::RunSteps(*dialog, buttons, steps, [this](const std::string& step) {
            const int n = step.back() - '0';
            QWidget* rows = List()->viewport();
            if (step == "show") test::ShowActive(*dialog);
            else if (step == "exec") dialog->exec();
            else if (step.starts_with("row")) QTest::mouseClick(rows, Qt::LeftButton, {}, RowCentre(n));
            else if (step.starts_with("double")) QTest::mouseDClick(rows, Qt::LeftButton, {}, RowCentre(n));
            else if (step.starts_with("hold")) ptys[n]->Hold();
            else ADD_FAILURE() << "no such step: " << step;
        });
    }
    QListWidget* List() { return ControlOf<QListWidget>(*dialog, kList); }
    QPoint RowCentre(int row) { return List()->visualItemRect(List()->item(row)).center(); }
    // The entries with the selected one starred, the status line, the
    // device line ("ptyN" for port N's device, PID for this process), Open
    // and Close enabled ("oc"), the link's port, the "COMPort" setting, the
    // pane, what the boxes said, and the dialog's result.
    std::string State()
    {
        QStringList entries;
        for (const QListWidgetItem* item : List()->findItems("", Qt::MatchContains))
            entries << item->text() + (item->isSelected() ? "*" : "");
        QString device = ControlOf<QLabel>(*dialog, kDeviceLine)->text().replace(QString::number(::getpid()), "PID");
        for (const auto& [port, pty] : ptys)
            device.replace(QString::fromStdString(pty->path), "pty" + QString::number(port));
        QStringList s = {entries.join(','), ControlOf<QLabel>(*dialog, kStatusLine)->text(), device};
        s << QString(ControlOf<QWidget>(*dialog, kOpen)->isEnabled() ? "o" : "-") +
                 (ControlOf<QWidget>(*dialog, kClose)->isEnabled() ? "c" : "-");
        s << QString::number(link.PortNumber()) << settings.value("Compass/COMPort").toString();
        s << (panes.empty() ? QString() : panes.back()) << test::BoxesSaid(boxes.seen);
        s << (dialog->isVisible() ? "open" : dialog->result() ? "accepted" : "rejected");
        boxes.seen.clear();
        return s.join('|').toStdString();
    }

    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("Tolvane.conf")), QSettings::IniFormat};
    std::map<int, std::unique_ptr<Pty>> ptys;
    SerialLink link; // after the ptys: closed before they go
    std::unique_ptr<ComPortDialog> dialog;
    std::vector<QString> panes;
    test::BoxAnswerer boxes;
};

TEST_F(ComPortDialogTest, StepsAndTheStateTheyLeave)
{
    const std::string dialout = " Run: sudo usermod -aG dialout $USER, then log in again.";
    const std::pair<std::string, std::string> rows[] = {
        // COM6 is held by another program (this process): not listed, it is named under the selected device.
        {"with(136,1,6);show",
         " COM1*, COM3|COM1 is open.|pty1\nCOM6 is in use by another program (process PID).|-c|1|1| COM1 Open ||open"},
        {"close",
         " COM1, COM3|No COM port open.|COM6 is in use by another program (process PID).|--|-1|0| No COM Port Open "
         "||open"},
        {"row1",
         " COM1, COM3*|No COM port open.|pty3\nCOM6 is in use by another program (process PID).|o-|-1|0| No COM Port "
         "Open ||open"},
        {"hold3;open",
         " COM1, COM3*|COM3 failed to open.|pty3\nCOM6 is in use by another program (process PID).|o-|-1|0| No COM "
         "Port Open ||open"},
        {"row0",
         " COM1*, COM3|No COM port open.|pty1\nCOM6 is in use by another program (process PID).|o-|-1|0| No COM Port "
         "Open ||open"},
        {"open",
         " COM1*, COM3|COM1 is open.|pty1\nCOM6 is in use by another program (process PID).|-c|1|1| COM1 Open "
         "||accepted"},
        // A double-click or Enter opens the entry and accepts, also on the open port; Quit keeps the port.
        {"with(47,4,0);show;row1;double1", " COM4, COM7*|COM7 is open.|pty7|-c|7|7| COM7 Open ||accepted"},
        {"with(47,4,0);show;row1;key:Return", " COM4, COM7*|COM7 is open.|pty7|-c|7|7| COM7 Open ||accepted"},
        {"with(47,4,0);show;row1;quit", " COM4, COM7*|COM4 is open.|pty7|o-|4|4| COM4 Open ||rejected"},
        // The device line says why ports are missing.
        {"with(2,0,0,.FPBT...);show", " COM2|No COM port open.|No permission to open COM3." + dialout +
                                          "\nCOM4 is in use by another program.|--|-1|0| No COM Port Open ||open"},
        // With nothing to list the dialog does not show (nor update its controls): a box says so, with why the
        // ports that exist cannot be used, and the setting stays.
        {"with(-,0,0,........);exec", "|||oc|-1|7||No Ports: There are no available COM ports.|rejected"},
        {"with(-,0,0,.....P..);exec", "|||oc|-1|7||No Ports: There are no available COM ports. (No permission to "
                                      "open COM6." + dialout + ")|rejected"},
        {"with(-,0,0,.....B..);exec",
         "|||oc|-1|7||No Ports: There are no available COM ports. (COM6 is in use by another program.)|rejected"},
    };
    for (const auto& [steps, state] : rows) {
        SCOPED_TRACE(steps);
        Run(steps);
        EXPECT_EQ(State(), state);
    }
}

TEST_F(ComPortDialogTest, ControlsFitTheDialogAndAllEightEntriesShow)
{
    Run("with(12345678,0,0);show");
    EXPECT_EQ(List()->count(), 8);
    EXPECT_FALSE(List()->verticalScrollBar()->isVisible());
    EXPECT_TRUE(List()->viewport()->rect().contains(RowCentre(7)));
    const int ids[] = {kStatusLine, kList, kDeviceLine, kOpen, kClose, kQuit}; // top to bottom, then the buttons
    for (std::size_t i = 0; i < std::size(ids); ++i) {
        const QRect r = ControlOf<QWidget>(*dialog, ids[i])->geometry();
        EXPECT_TRUE(dialog->rect().contains(r)) << ids[i];
        for (std::size_t j = i + 1; j < std::size(ids); ++j) {
            const QRect other = ControlOf<QWidget>(*dialog, ids[j])->geometry();
            EXPECT_TRUE(j < 3 ? r.bottom() < other.top() : !r.intersects(other)) << ids[i] << " " << ids[j];
        }
    }
    QString texts;
    for (int id : {kOpen, kClose, kQuit}) texts += ControlOf<QPushButton>(*dialog, id)->text();
    EXPECT_EQ(texts, "&OpenC&lose&Quit");
    EXPECT_TRUE(ControlOf<QPushButton>(*dialog, kOpen)->isDefault());
    const int plain = dialog->height();
    Run("with(2,0,0,.FPBT...);show"); // a notice shows whole, wrapped, the dialog grown to hold it
    auto* line = ControlOf<QLabel>(*dialog, kDeviceLine);
    EXPECT_GE(line->height(), line->heightForWidth(line->width()));
    EXPECT_LE(line->minimumSizeHint().width(), line->width());
    EXPECT_TRUE(dialog->rect().contains(line->geometry()));
    EXPECT_GT(dialog->height(), plain);
}

} // namespace
} // namespace tolvane
