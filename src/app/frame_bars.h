// The main frame's menu bar, toolbar and status bar, built from the tables
// of resources/menu.h. Every action carries its command identifier (as its
// data and its object name) and asks `run` to run it; a toolbar button runs
// its menu twin's command.
#pragma once

#include <QList>

#include <functional>
#include <map>

class QAction;
class QLabel;
class QMainWindow;

namespace tolvane {

struct FrameBars {
    std::map<int, QAction*> actions; // by command identifier, toolbar buttons included
    std::map<int, QLabel*> panes;    // by indicator identifier
    // The message view's context menu: the NMEA switch, which has no menu
    // item, and the commands of reading back.
    QList<QAction*> viewContext;
};

// `refresh` runs whenever the check marks are about to be seen: a menu
// opening, the toolbar shown or hidden.
FrameBars BuildFrameBars(QMainWindow& frame, const std::function<void(int commandId)>& run,
                         const std::function<void()>& refresh);

} // namespace tolvane
