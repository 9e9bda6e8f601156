// The menu bar, the toolbar and the status bar as data: the frame builds
// its widgets from these tables.
#pragma once

#include <cstddef>

namespace tolvane {

// One row of the menu bar. Depth 0 opens a top-level menu; depth 1 is an
// item of it; a depth-1 row with id 0 and a text opens a submenu whose
// items follow at depth 2. A row with no text is a separator.
struct MenuEntry {
    int depth;
    const char* text; // with '&' before the accelerator letter; null for a separator
    int id;           // command identifier; 0 for a menu, submenu or separator
    const char* prompt; // status-bar prompt while highlighted; null for none
};

extern const MenuEntry kMenu[];
extern const std::size_t kMenuCount;

// Toolbar buttons in order, each with the menu command whose handler it
// runs and whose text names it; {0, 0} is a separator.
struct ToolbarButton {
    int id;
    int menuTwin;
};
extern const ToolbarButton kToolbarButtons[];
extern const std::size_t kToolbarButtonCount;
// The menu command a toolbar button runs; any other identifier itself.
int MenuTwinOf(int commandId);

// Keys of commands, in Qt's portable text ("Ctrl+F"); the menus show them.
struct CommandShortcut {
    int id;
    const char* keys;
};
extern const CommandShortcut kCommandShortcuts[];
extern const std::size_t kCommandShortcutCount;

// The message view's context menu, in order; 0 is a separator.
extern const int kMessageViewCommands[];
extern const std::size_t kMessageViewCommandCount;

// Status bar indicator panes after the message pane, in order, with their
// first texts and widths in pixels (0: as wide as the first text).
struct IndicatorPane {
    int id;
    const char* text;
    int width;
};
extern const IndicatorPane kIndicatorPanes[];
extern const std::size_t kIndicatorPaneCount;

// Texts of the message pane.
inline constexpr const char* kReadyPrompt = "Ready";
inline constexpr const char* kTitlePrefix = "Tolvane --- ";

// Reverse-DNS identifier of the desktop entry, icon and metainfo.
inline constexpr const char* kDesktopId = "com.kelvaro.Tolvane";

} // namespace tolvane
