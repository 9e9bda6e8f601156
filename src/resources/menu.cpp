#include "resources/menu.h"

#include "resources/command_ids.h"

#include <iterator>

namespace tolvane {

const MenuEntry kMenu[] = {
    {0, "&File", 0, nullptr},
    {1, "&COM Port", kCmdComPort, nullptr},
    {1, "Serial &Devices...", kCmdSerialDevices, "Choose the serial device each COM port leads to"},
    {1, "&Log File", 0, nullptr},
    {2, "&Open", kCmdLogOpen, nullptr},
    {2, "&Close", kCmdLogClose, nullptr},
    {2, "&Bump", kCmdLogBump, nullptr},
    {1, "C&apture Raw Stream...", kCmdCaptureRawStream, nullptr},
    {1, "Open Ca&pture...", kCmdOpenCapture, "Play a capture or a raw byte file back in place of the port"},
    {1, "Close &Replay", kCmdCloseReplay, "End the replay and open the port again"},
    {1, nullptr, 0, nullptr},
    {1, "E&xit", kCmdExit, "Quit the application"},

    {0, "&View", 0, nullptr},
    {1, "&Toolbar", kCmdToolbar, "Show or hide the toolbar"},
    {1, "Status &Bar", kCmdStatusBar, "Show or hide the status bar"},
    {1, "Status &View", kCmdStatusView, nullptr},
    {1, "&Nav Console", kCmdNavConsole, "Graphic display of azimuth, pitch, and roll"},
    {1, "Orientation &Plot", kCmdOrientationPlot, "Heading, pitch and roll against time"},
    {1, nullptr, 0, nullptr},
    {1, "&Font", kCmdFont, nullptr},
    {1, "&Messages", 0, nullptr},
    {2, "&Pause", kCmdMessagesPause, "Hold the message view still to read back; messages are still logged"},
    {2, "&Copy", kCmdMessagesCopy, "Copy the selected lines, or the lines shown, to the clipboard"},
    {2, nullptr, 0, nullptr},
    {2, "&Find...", kCmdMessagesFind, "Search the last 10,000 lines"},
    {2, "Find &Next", kCmdMessagesFindNext, "Find the next line holding the text"},
    {2, "Find Pre&vious", kCmdMessagesFindPrevious, "Find the previous line holding the text"},
    {2, "F&ilter...", kCmdMessagesFilter, "Choose the message types shown"},
    {2, nullptr, 0, nullptr},
    {2, "C&lear", kCmdMessagesClear, "Empty the message view and its history"},

    {0, "&Compass", 0, nullptr},
    {1, "&Serial No", kCmdSerialNo, nullptr},
    {1, "&Initialize", kCmdInitialize, nullptr},
    {1, nullptr, 0, nullptr},
    {1, "&Reset Module", kCmdResetModule, nullptr},
    {1, "Self &Test", kCmdSelfTest, nullptr},
    {1, nullptr, 0, nullptr},
    {1, "Start-Up &Defaults", kCmdStartupDefaults, nullptr},
    {1, "&Mag Decl (WMM)", kCmdMagDeclWmm, nullptr},
    {1, nullptr, 0, nullptr},
    {1, "&Baud Rate", 0, nullptr},
    {2, "&4800", kCmdBaud4800, nullptr},
    {2, "&9600", kCmdBaud9600, nullptr},
    {2, "&19200", kCmdBaud19200, nullptr},
    {2, "&38400", kCmdBaud38400, nullptr},
    {2, nullptr, 0, nullptr},
    {2, "&Detect", kCmdBaudDetect, "Find the baud rate the compass is sending at"},

    {0, "C&ompensate", 0, nullptr},
    {1, "S&tatus", kCmdCompensateStatus, "Gets vehicle calibration status."},
    {1, nullptr, 0, nullptr},
    {1, "&Start", kCmdCompensateStart, "Start vehicle magnetic anomaly correction routine."},
    // The misspelling is the program's own text.
    {1, "&Abort", kCmdCompensateAbort, "Abort the vehicla magnetic compensation routine."},
    {1, "&Revert", kCmdCompensateRevert, "Restores factory calibration."},

    {0, "&Help", 0, nullptr},
    {1, "&About Tolvane...", kCmdAbout, "Display program information, version number and copyright"},
};
const std::size_t kMenuCount = std::size(kMenu);

const ToolbarButton kToolbarButtons[] = {
    {kCmdComPortToolbar, kCmdComPort},
    {0, 0},
    {kCmdInitializeToolbar, kCmdInitialize},
    {0, 0},
    {kCmdLogOpenToolbar, kCmdLogOpen},
    {kCmdLogBumpToolbar, kCmdLogBump},
    {kCmdOpenCaptureToolbar, kCmdOpenCapture},
    {0, 0},
    {kCmdNavConsoleToolbar, kCmdNavConsole},
    {kCmdOrientationPlotToolbar, kCmdOrientationPlot},
    {0, 0},
    {kCmdStatusViewToolbar, kCmdStatusView},
};
const std::size_t kToolbarButtonCount = std::size(kToolbarButtons);

int MenuTwinOf(int commandId)
{
    for (const ToolbarButton& b : kToolbarButtons)
        if (b.id != 0 && b.id == commandId) return b.menuTwin;
    return commandId;
}

const CommandShortcut kCommandShortcuts[] = {
    {kCmdMessagesPause, "Ctrl+Shift+P"}, {kCmdMessagesCopy, "Ctrl+C"},           {kCmdMessagesFind, "Ctrl+F"},
    {kCmdMessagesFindNext, "F3"},        {kCmdMessagesFindPrevious, "Shift+F3"}, {kCmdMessagesFilter, "Ctrl+Shift+F"},
    {kCmdMessagesClear, "Ctrl+L"},
};
const std::size_t kCommandShortcutCount = std::size(kCommandShortcuts);

const int kMessageViewCommands[] = {kCmdToggleNmea,       0, kCmdMessagesPause,        kCmdMessagesCopy,   0,
                                    kCmdMessagesFind, kCmdMessagesFindNext, kCmdMessagesFindPrevious, kCmdMessagesFilter,
                                    0,                kCmdMessagesClear};
const std::size_t kMessageViewCommandCount = std::size(kMessageViewCommands);

const IndicatorPane kIndicatorPanes[] = {
    {kPaneLogging, "Not logging", 165},
    {kPaneVersion, "No version information available", 250},
    {kPaneComPort, "No COM Port Open", 0},
    {kPaneLinkHealth, "", 0},
    {kPaneCapture, "", 0},
    {kPaneReadBack, "", 0},
};
const std::size_t kIndicatorPaneCount = std::size(kIndicatorPanes);

} // namespace tolvane
