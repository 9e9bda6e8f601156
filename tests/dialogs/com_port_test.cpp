// The Open COM Port dialog's rules apart from its widgets: what it lists,
// what each action does to the link, what it shows and remembers.
#include "dialogs/com_port_chooser.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace tolvane {
namespace {

// Actions, one letter each: '0'..'9' selects that entry ('9' is out of
// range), 'o' Open, 'd' double-click, 'c' Close. COM3
// and the open port are listed; opens of the usable ports succeed. The
// status: status line, pane, "COMPort" setting, Open and Close enabled.
TEST(ComPortChooser, ActionsDriveLinkStatusAndClosing)
{
    const std::set<int> both{1, 3};
    const std::tuple<int, std::set<int>, const char*, const char*, bool, const char*> cases[] = {
        // open port, usable, actions, calls to the link, accepted by the last action, status
        {1, both, "", "", false, "COM1 is open.| COM1 Open |1|-c"},
        {1, both, "1", "", false, "COM1 is open.| COM1 Open |1|o-"},
        {1, both, "1o", "open 3,", true, "COM3 is open.| COM3 Open |3|-c"},
        {-1, both, "0o", "open 3,", true, "COM3 is open.| COM3 Open |3|-c"},
        {1, both, "c0", "close,", false, "No COM port open.| No COM Port Open |0|o-"},
        {-1, both, "0c", "", false, "No COM port open.| No COM Port Open |0|o-"}, // nothing open: nothing to close
        {1, {1}, "1o", "open 3,", false, "COM3 failed to open.| No COM Port Open |0|o-"},
        {1, {1}, "1o0", "open 3,", false, "No COM port open.| No COM Port Open |0|o-"}, // a new choice clears it
        {-1, both, "o", "", false, "No COM port open.| No COM Port Open |0|--"},        // nothing selected
        {1, both, "9", "", false, "COM1 is open.| COM1 Open |1|--"},                    // beyond the list: none
        {1, both, "1d", "open 3,", true, "COM3 is open.| COM3 Open |3|-c"},
        {1, both, "d", "open 1,", true, "COM1 is open.| COM1 Open |1|-c"},
        // Closing was decided before the reopen failed; a failed open of another port is not accepted.
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

// COM1 to COM8 are probed in order, all but the open one, which is
// listed without a probe; the notice names ports left out for permission
// or another program.
TEST(ComPortChooser, ListsUsablePortsAndNamesThoseLeftOut)
{
    using R = ProbeResult;
    const std::string fix = "Run: sudo usermod -aG dialout $USER, then log in again.";
    const std::tuple<int, std::map<int, PortProbe>, std::vector<int>, int, std::string> cases[] = {
        // open port, why ports are free or left out (the others are missing), the entries, the selection, the notice
        {1, {{3, R::Free}}, {1, 3}, 0, ""},
        {5, {{2, R::Free}, {7, R::Free}, {8, R::Free}}, {2, 5, 7, 8}, 1, ""},
        {8, {}, {8}, 0, ""},
        {9, {}, {}, -1, ""},
        {-1, {{0, R::Free}, {1, R::Free}, {8, R::Free}, {9, R::Free}}, {1, 8}, -1, ""},
        {-1, {{2, R::Free}, {3, R::NotATerminal}}, {2}, -1, ""},
        {-1, {{2, R::Free}, {3, R::NoPermission}}, {2}, -1, "No permission to open COM3. " + fix},
        {-1, {{3, R::NoPermission}, {5, R::NoPermission}}, {}, -1, "No permission to open COM3, COM5. " + fix},
        {-1, {{4, R::Busy}}, {}, -1, "COM4 is in use by another program."},
        {-1, {{4, {R::Busy, 1234}}}, {}, -1, "COM4 is in use by another program (process 1234)."},
        {-1, {{1, R::Busy}, {4, R::Busy}, {6, R::NoPermission}}, {}, -1,
         "No permission to open COM6. " + fix + "\nCOM1, COM4 are in use by other programs."},
        {-1, {{1, {R::Busy, 77}}, {2, R::Busy}, {3, {R::Busy, 88}}}, {}, -1,
         "COM1 is in use by another program (process 77).\nCOM3 is in use by another program (process 88).\n"
         "COM2 is in use by another program."},
    };
    for (const auto& [openPort, reasons, entries, selection, notice] : cases) {
        SCOPED_TRACE(std::to_string(openPort) + " " + notice);
        std::vector<int> probed, expectedProbes;
        const ComPortChooser chooser(openPort, [&, &reasons = reasons](int port) {
            probed.push_back(port);
            const auto it = reasons.find(port);
            return it == reasons.end() ? PortProbe(R::Missing) : it->second;
        });
        EXPECT_EQ(chooser.EntryPorts(), entries);
        EXPECT_EQ(chooser.Selection(), selection);
        EXPECT_EQ(chooser.Notice(), notice);
        for (int port = 1; port <= 8; ++port)
            if (port != openPort) expectedProbes.push_back(port);
        EXPECT_EQ(probed, expectedProbes);
    }

    // A network port that could not be reached says why, its latest reason only.
    const auto unreachable = [](const char* why) {
        PortProbe probe(R::Unreachable);
        probe.detail = why;
        return probe;
    };
    ComPortChooser chooser(-1, [](int) { return PortProbe(R::Missing); });
    chooser.OpenFailed(5, unreachable("h:1: Connection refused"));
    chooser.OpenFailed(5, unreachable("h:1: no answer within 3 s"));
    EXPECT_EQ(chooser.Notice(), "COM5 could not be reached: h:1: no answer within 3 s.");
    chooser.OpenFailed(5, PortProbe(R::Busy));
    EXPECT_EQ(chooser.Notice(), "");
}

TEST(ComPortChooser, RememberedPortIsAWholeNumberFromOneToEight)
{
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {"8", 8}, {" 3\t", 3}, {"0", 0}, {"9", 0}, {"", 0}, {"+2", 0}, {"1.5", 0}, {"3 4", 0},
        {"4294967297", 0},
    };
    for (const auto& [setting, port] : cases) EXPECT_EQ(RememberedPort(setting), port) << '"' << setting << '"';
}

} // namespace
} // namespace tolvane
