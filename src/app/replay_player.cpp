#include "app/replay_player.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QKeyEvent>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <limits>
#include <optional>
#include <thread>

#include "app/main_frame.h"
#include "link/clock.h"
#include "protocol/messages.h"
#include "resources/command_ids.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

struct ReplayEventPost : QEvent {
    ReplayEventPost(std::uint64_t g, ReplayEvent e)
        : QEvent(ReplayPlayer::WM_REPLAY_EVENT), generation(g), event(std::move(e))
    {
    }
    std::uint64_t generation;
    ReplayEvent event;
};

int SliderMs(std::int64_t ms)
{
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

} // namespace

ReplayPlayer::ReplayPlayer(CMainFrame& frame) : QObject(&frame), frame_(frame)
{
    bar_ = new QToolBar("Replay", &frame);
    bar_->setObjectName("Replay");
    play_ = new QToolButton(bar_);
    play_->setObjectName("Play");
    connect(play_, &QToolButton::clicked, this, &ReplayPlayer::TogglePlay);
    speed_ = new QComboBox(bar_);
    speed_->setAccessibleName("Speed");
    for (const ReplaySpeed& s : kReplaySpeeds) speed_->addItem(s.name);
    connect(speed_, &QComboBox::currentIndexChanged, this, &ReplayPlayer::SetSpeedIndex);
    position_ = new QSlider(Qt::Horizontal, bar_);
    position_->setAccessibleName("Position");
    position_->setMinimumWidth(240);
    position_->setPageStep(10000);
    position_->setSingleStep(1000);
    // Keys and screen readers seek at once; a drag seeks where it is let go.
    connect(position_, &QSlider::valueChanged, this, [this](int ms) {
        if (!showing_ && !position_->isSliderDown()) SeekTo(ms);
    });
    connect(position_, &QSlider::sliderReleased, this, [this] { SeekTo(position_->value()); });
    time_ = new QLabel(bar_);
    time_->setObjectName("Time");
    indexing_ = new QProgressBar(bar_);
    indexing_->setAccessibleName("Indexing");
    indexing_->setFormat("Indexing %p%");
    indexing_->setMaximumWidth(140);
    for (QWidget* w : std::initializer_list<QWidget*>{play_, speed_, position_, time_}) bar_->addWidget(w);
    // A toolbar shows and hides its widgets through their actions.
    indexingShown_ = bar_->addWidget(indexing_);
    bar_->addAction(frame.Action(kCmdCloseReplay));
    frame.addToolBarBreak();
    frame.addToolBar(bar_);
    bar_->hide();

    // Space reaches the view while it has the focus.
    frame.View()->installEventFilter(this);
    show_ = new QTimer(this);
    show_->setInterval(kShowMs);
    connect(show_, &QTimer::timeout, this, &ReplayPlayer::Show);
}

ReplayPlayer::~ReplayPlayer() = default;

bool ReplayPlayer::StartPending()
{
    const std::string path = std::exchange(pending_, {});
    if (path.empty()) return false;
    std::string error;
    if (Open(path, &error)) return true;
    // The program starts as usual; the reason is told once it has.
    QTimer::singleShot(0, this, [this, error] { Tell(error); });
    return false;
}

bool ReplayPlayer::Open(const std::string& path, std::string* error)
{
    std::string why;
    std::unique_ptr<ReplayRecording> recording = ReplayRecording::Open(path, why, NowMs);
    if (!recording) {
        if (error) *error = why;
        else Tell(why);
        return false;
    }
    // The one playing until now is let go once the session has closed its channel.
    std::swap(recording_, recording);
    ++generation_;
    frame_.Plot().Clear();
    showing_ = true;
    speed_->setCurrentIndex(0);
    showing_ = false;
    frame_.Session().SetNotify([this] {
        if (!messagesPosted_.exchange(true)) QCoreApplication::postEvent(this, new QEvent(WM_REPLAY_MESSAGES));
    });
    frame_.Session().StartReplay(recording_->ChannelAt(0, EventsOf()), [this] { return ClockMs(); });
    recording.reset();
    bar_->show();
    show_->start();
    Show();
    frame_.UpdateCommandStates();
    return true;
}

void ReplayPlayer::Tell(const std::string& error)
{
    QMessageBox(QMessageBox::Warning, "Open Capture", QString::fromStdString(error), QMessageBox::Ok, &frame_).exec();
}

void ReplayPlayer::Close()
{
    if (!recording_) return;
    const std::unique_ptr<ReplayRecording> closing = std::move(recording_);
    ++generation_;
    show_->stop();
    bar_->hide();
    frame_.Session().EndReplay();
    // As the frame has it: one event per message from a port.
    frame_.Session().SetNotify(
        [f = &frame_] { QCoreApplication::postEvent(f, new QEvent(CMainFrame::WM_DEVICE_MESSAGE)); });
    frame_.Plot().Clear();
    frame_.UpdateCommandStates();
    QCoreApplication::postEvent(&frame_, new QEvent(CMainFrame::WM_START_LINK));
}

std::string ReplayPlayer::PaneText() const
{
    return " Replay " + QFileInfo(QString::fromStdString(recording_->Path())).fileName().toStdString() + " ";
}

std::int64_t ReplayPlayer::ClockMs() const
{
    return recording_ ? recording_->BaseMs() + recording_->PositionMs() : NowMs();
}

void ReplayPlayer::TogglePlay()
{
    if (!recording_) return;
    // Play at the end plays the recording again from its start.
    if (recording_->Ended() && recording_->Paused()) SeekTo(0);
    recording_->SetPaused(!recording_->Paused());
    Show();
}

void ReplayPlayer::SetSpeedIndex(int index)
{
    if (recording_ && !showing_ && index >= 0 && index < static_cast<int>(std::size(kReplaySpeeds)))
        recording_->SetSpeed(kReplaySpeeds[index].speed);
}

void ReplayPlayer::SeekTo(std::int64_t ms)
{
    if (!recording_) return;
    ms = std::max<std::int64_t>(ms, 0);
    ++generation_;
    frame_.Session().ReplayFrom(recording_->ChannelAt(ms, EventsOf()));
    Prefill(ms);
    Show();
}

void ReplayPlayer::Prefill(std::int64_t ms)
{
    OrientationPlot& plot = frame_.Plot();
    plot.Clear();
    std::optional<Orientation> last;
    recording_->Decode(ms - plot.SpanMs(), ms, [&](const DeviceMessage& message) {
        if (!IsType(message, MessageType::Orientation)) return;
        last = Decode<Orientation>(message);
        const OrientationDegrees d(*last);
        plot.Append(static_cast<std::int32_t>(message.timestamp), d.azimuth, d.pitch, d.roll);
    });
    if (!last) return;
    const OrientationDegrees d(*last);
    frame_.Console().Update(static_cast<float>(d.azimuth), static_cast<float>(d.roll), static_cast<float>(d.pitch));
    frame_.Panel().Update(*last);
}

ReplayRecording::Events ReplayPlayer::EventsOf()
{
    // On the reader's thread: posted, so that it comes after the messages queued before it.
    return [this, g = generation_](const ReplayEvent& e) {
        QCoreApplication::postEvent(this, new ReplayEventPost(g, e));
    };
}

bool ReplayPlayer::RunCommand(int commandId)
{
    if (commandId == kCmdCloseReplay) Close();
    if (commandId != kCmdOpenCapture) return commandId == kCmdCloseReplay;
    const QString path = QFileDialog::getOpenFileName(&frame_, "Open Capture", folder_,
                                                      "Captures (*.tcap);;All files (*)");
    if (path.isEmpty()) return true;
    folder_ = QFileInfo(path).absolutePath();
    Open(path.toStdString());
    return true;
}

bool ReplayPlayer::Dispatch(std::int64_t ms)
{
    messagesPosted_.store(false);
    // As fast as possible the view is drawn once per batch, not scrolled once per line.
    MessageView& view = *frame_.View();
    const bool held = recording_ && recording_->Speed() == 0 && view.updatesEnabled();
    if (held) view.setUpdatesEnabled(false);
    const std::int64_t until = NowMs() + ms;
    bool more = true;
    for (int i = 1; recording_; ++i) {
        more = frame_.Session().OnLinkNotified();
        // A reader a little behind is waited for, so that a batch is not a message or two and a repaint.
        if (!more && (!held || recording_->Ended() || NowMs() >= until)) break;
        if (!more) std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (i % 64 == 0 && NowMs() >= until) break;
    }
    if (held) view.setUpdatesEnabled(true);
    return more && recording_;
}

bool ReplayPlayer::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(e)->key() != Qt::Key_Space || !Active())
        return QObject::eventFilter(watched, e);
    TogglePlay();
    return true;
}

bool ReplayPlayer::event(QEvent* e)
{
    if (e->type() == WM_REPLAY_MESSAGES) {
        if (Dispatch(kBatchMs) && !messagesPosted_.exchange(true))
            QCoreApplication::postEvent(this, new QEvent(WM_REPLAY_MESSAGES));
        return true;
    }
    if (e->type() != WM_REPLAY_EVENT) return QObject::event(e);
    const auto* post = static_cast<ReplayEventPost*>(e);
    if (post->generation != generation_ || !recording_) return true;
    // What was queued before the event comes before its line.
    while (Dispatch(kBatchMs)) {
    }
    MessageView& view = *frame_.View();
    if (post->event.kind == ReplayEvent::Kind::Gap) {
        view.AddStatusLine((" " + std::to_string(post->event.lost) + " bytes not captured ").c_str());
        return true;
    }
    if (!post->event.error.empty()) view.AddStatusLine((" " + post->event.error + " ").c_str());
    view.AddStatusLine(" Replay ended ");
    Show();
    return true;
}

void ReplayPlayer::Show()
{
    if (!recording_) return;
    const std::int64_t length = recording_->LengthMs();
    const std::int64_t at = std::min(recording_->PositionMs(), length);
    showing_ = true;
    position_->setRange(0, SliderMs(length));
    if (!position_->isSliderDown()) position_->setValue(SliderMs(at));
    speed_->setCurrentIndex(static_cast<int>(std::find_if(std::begin(kReplaySpeeds), std::end(kReplaySpeeds),
                                                          [&](const ReplaySpeed& s) {
                                                              return s.speed == recording_->Speed();
                                                          }) -
                                             std::begin(kReplaySpeeds)));
    showing_ = false;
    time_->setText(QString::fromStdString(FormatReplayTime(at) + " / " + FormatReplayTime(length)));
    const std::uint64_t malformed = recording_->Malformed();
    time_->setToolTip(malformed == 0 ? QString() : QString("%1 malformed lines skipped").arg(malformed));
    const QString state = recording_->Paused() ? "Play" : "Pause";
    play_->setText(state);
    play_->setAccessibleName(state);
    indexingShown_->setVisible(!recording_->Indexed());
    indexing_->setValue(static_cast<int>(recording_->IndexedFraction() * 100));
}

} // namespace tolvane
