#include "dialogs/com_port_chooser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace tolvane {

void PrintTo(const ComPortStatus& s, std::ostream* os)
{
    *os << '"' << s.statusLine << "\" \"" << s.pane << "\" " << s.comPortSetting << " open " << s.openEnabled
        << " close " << s.closeEnabled;
}

namespace {

ComPortChooser Make(int openPort, const std::set<int>& probeOk, std::vector<int>* probed = nullptr)
{
    return ComPortChooser(openPort, [=](int port) {
        if (probed) probed->push_back(port);
        return probeOk.count(port) > 0;
    });
}

TEST(ComPortChooser, ListsPortsOneToEightInOrderWithoutProbingTheOpenOne)
{
    struct Case {
        int openPort;
        std::set<int> probeOk;
        std::vector<int> entries;
        int selection;
    };
    const Case cases[] = {
        {1, {3}, {1, 3}, 0},
        {5, {2, 7, 8}, {2, 5, 7, 8}, 1},
        {-1, {4, 6}, {4, 6}, -1},
        {8, {}, {8}, 0},
        {-1, {}, {}, -1},
        {-1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4, 5, 6, 7, 8}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.openPort);
        std::vector<int> probed;
        const ComPortChooser chooser = Make(c.openPort, c.probeOk, &probed);
        EXPECT_EQ(chooser.EntryPorts(), c.entries);
        EXPECT_EQ(chooser.Selection(), c.selection);
        std::vector<int> expectedProbes;
        for (int port = 1; port <= 8; ++port)
            if (port != c.openPort) expectedProbes.push_back(port);
        EXPECT_EQ(probed, expectedProbes);
    }
    EXPECT_EQ(ComPortChooser::EntryText(3), " COM3");
}

TEST(ComPortChooser, ActionsDriveLinkStatusAndClosing)
{
    // Actions, one letter each: '0'..'9' selects that entry ('9' is out of
    // range), '-' selects none, 'o' Open, 'd' double-click, 'c' Close.
    struct Case {
        int openPort;
        std::set<int> usable; // opens succeed; COM3 and the open port are listed
        const char* actions;
        std::vector<std::string> linkCalls;
        bool accepted; // by the last action
        ComPortStatus status;
    };
    const std::set<int> both{1, 3};
    const ComPortStatus com1{"COM1 is open.", " COM1 Open ", 1, false, true};
    const ComPortStatus com3{"COM3 is open.", " COM3 Open ", 3, false, true};
    const ComPortStatus noneIdle{"No COM port open.", " No COM Port Open ", 0, false, false};
    const ComPortStatus noneSelected{"No COM port open.", " No COM Port Open ", 0, true, false};
    const ComPortStatus com3Failed{"COM3 failed to open.", " No COM Port Open ", 0, true, false};
    const Case cases[] = {
        {1, both, "", {}, false, com1},
        {-1, both, "", {}, false, noneIdle},
        {1, both, "1", {}, false, {"COM1 is open.", " COM1 Open ", 1, true, false}},
        {1, both, "1o", {"open 3"}, true, com3},
        {-1, both, "0o", {"open 3"}, true, com3}, // only COM3 listed
        {1, both, "c", {"close"}, false, noneIdle},
        {1, both, "c0", {"close"}, false, noneSelected},
        {-1, both, "0c", {}, false, noneSelected},
        {1, {1}, "1o", {"open 3"}, false, com3Failed},
        {1, {1}, "1o0", {"open 3"}, false, noneSelected},
        {-1, both, "o", {}, false, noneIdle},
        {1, both, "-", {}, false, {"COM1 is open.", " COM1 Open ", 1, false, false}},
        {1, both, "9", {}, false, {"COM1 is open.", " COM1 Open ", 1, false, false}},
        {1, both, "1d", {"open 3"}, true, com3},
        {1, both, "d", {"open 1"}, true, com1},
        // Closing was decided before the reopen failed.
        {1, {3}, "d", {"open 1"}, true, {"COM1 failed to open.", " No COM Port Open ", 0, true, false}},
        {1, {1}, "1d", {"open 3"}, false, com3Failed},
        {1, both, "cd", {"close"}, false, noneIdle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.openPort) + " " + c.actions);
        int linkPort = c.openPort;
        std::vector<std::string> calls;
        const auto open = [&](int port) {
            calls.push_back("open " + std::to_string(port));
            return linkPort = c.usable.count(port) ? port : -1;
        };
        ComPortChooser chooser = Make(c.openPort, {3});
        bool accepted = false;
        for (const char* a = c.actions; *a != '\0'; ++a) {
            accepted = false;
            if (*a == 'o') accepted = chooser.Open(open);
            else if (*a == 'd') accepted = chooser.DoubleClick(open);
            else if (*a == 'c') chooser.Close([&] { calls.emplace_back("close"), linkPort = -1; });
            else chooser.Select(*a == '-' ? -1 : *a - '0');
        }
        EXPECT_EQ(calls, c.linkCalls);
        EXPECT_EQ(accepted, c.accepted);
        EXPECT_EQ(chooser.OpenPort(), linkPort);
        EXPECT_EQ(chooser.Status(), c.status);
    }
}

TEST(ComPortChooser, NoticeNamesPortsLeftOutForPermissionOrAnotherProgram)
{
    using R = ProbeResult;
    struct Case {
        std::map<int, PortProbe> reasons; // the others are missing
        std::vector<int> entries;
        std::string notice;
    };
    const std::string fix = "Run: sudo usermod -aG dialout $USER, then log in again.";
    const Case cases[] = {
        {{{2, R::Free}, {3, R::NotATerminal}}, {2}, ""},
        {{{2, R::Free}, {3, R::NoPermission}}, {2}, "No permission to open COM3. " + fix},
        {{{3, R::NoPermission}, {5, R::NoPermission}}, {}, "No permission to open COM3, COM5. " + fix},
        {{{4, R::Busy}}, {}, "COM4 is in use by another program."},
        {{{4, {R::Busy, 1234}}}, {}, "COM4 is in use by another program (process 1234)."},
        {{{1, R::Busy}, {4, R::Busy}, {6, R::NoPermission}},
         {},
         "No permission to open COM6. " + fix + "\nCOM1, COM4 are in use by other programs."},
        {{{1, {R::Busy, 77}}, {2, R::Busy}, {3, {R::Busy, 88}}},
         {},
         "COM1 is in use by another program (process 77).\nCOM3 is in use by another program (process 88).\n"
         "COM2 is in use by another program."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notice);
        const ComPortChooser chooser(-1, [&](int port) {
            const auto it = c.reasons.find(port);
            return it == c.reasons.end() ? PortProbe(R::Missing) : it->second;
        });
        EXPECT_EQ(chooser.EntryPorts(), c.entries);
        EXPECT_EQ(chooser.Notice(), c.notice);
    }
    // The open port is not probed, so nothing is said about it.
    EXPECT_EQ(ComPortChooser(4, [](int) { return ProbeResult::Busy; }).Notice(),
              "COM1, COM2, COM3, COM5, COM6, COM7, COM8 are in use by other programs.");
}

TEST(ComPortChooser, RememberedPortIsAWholeNumberFromOneToEight)
{
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {"8", 8}, {" 3\t", 3}, {"03", 3}, {"0", 0},  {"", 0},    {"  ", 0},    {"9", 0},         {"-1", 0},
        {"+2", 0}, {"1.5", 0}, {"2e0", 0}, {"abc", 0}, {"3 4", 0}, {"4294967297", 0}, {"99999999999999999999", 0},
    };
    for (const auto& [setting, port] : cases) EXPECT_EQ(RememberedPort(setting), port) << '"' << setting << '"';
}

} // namespace
} // namespace tolvane
