// The commands' states as rules over the frame's flags, without a window.
#include "app/command_states.h"
#include "resources/command_ids.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolvane {
namespace {

// Enabled, checkable and checked in states that differ from the default in
// the one flag the command's rule reads; a command no rule names is enabled.
TEST(CommandStates, FollowTheFlagsTheirRulesRead)
{
    const struct {
        int id;
        FrameState state;
        bool enabled, checkable, checked;
    } rows[] = {
        {kCmdInitialize, {}, false, false, false},
        {kCmdCompensateRevert, {.portOpen = true}, true, false, false},
        {kCmdSerialNo, {.portOpen = true, .versionKnown = true}, true, true, true},
        {kCmdLogBumpToolbar, {.logging = true}, true, false, false},
        {kCmdNavConsoleToolbar, {.navConsoleOpen = true}, true, true, true},
        {kCmdOrientationPlotToolbar, {.orientationPlotOpen = true}, true, true, true},
        {kCmdStatusView, {.panelShown = true}, true, true, true},
        {kCmdStatusViewToolbar, {.portOpen = true}, true, true, false},
        {kCmdBaud9600, {}, true, true, true},
        {kCmdBaud19200, {.baudRate = 19200}, true, true, true},
        {kCmdBaud4800, {}, true, true, false},
        {kCmdToggleNmea, {.showNmea = false}, true, true, false},
        {kCmdCaptureRawStream, {.capturing = true}, true, true, true},
        {kCmdCaptureRawStream, {}, false, true, false},
        {kCmdMessagesPause, {.viewPaused = true}, true, true, true},
        {kCmdMessagesFilter, {}, true, true, false},
        {kCmdMessagesFindNext, {.findText = true}, true, false, false},
        {kCmdToolbar, {.toolbarShown = false}, true, true, false},
        {kCmdStatusBar, {}, true, true, true},
        {kCmdCompensateRevert, {.portOpen = true, .replaying = true}, false, false, false},
        {kCmdBaud9600, {.replaying = true}, false, true, true},
        {kCmdMagDeclWmm, {.replaying = true}, false, false, false},
        {kCmdCaptureRawStream, {.portOpen = true, .replaying = true}, false, true, false},
        {kCmdCloseReplay, {.replaying = true}, true, false, false},
        {kCmdCloseReplay, {}, false, false, false},
        {0, {}, true, false, false},
    };
    for (const auto& r : rows) {
        const CommandState got = StateOfCommand(r.id, r.state);
        EXPECT_EQ(std::vector<bool>({got.enabled, got.checkable, got.checked}),
                  std::vector<bool>({r.enabled, r.checkable, r.checked}))
            << "command " << r.id;
    }
    EXPECT_EQ(std::vector<int>({BaudRateOf(kCmdBaud4800), BaudRateOf(kCmdBaud9600), BaudRateOf(kCmdBaud19200),
                                BaudRateOf(kCmdBaud38400), BaudRateOf(kCmdSerialNo)}),
              std::vector<int>({4800, 9600, 19200, 38400, 0}));
}

} // namespace
} // namespace tolvane
