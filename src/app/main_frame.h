// The main window: menu bar, dockable toolbar, status bar with its three
// indicator panes, and the message view as its client. It turns commands
// into requests, dispatches what the compass sends, and keeps the
// commands' enabling in step with the program's state.
#pragma once

#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

#include "app/frame_controller.h"
#include "dialogs/message_receiver.h"
#include "instruments/nav_console.h"
#include "logging/log_file.h"
#include "logging/log_message_effects.h"
#include "views/orientation_panel.h"

class QLabel;
class QSettings;

namespace tolvane {

class CaptureWriter;
class MessageView;
class SerialLink;

class CMainFrame : public QMainWindow, private FrameHost {
    Q_OBJECT

public:
    // Posted events, numbered as the window messages they stand for.
    static constexpr QEvent::Type WM_DEVICE_MESSAGE = static_cast<QEvent::Type>(QEvent::User + 0x1B);
    static constexpr QEvent::Type WM_START_LINK = static_cast<QEvent::Type>(QEvent::User + 0x48);
    static constexpr QEvent::Type WM_SHOW_INITIALIZATIONS = static_cast<QEvent::Type>(QEvent::User + 0x49);
    // Timer numbers, kept for their names in logs and tests.
    static constexpr int kReplyTimerId = 11;
    static constexpr int kReplyTimeoutMs = 2000;
    static constexpr int kHoldoffTimerId = 13;
    static constexpr int kHoldoffMs = 80;
    // How often a lost port is tried again.
    static constexpr int kLostPortRetryMs = 1000;

    CMainFrame(SerialLink& link, LogFile& log, QSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    MessageView* View() const { return view_; }
    OrientationPanel& Panel() { return *panel_; }
    NavConsole& Console() { return *navConsole_; }
    LogFile& Log() { return log_; }
    FrameController& Controller() { return controller_; }
    // The action of a command identifier (menu and toolbar twins differ).
    QAction* Action(int commandId) const;
    QLabel* Pane(int indicatorId) const;

    // Re-evaluates every action's enabling and check mark.
    void UpdateCommandStates();
    // Rebuilds the window title and the version pane from the identity.
    void UpdateIdentityDisplay();
    void SetComPane(const QString& text);
    // The port whose device went away and is being watched for, or -1.
    int LostPort() const { return lostPort_; }
    // Runs a command as the menu or toolbar would.
    void RunCommand(int commandId);
    // What Capture Raw Stream does once it has a file name. False, with a
    // message shown, when the file cannot be created or no port is open.
    bool StartCapture(const QString& path);
    void StopCapture();
    bool Capturing() const { return capture_ != nullptr; }

    // Dialogs that take messages while open register here.
    MessageReceiver* initializationsDialog = nullptr;
    MessageReceiver* startUpDefaultsDialog = nullptr;
    MessageReceiver* compensationDialog = nullptr;
    MessageReceiver* wmmDialog = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // FrameHost
    int PortNumber() const override;
    int ReopenPort(int port, int baud) override;
    void Send(const OutgoingRequest& request) override;
    void StartReplyTimer() override;
    void StopReplyTimer() override;
    void StartHoldoffTimer() override;
    void AddToView(const DeviceMessage& message) override;
    void IdentityChanged() override;
    void CommandStateChanged() override;
    bool AskRetry(const std::string& requestName) override;
    void ShowIncompatible() override;
    void ShowReopenFailed() override;
    void PostShowInitializations() override;
    void HandToDialogs(const DeviceMessage& message) override;
    void LogOrientation(std::int16_t roll, std::int16_t pitch, std::uint16_t azimuth) override;
    void ShowOrientation(const Orientation& orientation) override;
    void RecreatePanel() override;
    void ClearPanel() override;

    void BuildMenus();
    void BuildToolbar();
    void BuildStatusBar();
    void StartLink();
    void PortLost();
    void RetryLostPort();
    void ComPortCommand();
    void FontCommand();
    void StatusViewCommand();
    void NavConsoleCommand();
    void ShowInitializations();
    void StartupDefaultsCommand();
    void CompensateStartCommand();
    void MagDeclCommand();
    void CaptureCommand();

    SerialLink& link_;
    LogFile& log_;
    QSettings& settings_;
    FrameController controller_;
    MessageView* view_ = nullptr;
    std::unique_ptr<LogMessageEffects> effects_;
    std::unique_ptr<OrientationPanel> panel_;
    std::unique_ptr<NavConsole> navConsole_;
    QFont displayFont_;
    QTimer replyTimer_;
    QTimer holdoffTimer_;
    QTimer lostPortTimer_;
    int lostPort_ = -1;
    bool inComPortDialog_ = false;
    std::map<int, QAction*> actions_;
    std::map<int, QLabel*> panes_;
    std::unique_ptr<CaptureWriter> capture_;
};

} // namespace tolvane
