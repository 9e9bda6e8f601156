// The player of a recording: File > Open Capture... and Close Replay, the
// "Replay" toolbar (Play/Pause, Speed, Position, the time, Close Replay)
// shown while a recording is open, and what a seek shows at once (the
// plot's span before the point, the last orientation). The recording and
// its pace are plain C++ (capture/replay_recording); the session plays it
// through the link as it would a port.
#pragma once

#include <QEvent>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "capture/replay_recording.h"

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QSlider;
class QToolBar;
class QToolButton;
class QTimer;

namespace tolvane {

class CMainFrame;

class ReplayPlayer : public QObject {
    Q_OBJECT

public:
    // What the reader's thread tells, posted in order with the messages.
    static constexpr QEvent::Type WM_REPLAY_EVENT = static_cast<QEvent::Type>(QEvent::User + 0x4A);
    // Messages queued: one event for as many as come before it is handled,
    // so that a recording played as fast as possible is not one event per message.
    static constexpr QEvent::Type WM_REPLAY_MESSAGES = static_cast<QEvent::Type>(QEvent::User + 0x4B);
    // Dispatching per event ends after this long, so that the window
    // stays responsive and is drawn a few dozen times a second at most.
    static constexpr std::int64_t kBatchMs = 20;
    // How often the position, the time and the indexing are shown.
    static constexpr int kShowMs = 100;

    explicit ReplayPlayer(CMainFrame& frame);
    ~ReplayPlayer() override;

    // The recording to open at start-up (--replay), in place of the port.
    void SetPending(std::string path) { pending_ = std::move(path); }
    // At start-up: true when the pending recording plays. One that cannot
    // be read is told once the program has started as usual.
    bool StartPending();

    // Opens `path` and plays it at 1x; false when it cannot be read, the
    // reason in `error` or, without it, told to the user. The live port
    // closes; the remembered port stays.
    bool Open(const std::string& path, std::string* error = nullptr);
    // Ends the replay and opens the remembered port as at start-up.
    void Close();
    bool Active() const { return recording_ != nullptr; }
    const ReplayRecording* Recording() const { return recording_.get(); }
    // The COM pane's text while replaying: " Replay session.tcap ".
    std::string PaneText() const;
    // The recording's time on the link's clock (the plot's now).
    std::int64_t ClockMs() const;

    // The player's controls as the user works them.
    void TogglePlay();
    void SetSpeedIndex(int index);
    // Plays on from `ms` (past the end: ends there), framing afresh.
    void SeekTo(std::int64_t ms);

    // Open Capture and Close Replay; false for any other command.
    bool RunCommand(int commandId);

    QToolBar* Bar() const { return bar_; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Show();
    void Tell(const std::string& error);
    // The plot's span before `ms` from the file, the last orientation on the panel.
    void Prefill(std::int64_t ms);
    ReplayRecording::Events EventsOf();
    // Dispatches queued messages for up to `ms`; true when some may remain.
    bool Dispatch(std::int64_t ms);

    CMainFrame& frame_;
    std::string pending_;
    QString folder_; // of the last recording opened
    std::unique_ptr<ReplayRecording> recording_;
    std::uint64_t generation_ = 0; // of the playing channel: events of an earlier one are stale
    QToolBar* bar_ = nullptr;
    QToolButton* play_ = nullptr;
    QComboBox* speed_ = nullptr;
    QSlider* position_ = nullptr;
    QLabel* time_ = nullptr;
    QProgressBar* indexing_ = nullptr;
    QAction* indexingShown_ = nullptr;
    QTimer* show_ = nullptr;
    bool showing_ = false; // the slider moved by the program, not the user
    std::atomic<bool> messagesPosted_{false};
};

} // namespace tolvane
