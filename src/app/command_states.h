// Which commands are enabled and which carry a check mark, as rules over
// the frame's state: one row per group of commands, plain C++ so that the
// rules are tested without a window.
#pragma once

namespace tolvane {

// What the rules read.
struct FrameState {
    bool portOpen = false;
    bool logging = false;
    bool panelShown = false;
    bool navConsoleOpen = false;
    bool orientationPlotOpen = false;
    bool versionKnown = false;
    bool showNmea = true;
    bool capturing = false;
    bool viewPaused = false;
    bool viewFiltered = false;
    bool findText = false; // a text to find was given
    bool toolbarShown = true;
    bool statusBarShown = true;
    int baudRate = 9600;
    bool replaying = false; // a recording plays in place of the port
};

struct CommandState {
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
};

// The state of command `id` (menu or toolbar identifier); a command no
// rule names is enabled and has no check mark.
CommandState StateOfCommand(int id, const FrameState& state);

// The rate of a Baud Rate command, 0 for any other command.
int BaudRateOf(int commandId);

} // namespace tolvane
