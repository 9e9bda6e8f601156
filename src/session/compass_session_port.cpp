// The session's port: opening and closing it, the watch for a lost port
// and its tries, the baud rate search, the raw stream's capture and the
// link's health. Kept apart from compass_session.cpp, the dispatch.
#include <limits>
#include <utility>

#include "link/byte_channel.h"
#include "link/network_port.h"
#include "session/compass_session.h"

namespace tolvane {

PortState CompassSession::State() const
{
    const bool watched = LostPort() != -1;
    if (PortNumber() != -1) return watched ? PortState::Opening : PortState::Open;
    return watched ? PortState::Lost : PortState::Closed;
}

void CompassSession::AfterLinkChange(PortNews news)
{
    if (capture_.Active() && PortNumber() == -1) StopCapture();
    const PortState state = State();
    if (state == reported_ && news == PortNews::Quiet) return;
    reported_ = state;
    host_.PortChanged(state, news);
}

bool CompassSession::Open(int port, PortProbe* why)
{
    const bool opened = link_.Open(port, baudRate_, why) == port;
    AfterLinkChange();
    return opened;
}

bool CompassSession::OpenPath(const std::string& path, PortProbe* why)
{
    SetPortPath(kFirstPort, path);
    return Open(kFirstPort, why);
}

void CompassSession::Close()
{
    link_.Close();
    AfterLinkChange();
}

void CompassSession::End()
{
    StopWatching();
    watch_.End();
    if (detect_) EndDetect(true, true);
    StopCapture();
    link_.Close();
    log_.Close();
    AfterLinkChange();
}

void CompassSession::StartReplay(std::unique_ptr<ByteChannel> channel, std::function<std::int64_t()> clock)
{
    StopWatching();
    watch_.End();
    if (detect_) EndDetect(true, true);
    StopCapture();
    timers_.Cancel(replyTimer_);
    replyTimerRunning_ = false;
    pendingRequest_.type = kNoReplyAwaited;
    initializeActive_ = false;
    versionKnown_ = false;
    replaying_ = true;
    replayClock_ = std::move(clock);
    ReplayFrom(std::move(channel));
    host_.IdentityChanged();
    AfterLinkChange(PortNews::Shown);
}

void CompassSession::ReplayFrom(std::unique_ptr<ByteChannel> channel)
{
    // What was queued before the point sought is not dispatched after it.
    link_.Close();
    link_.DiscardInput();
    link_.OpenChannel(std::move(channel), kFirstPort);
    holdoffUntil_ = std::numeric_limits<LinkTimeMs>::min();
    healthRestart_ = true;
}

void CompassSession::EndReplay()
{
    if (!replaying_) return;
    link_.Close();
    replaying_ = false;
    replayClock_ = nullptr;
    versionKnown_ = false;
    linkHealth_.Closed();
    host_.IdentityChanged();
    AfterLinkChange(PortNews::Shown);
}

void CompassSession::PortChoiceStarted()
{
    if (PortNumber() != -1) watch_.End();
    watch_.SetPaused(true);
    AfterLinkChange();
}

int CompassSession::PortChoiceEnded()
{
    watch_.SetPaused(false);
    if (LostPort() == -1) return -1;
    // Nothing opened: still watching, as the pane and the setting say.
    if (PortNumber() == -1) return LostPort();
    // A port opened through the dialog replaces the one watched for.
    watch_.End();
    StopWatching();
    AfterLinkChange();
    return -1;
}

void CompassSession::PortLost()
{
    const int port = PortNumber();
    link_.Close();
    const std::int64_t now = timers_.Now();
    linkHealth_.Lost(now);
    // A port lost again within a second of its reopening was never shown as back: nothing to note.
    const bool news = watch_.PortLost(port, now, LooksLikeNetworkPort(Ports().Path(port)));
    WatchLostPort();
    AfterLinkChange(news ? PortNews::Noted : PortNews::Shown);
}

// The watch decides when a try is due; the timer only looks often.
void CompassSession::WatchLostPort()
{
    timers_.Cancel(watchTimer_);
    watchTimer_ = timers_.Every(kWatchLookMs, [this] {
        if (PortNumber() != -1) {
            // Reopened: shown as back once it has stayed up for a second.
            if (watch_.Recovered(timers_.Now())) AfterLinkChange(PortNews::Noted);
            if (LostPort() == -1) StopWatching();
            return;
        }
        if (LostPort() == -1) return StopWatching();
        const int port = watch_.PortToTry(timers_.Now());
        if (port == -1) return;
        // A try waiting on the network runs the timers: no second try inside it.
        StopWatching();
        const bool opened = link_.Open(port, baudRate_) == port;
        watch_.Tried(opened, timers_.Now());
        WatchLostPort();
        if (!opened) return;
        RequestIdentity();
        AfterLinkChange();
    });
}

void CompassSession::StopWatching()
{
    timers_.Cancel(watchTimer_);
    watchTimer_ = 0;
}

void CompassSession::StartDetect(std::function<void(const DetectProgress&)> observe)
{
    if (detect_ || replaying_) return;
    detect_.emplace(baudRate_);
    detectRun_ = {PortNumber(), baudRate_, 0, false, std::move(observe), 0};
    if (detectRun_.port == -1) return EndDetect(false);
    detectRun_.step = timers_.Every(kDetectStepMs, [this] { AdvanceDetect(); });
}

void CompassSession::AdvanceDetect()
{
    const BaudDetector& detector = *detect_;
    switch (detect_->Advance(link_.Counters().Valid(), timers_.Now())) {
    case BaudDetector::Step::Listen: return;
    case BaudDetector::Step::TryRate:
        if (detectRun_.observe)
            detectRun_.observe({detector.Rate(), detector.Tried(), static_cast<int>(detector.Rates().size()), false});
        if (link_.Open(detectRun_.port, detector.Rate()) != detectRun_.port) {
            detectRun_.reopenFailed = true;
            break;
        }
        link_.DiscardInput();
        RequestIdentity();
        return;
    case BaudDetector::Step::Found: detectRun_.found = detector.Rate(); break;
    case BaudDetector::Step::NoneAnswered: break;
    }
    EndDetect(false);
}

void CompassSession::CancelDetect()
{
    if (detect_) EndDetect(true);
}

void CompassSession::EndDetect(bool cancelled, bool quietly)
{
    DetectRun run = std::move(detectRun_);
    detectRun_ = {};
    timers_.Cancel(run.step);
    detect_.reset();
    if (run.observe) run.observe({0, 0, 0, true});
    if (quietly) return;
    if (run.port != -1 && run.found == 0 && !run.reopenFailed && link_.Open(run.port, run.baud) != run.port)
        run.reopenFailed = true;
    if (run.found != 0) AdoptBaudRate(run.found);
    else if (run.reopenFailed) host_.Tell(kReopenFailed);
    else if (!cancelled) host_.Tell({Notice::Kind::Warning, "Detect Baud Rate", kNoCompassAnswered});
    AfterLinkChange(PortNews::Shown);
}

bool CompassSession::StartCapture(const std::string& path)
{
    std::string error;
    const bool started = capture_.Start(path, baudRate_, timers_.Now(), error);
    if (!started && !error.empty()) host_.Tell({Notice::Kind::Error, "Capture Raw Stream", error});
    host_.CommandStateChanged();
    return started;
}

void CompassSession::StopCapture()
{
    if (!capture_.Active()) return;
    capture_.Stop();
    host_.CommandStateChanged();
}

// Once a second: a capture whose file failed, the link's notice, and the health.
void CompassSession::CheckHealth()
{
    if (const std::string failed = capture_.StopIfFailed(); !failed.empty()) {
        host_.CommandStateChanged();
        host_.Tell({Notice::Kind::Warning, "Capture Raw Stream", failed});
    }
    if (const std::string notice = link_.TakeNotice(); !notice.empty()) host_.Note(notice);
    // A recording's health runs on its own time, from where it was opened or sought.
    const std::int64_t now = replaying_ ? replayClock_() : timers_.Now();
    if (std::exchange(healthRestart_, false)) linkHealth_.Opened(baudRate_, now);
    if (PortNumber() == -1) {
        if (LostPort() == -1) linkHealth_.Closed();
        health_ = {};
        health_.pane = linkHealth_.Update({}, now).pane;
    } else {
        if (!linkHealth_.IsOpen() || linkHealth_.Baud() != baudRate_) linkHealth_.Opened(baudRate_, now);
        LinkCounters counters = link_.Counters();
        if (replaying_) counters.openedMs = -1; // opened on the link's clock, not the recording's
        health_ = linkHealth_.Update(counters, now);
        if (const std::uint64_t lost = capture_.LostCount(); lost > 0)
            health_.tooltip += " The capture missed " + std::to_string(lost) + " bytes (its file could not keep up).";
    }
    host_.HealthChecked(health_);
}

} // namespace tolvane
