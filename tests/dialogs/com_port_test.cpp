// The Open COM Port dialog's rules apart from its widgets: what it lists,
// what each action does to the link, what it shows and remembers. What
// each case gives is in dialogs_com_port.txt, one line each.
#include "dialogs/com_port_chooser.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/golden.h"

namespace tolvane {
namespace {

using R = ProbeResult;
constexpr const char* kReason[] = {"free", "missing", "no permission", "busy", "not a terminal", "unreachable"};

// Line ends and tabs shown as \n and \t, to keep a case on one line.
std::string OneLine(std::string text)
{
    for (std::size_t at = 0; (at = text.find_first_of("\n\t", at)) != std::string::npos; at += 2)
        text.replace(at, 1, text[at] == '\n' ? "\\n" : "\\t");
    return text;
}

// Actions, one letter each: '0'..'9' selects that entry ('9' is out of
// range), 'o' Open, 'd' double-click, 'c' Close. COM3 and the open port
// are listed; the opens of the usable ports succeed.
std::string Acted(int openPort, const std::set<int>& usable, const std::string& actions)
{
    int linkPort = openPort;
    std::string calls;
    const auto open = [&](int port) {
        calls += " open " + std::to_string(port);
        return linkPort = usable.count(port) ? port : -1;
    };
    ComPortChooser chooser(openPort, [](int port) { return port == 3; });
    bool last = false;
    for (char a : actions) {
        last = false;
        if (a == 'o') last = chooser.Open(open);
        else if (a == 'd') last = chooser.DoubleClick(open);
        else if (a == 'c') chooser.Close([&] { calls += " close", linkPort = -1; });
        else chooser.Select(a - '0');
    }
    EXPECT_EQ(chooser.OpenPort(), linkPort) << actions;
    const ComPortStatus s = chooser.Status();
    std::string usableText;
    for (int port : usable) usableText += " " + std::to_string(port);
    return "open " + std::to_string(openPort) + ", usable" + usableText + ", '" + actions + "' ->" + calls +
           (last ? ", accepted, " : ", ") + s.statusLine + "|" + s.pane + "|" + std::to_string(s.comPortSetting) +
           "|" + (s.openEnabled ? "o" : "-") + (s.closeEnabled ? "c" : "-") + "\n";
}

// COM1 to COM8 are probed in order, all but the open one, which is listed
// without a probe; the notice names ports left out for permission or
// another program.
std::string Listed(int openPort, const std::map<int, PortProbe>& reasons)
{
    std::string s = "open " + std::to_string(openPort) + (reasons.empty() ? ", none" : ""), probed;
    for (const auto& [port, probe] : reasons)
        s += ", " + std::to_string(port) + " " + kReason[int(probe.reason)] +
             (probe.holderPid ? " (" + std::to_string(probe.holderPid) + ")" : "");
    const ComPortChooser chooser(openPort, [&](int port) {
        probed += std::to_string(port);
        const auto it = reasons.find(port);
        return it == reasons.end() ? PortProbe(R::Missing) : it->second;
    });
    s += " -> probed " + probed + ", entries";
    for (int port : chooser.EntryPorts()) s += " " + std::to_string(port);
    return s + ", selection " + std::to_string(chooser.Selection()) + ", notice: " + OneLine(chooser.Notice()) + "\n";
}

TEST(ComPortChooser, ActionsListsAndRememberedPorts)
{
    std::string made = "Actions: open port, usable ports, actions -> calls to the link, accepted by the last action,\n"
                       "status line|pane|COMPort setting|Open and Close enabled\n";
    const std::set<int> both{1, 3};
    // A new choice clears a failure; nothing selected or beyond the list opens nothing; nothing open: nothing
    // to close. Closing was decided before a reopen failed; a failed open of another port is not accepted.
    for (const auto& [openPort, usable, actions] : {
             std::tuple{1, both, ""}, {1, both, "1"}, {1, both, "1o"}, {-1, both, "0o"}, {1, both, "c0"},
             {-1, both, "0c"}, {1, {1}, "1o"}, {1, {1}, "1o0"}, {-1, both, "o"}, {1, both, "9"}, {1, both, "1d"},
             {1, both, "d"}, {1, {3}, "d"}, {1, {1}, "1d"}, {1, both, "cd"}})
        made += Acted(openPort, usable, actions);

    made += "Lists: open port, why ports are free or left out (the others are missing) -> ports probed, the\n"
            "entries, the selection, the notice\n";
    for (const auto& [openPort, reasons] : {
             std::pair<int, std::map<int, PortProbe>>{1, {{3, R::Free}}},
             {5, {{2, R::Free}, {7, R::Free}, {8, R::Free}}}, {8, {}}, {9, {}},
             {-1, {{0, R::Free}, {1, R::Free}, {8, R::Free}, {9, R::Free}}},
             {-1, {{2, R::Free}, {3, R::NotATerminal}}}, {-1, {{2, R::Free}, {3, R::NoPermission}}},
             {-1, {{3, R::NoPermission}, {5, R::NoPermission}}}, {-1, {{4, R::Busy}}}, {-1, {{4, {R::Busy, 1234}}}},
             {-1, {{1, R::Busy}, {4, R::Busy}, {6, R::NoPermission}}},
             {-1, {{1, {R::Busy, 77}}, {2, R::Busy}, {3, {R::Busy, 88}}}}})
        made += Listed(openPort, reasons);

    // A network port that could not be reached says why, its latest reason only.
    ComPortChooser chooser(-1, [](int) { return PortProbe(R::Missing); });
    for (const char* why : {"h:1: Connection refused", "h:1: no answer within 3 s", ""}) {
        PortProbe probe(*why ? R::Unreachable : R::Busy);
        probe.detail = why;
        chooser.OpenFailed(5, probe);
        made += "COM5 failed, " + std::string(kReason[int(probe.reason)]) + ", " + why + " -> " + chooser.Notice();
        made += "\n";
    }

    // The remembered port is a whole number from one to eight, else none (0).
    made += "Remembered: COMPort setting -> port\n";
    for (const char* setting : {"1", "8", " 3\t", "0", "9", "", "+2", "1.5", "3 4", "4294967297"})
        made += '"' + OneLine(setting) + "\" -> " + std::to_string(RememberedPort(setting)) + "\n";
    test::ExpectGolden("dialogs_com_port.txt", made);
}

} // namespace
} // namespace tolvane
