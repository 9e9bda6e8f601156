// The main window: menu bar, dockable toolbar, status bar with its three
// indicator panes, and the message view as its client. It turns commands
// into requests, dispatches what the compass sends, and keeps the
// commands' enabling in step with the program's state.
#pragma once

#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <map>
#include <string>

#include "app/frame_controller.h"

class QLabel;
class QSettings;

namespace tolvane {

class MessageView;
class SerialLink;

// An open dialog that waits for messages of some types.
class MessageReceiver {
public:
    virtual ~MessageReceiver() = default;
    virtual void OnMessage(const DeviceMessage& message) = 0;
};

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

    CMainFrame(SerialLink& link, QSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    MessageView* View() const { return view_; }
    FrameController& Controller() { return controller_; }
    // The action of a command identifier (menu and toolbar twins differ).
    QAction* Action(int commandId) const;
    QLabel* Pane(int indicatorId) const;

    // Re-evaluates every action's enabling and check mark.
    void UpdateCommandStates();
    // Rebuilds the window title and the version pane from the identity.
    void UpdateIdentityDisplay();
    void SetComPane(const QString& text);
    // Runs a command as the menu or toolbar would.
    void RunCommand(int commandId);

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

    void BuildMenus();
    void BuildToolbar();
    void BuildStatusBar();
    void StartLink();
    void ComPortCommand();
    void FontCommand();

    SerialLink& link_;
    QSettings& settings_;
    FrameController controller_;
    MessageView* view_ = nullptr;
    QFont displayFont_;
    QTimer replyTimer_;
    QTimer holdoffTimer_;
    std::map<int, QAction*> actions_;
    std::map<int, QLabel*> panes_;
};

} // namespace tolvane
