#include "app/command_states.h"

#include <algorithm>
#include <iterator>

#include "resources/command_ids.h"

namespace tolvane {
namespace {

using Test = bool (*)(const FrameState&);

struct Rule {
    int ids[8]; // the commands of the row; unused places are 0
    Test enabled;
    Test checked; // null: no check mark
};

bool Always(const FrameState&) { return true; }
// Commands that send to the module: never to a recording.
bool PortOpen(const FrameState& s) { return s.portOpen && !s.replaying; }
bool Live(const FrameState& s) { return !s.replaying; }

// An open panel or console can always be hidden or closed.
const Rule kRules[] = {
    {{kCmdLogClose, kCmdLogBump, kCmdLogBumpToolbar}, [](const FrameState& s) { return s.logging; }, nullptr},
    {{kCmdNavConsole, kCmdNavConsoleToolbar}, [](const FrameState& s) { return s.navConsoleOpen || s.portOpen; },
     [](const FrameState& s) { return s.navConsoleOpen; }},
    // The plot keeps what it recorded: it opens with or without a port.
    {{kCmdOrientationPlot, kCmdOrientationPlotToolbar}, Always,
     [](const FrameState& s) { return s.orientationPlotOpen; }},
    {{kCmdStatusView, kCmdStatusViewToolbar}, [](const FrameState& s) { return s.panelShown || s.portOpen; },
     [](const FrameState& s) { return s.panelShown; }},
    {{kCmdBaud4800}, Live, [](const FrameState& s) { return s.baudRate == 4800; }},
    {{kCmdBaud9600}, Live, [](const FrameState& s) { return s.baudRate == 9600; }},
    {{kCmdBaud19200}, Live, [](const FrameState& s) { return s.baudRate == 19200; }},
    {{kCmdBaud38400}, Live, [](const FrameState& s) { return s.baudRate == 38400; }},
    {{kCmdSerialNo}, PortOpen, [](const FrameState& s) { return s.versionKnown; }},
    {{kCmdInitialize, kCmdInitializeToolbar, kCmdResetModule, kCmdStartupDefaults, kCmdCompensateStatus,
      kCmdCompensateStart, kCmdCompensateAbort, kCmdCompensateRevert},
     PortOpen, nullptr},
    {{kCmdBaudDetect},
     PortOpen, nullptr},
    {{kCmdSelfTest, kCmdMagDeclWmm, kCmdComPort, kCmdComPortToolbar}, Live, nullptr},
    {{kCmdCloseReplay}, [](const FrameState& s) { return s.replaying; }, nullptr},
    {{kCmdToggleNmea}, Always, [](const FrameState& s) { return s.showNmea; }},
    // A capture ends with the port, but can always be stopped.
    {{kCmdCaptureRawStream}, [](const FrameState& s) { return PortOpen(s) || s.capturing; },
     [](const FrameState& s) { return s.capturing; }},
    {{kCmdMessagesPause}, Always, [](const FrameState& s) { return s.viewPaused; }},
    {{kCmdMessagesFilter}, Always, [](const FrameState& s) { return s.viewFiltered; }},
    {{kCmdMessagesFindNext, kCmdMessagesFindPrevious}, [](const FrameState& s) { return s.findText; }, nullptr},
    {{kCmdToolbar}, Always, [](const FrameState& s) { return s.toolbarShown; }},
    {{kCmdStatusBar}, Always, [](const FrameState& s) { return s.statusBarShown; }},
};

} // namespace

CommandState StateOfCommand(int id, const FrameState& state)
{
    for (const Rule& rule : kRules) {
        if (id == 0 || std::find(std::begin(rule.ids), std::end(rule.ids), id) == std::end(rule.ids)) continue;
        return {rule.enabled(state), rule.checked != nullptr, rule.checked != nullptr && rule.checked(state)};
    }
    return {};
}

int BaudRateOf(int commandId)
{
    switch (commandId) {
    case kCmdBaud4800: return 4800;
    case kCmdBaud9600: return 9600;
    case kCmdBaud19200: return 19200;
    case kCmdBaud38400: return 38400;
    default: return 0;
    }
}

} // namespace tolvane
