// Command, control and resource identifiers. They are part of the
// program's interface (tests and later features find things by them), so
// the numbers never change.
#pragma once

namespace tolvane {

enum CommandId : int {
    kCmdComPort = 32771,
    kCmdNavConsole = 32772,
    kCmdMagDeclWmm = 32774,
    kCmdToggleNmea = 32775,
    kCmdComPortToolbar = 32783,
    kCmdFont = 32785,
    kCmdNavConsoleToolbar = 32812,
    kCmdLogOpen = 32817,
    kCmdLogClose = 32818,
    kCmdStatusView = 32826,
    kCmdStatusViewToolbar = 32828,
    kCmdLogOpenToolbar = 32829,
    kCmdLogBump = 32830,
    kCmdLogBumpToolbar = 32834,
    kCmdInitialize = 32835,
    kCmdSerialNo = 32836,
    kCmdResetModule = 32838,
    kCmdInitializeToolbar = 32841,
    kCmdBaud4800 = 32849,
    kCmdBaud9600 = 32850,
    kCmdBaud19200 = 32851,
    kCmdBaud38400 = 32852,
    kCmdSelfTest = 32862,
    kCmdStartupDefaults = 32863,
    kCmdCompensateRevert = 32870,
    kCmdCompensateStart = 32883,
    kCmdCompensateAbort = 32884,
    kCmdCompensateStatus = 32885,
    kCmdCaptureRawStream = 32886,
    // Added commands, numbered after the program's own.
    kCmdSerialDevices = 32900,
    kCmdBaudDetect = 32901,
    kCmdOrientationPlot = 32902,
    kCmdOrientationPlotToolbar = 32903,
    // Reading back the message view.
    kCmdMessagesPause = 32904,
    kCmdMessagesCopy = 32905,
    kCmdMessagesFind = 32906,
    kCmdMessagesFindNext = 32907,
    kCmdMessagesFindPrevious = 32908,
    kCmdMessagesFilter = 32909,
    kCmdMessagesClear = 32910,
    // Playing a recording back.
    kCmdOpenCapture = 32911,
    kCmdOpenCaptureToolbar = 32912,
    kCmdCloseReplay = 32913,
    kCmdAbout = 57664,
    kCmdExit = 57665,
    kCmdToolbar = 59392,
    kCmdStatusBar = 59393,
};

// Status bar indicator panes.
enum IndicatorId : int {
    kPaneVersion = 59142,
    kPaneComPort = 59143,
    kPaneLogging = 59144,
    kPaneLinkHealth = 59150, // added after the program's own panes
    kPaneCapture = 59151,    // the capture's file while one runs, hidden otherwise
    kPaneReadBack = 59152,   // the message view's "Paused" or "Filtered", hidden otherwise
};

// Identifier of the message view, the frame's client pane.
inline constexpr int kMessageViewId = 59648;

} // namespace tolvane
