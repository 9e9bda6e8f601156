#include "app/frame_bars.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "app/command_states.h"
#include "resources/command_ids.h"
#include "resources/icons.h"
#include "resources/menu.h"

namespace tolvane {
namespace {

QAction* MakeAction(QMainWindow& frame, const QString& text, int id, int runs,
                    const std::function<void(int)>& run)
{
    auto* action = new QAction(text, &frame);
    action->setData(id);
    action->setObjectName(QString::number(id));
    action->setCheckable(StateOfCommand(id, FrameState{}).checkable);
    QObject::connect(action, &QAction::triggered, &frame, [run, runs] { run(runs); });
    return action;
}

void BuildMenus(QMainWindow& frame, FrameBars& bars, const std::function<void(int)>& run)
{
    QMenu* top = nullptr;
    QMenu* sub = nullptr;
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        const MenuEntry& e = kMenu[i];
        if (e.depth == 0) {
            top = frame.menuBar()->addMenu(e.text);
            sub = nullptr;
            continue;
        }
        QMenu* into = e.depth == 2 && sub ? sub : top;
        if (!into) continue;
        if (!e.text) {
            into->addSeparator();
        } else if (e.id == 0) {
            sub = top->addMenu(e.text);
        } else {
            QAction* action = MakeAction(frame, e.text, e.id, e.id, run);
            if (e.prompt) action->setStatusTip(e.prompt);
            into->addAction(action);
            bars.actions[e.id] = action;
        }
    }
    // No menu carries the NMEA switch; the message view's context menu does.
    bars.actions[kCmdToggleNmea] = MakeAction(frame, "Show &NMEA Sentences", kCmdToggleNmea, kCmdToggleNmea, run);
    for (std::size_t i = 0; i < kCommandShortcutCount; ++i) {
        QAction* action = bars.actions.at(kCommandShortcuts[i].id);
        action->setShortcut(QKeySequence(QString::fromLatin1(kCommandShortcuts[i].keys)));
        // Not only while a menu holding it is on show.
        frame.addAction(action);
    }
}

void BuildToolbar(QMainWindow& frame, FrameBars& bars, const std::function<void(int)>& run)
{
    auto* bar = frame.addToolBar("Toolbar");
    bar->setObjectName(QString::number(kCmdToolbar));
    bar->setIconSize(QSize(16, 15));
    bar->setMovable(true);
    bar->setAllowedAreas(Qt::AllToolBarAreas);
    for (std::size_t i = 0; i < kToolbarButtonCount; ++i) {
        const ToolbarButton& b = kToolbarButtons[i];
        if (b.id == 0) {
            bar->addSeparator();
            continue;
        }
        const QAction* twin = bars.actions.at(b.menuTwin);
        QAction* action = MakeAction(frame, twin->text().remove('&'), b.id, b.menuTwin, run);
        action->setIcon(QIcon(ToolbarPixmap(b.id)));
        bar->addAction(action);
        bars.actions[b.id] = action;
    }
    QObject::connect(bars.actions.at(kCmdToolbar), &QAction::toggled, bar, &QToolBar::setVisible);
}

void BuildStatusBar(QMainWindow& frame, FrameBars& bars)
{
    QStatusBar* bar = frame.statusBar();
    bar->setObjectName(QString::number(kCmdStatusBar));
    for (std::size_t i = 0; i < kIndicatorPaneCount; ++i) {
        const IndicatorPane& p = kIndicatorPanes[i];
        auto* label = new QLabel(p.text, bar);
        label->setTextFormat(Qt::PlainText); // a log named "<b>.dta" is not markup
        label->setObjectName(QString::number(p.id));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The widths are minimums: a wider display font still shows the whole text.
        if (p.width > 0) label->setMinimumWidth(p.width);
        // Panes that start empty show only while they have something to say.
        if (!*p.text && p.id != kPaneLinkHealth) label->hide();
        bar->addPermanentWidget(label);
        bars.panes[p.id] = label;
    }
    // The view's mark in the colour it had in the view.
    QLabel* mark = bars.panes.at(kPaneReadBack);
    QPalette marked = mark->palette();
    marked.setColor(QPalette::Window, QColor(255, 236, 150));
    mark->setPalette(marked);
    mark->setAutoFillBackground(true);
    bar->showMessage(kReadyPrompt);
    QObject::connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString& text) {
        if (text.isEmpty()) bar->showMessage(kReadyPrompt);
    });
    QObject::connect(bars.actions.at(kCmdStatusBar), &QAction::toggled, bar, &QStatusBar::setVisible);
}

} // namespace

FrameBars BuildFrameBars(QMainWindow& frame, const std::function<void(int)>& run,
                         const std::function<void()>& refresh)
{
    FrameBars bars;
    BuildMenus(frame, bars, run);
    BuildToolbar(frame, bars, run);
    BuildStatusBar(frame, bars);
    for (std::size_t i = 0; i < kMessageViewCommandCount; ++i) {
        const auto it = bars.actions.find(kMessageViewCommands[i]);
        QAction* action = it == bars.actions.end() ? nullptr : it->second;
        if (action == nullptr) {
            action = new QAction(&frame);
            action->setSeparator(true);
        }
        bars.viewContext << action;
    }
    for (QMenu* menu : frame.menuBar()->findChildren<QMenu*>())
        QObject::connect(menu, &QMenu::aboutToShow, &frame, refresh);
    if (auto* toolbar = frame.findChild<QToolBar*>())
        QObject::connect(toolbar, &QToolBar::visibilityChanged, &frame, refresh);
    return bars;
}

} // namespace tolvane
