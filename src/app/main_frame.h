// The main window: menu bar, dockable toolbar, status bar with its three
// indicator panes, and the message view as its client. It makes the
// compass session and wires it, its timers, the displays and the dialogs
// together; the session decides what every message and port event does.
#pragma once

#include <QEvent>
#include <QMainWindow>

#include <map>
#include <memory>
#include <string>

#include "app/qt_session_timers.h"
#include "instruments/nav_console.h"
#include "instruments/orientation_plot.h"
#include "logging/log_file.h"
#include "session/compass_session.h"
#include "views/orientation_panel.h"

class QLabel;
class QSettings;

namespace tolvane {

class DeviceLink;
class MessageReadBack;
class MessageView;
class ReplayPlayer;

class CMainFrame : public QMainWindow, private SessionHost {
    Q_OBJECT

public:
    // Posted events, numbered as the window messages they stand for.
    static constexpr QEvent::Type WM_DEVICE_MESSAGE = static_cast<QEvent::Type>(QEvent::User + 0x1B);
    static constexpr QEvent::Type WM_START_LINK = static_cast<QEvent::Type>(QEvent::User + 0x48);
    static constexpr QEvent::Type WM_SHOW_INITIALIZATIONS = static_cast<QEvent::Type>(QEvent::User + 0x49);

    CMainFrame(DeviceLink& link, LogFile& log, QSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    MessageView* View() const { return view_; }
    OrientationPanel& Panel() { return *panel_; }
    NavConsole& Console() { return *navConsole_; }
    OrientationPlot& Plot() { return *plot_; }
    CompassSession& Session() { return session_; }
    ReplayPlayer& Replay() { return *replay_; }
    // The action of a command identifier (menu and toolbar twins differ).
    QAction* Action(int commandId) const;
    QLabel* Pane(int indicatorId) const;

    // Re-evaluates every action's enabling and check mark, and what the
    // displays show of the port's state.
    void UpdateCommandStates();
    // Rebuilds the window title and the version pane from the identity.
    void UpdateIdentityDisplay();
    // Runs a command as the menu or toolbar would.
    void RunCommand(int commandId);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // SessionHost
    void ShowLine(const StatusLine& line) override;
    void Note(const std::string& line) override;
    void ShowOrientation(const Orientation& orientation, const OrientationDegrees& degrees) override;
    void RecordOrientation(const OrientationDegrees& degrees, LinkTimeMs timestampMs) override;
    void RecreatePanel() override;
    void ClearPanel() override { panel_->Clear(); }
    void IdentityChanged() override { UpdateIdentityDisplay(); }
    void CommandStateChanged() override { UpdateCommandStates(); }
    void PostShowInitializations() override;
    bool AskRetry(const Notice& question) override;
    void Tell(const Notice& notice) override;
    void PortChanged(PortState state, PortNews news) override;
    void HealthChecked(const HealthReport& report) override;

    void SetPane(int indicatorId, const std::string& text);
    void StartLink();
    // The COM pane's text from the port's state; also as a line of the view.
    void SetComPane(bool alsoInTheView = false);
    // Runs the COM port dialog; `failedPort` has just failed to open, for
    // the reason `failedWhy`.
    void ComPortCommand(int failedPort = -1, PortProbe failedWhy = {});
    void FontCommand();
    // The Nav Console and the Orientation Plot: opened, or closed when open.
    template <typename Child>
    void ToggleChildWindow(Child& child);
    void ShowInitializations();
    // Runs a dialog that sends without reply supervision and waits for
    // replies through the session's receiver registry.
    template <typename Dialog>
    void RunReceivingDialog();
    // Log File > Open or Bump, with the serial number the file name takes.
    void LogCommand(void (*run)(LogFile&, QWidget*, bool, std::uint32_t));
    void CaptureCommand();
    void SerialDevicesCommand();

    LogFile& log_;
    QSettings& settings_;
    QtSessionTimers timers_;
    // After the timers it runs on. It keeps the dispatch's fields
    // (pendingRequest, requestName, versionKnown, ModuleIdentity, baudRate,
    // InitialValues, initializeActive, replyTimerRunning, orientationHoldoff)
    // and runs timers 11 and 13.
    CompassSession session_;
    MessageView* view_ = nullptr;
    MessageReadBack* readBack_ = nullptr;
    ReplayPlayer* replay_ = nullptr; // after the bars, whose Close Replay it shows
    std::unique_ptr<OrientationPanel> panel_;
    std::unique_ptr<NavConsole> navConsole_;
    std::unique_ptr<OrientationPlot> plot_;
    QFont displayFont_;
    std::map<int, QAction*> actions_;
    std::map<int, QLabel*> panes_;
};

} // namespace tolvane
