// The main window: menu bar, dockable toolbar, status bar with its three
// indicator panes, and the message view as its client. It wires the link,
// the timers, the displays and the dialogs to the frame's logic
// (FrameController), which decides what every message and command does.
#pragma once

#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

#include "app/frame_controller.h"
#include "app/link_health.h"
#include "app/lost_port_watch.h"
#include "app/raw_stream_capture.h"
#include "instruments/nav_console.h"
#include "instruments/orientation_plot.h"
#include "logging/log_file.h"
#include "views/orientation_panel.h"

class QLabel;
class QSettings;

namespace tolvane {

class DeviceLink;
class MessageFindDialog;
class MessageView;

class CMainFrame : public QMainWindow, private FrameHost {
    Q_OBJECT

public:
    // Posted events, numbered as the window messages they stand for.
    static constexpr QEvent::Type WM_DEVICE_MESSAGE = static_cast<QEvent::Type>(QEvent::User + 0x1B);
    static constexpr QEvent::Type WM_START_LINK = static_cast<QEvent::Type>(QEvent::User + 0x48);
    static constexpr QEvent::Type WM_SHOW_INITIALIZATIONS = static_cast<QEvent::Type>(QEvent::User + 0x49);
    // How long a reply is awaited, and how long orientation is held off.
    static constexpr int kReplyTimeoutMs = 2000;
    static constexpr int kHoldoffMs = 80;

    CMainFrame(DeviceLink& link, LogFile& log, QSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    MessageView* View() const { return view_; }
    OrientationPanel& Panel() { return *panel_; }
    NavConsole& Console() { return *navConsole_; }
    OrientationPlot& Plot() { return *plot_; }
    FrameController& Controller() { return controller_; }
    // The action of a command identifier (menu and toolbar twins differ).
    QAction* Action(int commandId) const;
    QLabel* Pane(int indicatorId) const;

    // Re-evaluates every action's enabling and check mark, and what the
    // displays show of the port's state.
    void UpdateCommandStates();
    // Rebuilds the window title and the version pane from the identity.
    void UpdateIdentityDisplay();
    // The port whose device went away and is being watched for, or -1.
    int LostPort() const { return lostPortWatch_.LostPort(); }
    // Runs a command as the menu or toolbar would.
    void RunCommand(int commandId);
    // What Capture Raw Stream does once it has a file name. False, with a
    // message shown, when the file cannot be created or no port is open.
    bool StartCapture(const QString& path);
    void StopCapture();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // FrameHost
    void StartReplyTimer() override { replyTimer_.start(); }
    void StopReplyTimer() override { replyTimer_.stop(); }
    void StartHoldoffTimer() override { holdoffTimer_.start(); }
    void ShowLine(const StatusLine& line) override;
    void ShowOrientation(const Orientation& orientation) override;
    void RecordOrientation(const Orientation& orientation, std::int64_t timestampMs) override;
    void RecreatePanel() override;
    void ClearPanel() override { panel_->Clear(); }
    void IdentityChanged() override { UpdateIdentityDisplay(); }
    void CommandStateChanged() override { UpdateCommandStates(); }
    bool AskRetry(const std::string& requestName) override;
    void ShowIncompatible() override;
    void ShowReopenFailed() override;
    void PostShowInitializations() override;

    void SetPane(int indicatorId, const std::string& text);
    void StartLink();
    void PortLost();
    void RetryLostPort();
    // The COM pane's text from the port's state; also as a line of the view
    // when the state changed by itself (the device went away or came back).
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
    // replies through the receiver registry.
    template <typename Dialog>
    void RunReceivingDialog();
    void CaptureCommand();
    void SerialDevicesCommand();
    void DetectBaudCommand();
    // Reading back the message view.
    void FindCommand();
    void FindInView(bool forward);
    void FilterCommand();
    // Once a second: the health pane, and a capture whose file failed.
    void CheckLinkHealth();

    DeviceLink& link_;
    LogFile& log_;
    QSettings& settings_;
    FrameController controller_;
    LostPortWatch lostPortWatch_;
    MessageView* view_ = nullptr;
    std::unique_ptr<OrientationPanel> panel_;
    std::unique_ptr<NavConsole> navConsole_;
    std::unique_ptr<OrientationPlot> plot_;
    QFont displayFont_;
    QTimer replyTimer_;
    QTimer holdoffTimer_;
    QTimer lostPortTimer_;
    QTimer healthTimer_;
    LinkHealth health_;
    QString healthVeil_; // what the plot is veiled under while the open link is silent or garbled
    std::map<int, QAction*> actions_;
    std::map<int, QLabel*> panes_;
    RawStreamCapture capture_;
    MessageFindDialog* findDialog_ = nullptr; // made at the first Find, owned by the frame
};

} // namespace tolvane
