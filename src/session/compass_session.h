// A compass session: everything the program does with a module's port that
// is not drawing. It opens the port, asks the module for its identity,
// offsets and declination, and dispatches every received message (the
// awaited reply and its supervision, the Initialize sequence, the
// orientation hold-off, the log's record and the line's effects, the dialog
// waiting for the type); it watches a lost port and tries it again,
// searches for the baud rate, captures the raw stream and tells the link's
// health. Plain C++: its host (the main window, or a module of the gateway)
// shows what it reports, and its timers give it time, so that tests run it
// with a link in process and a clock they move.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "link/device_link.h"
#include "logging/log_file.h"
#include "logging/log_message_effects.h"
#include "protocol/angles.h"
#include "protocol/message_catalogue.h"
#include "session/baud_detector.h"
#include "session/link_health.h"
#include "session/lost_port_watch.h"
#include "session/message_receiver.h"
#include "session/raw_stream_capture.h"
#include "session/session_timers.h"

namespace tolvane {

// Where the session's port stands.
enum class PortState {
    Closed,  // none open and none watched for
    Opening, // a lost port opened again, not yet up for a second
    Open,
    Lost, // its device went away: it is tried again and again
};

// How a change of the port's state reaches the user.
enum class PortNews {
    Quiet, // the caller shows it, or nothing shown changes
    Shown, // where the port's state is shown (the COM pane)
    Noted, // there, and among the messages as a line of the program's own (" COM1 Lost ")
};

// What a message box says; the gateway writes it as a line on standard error.
struct Notice {
    enum class Kind { Error, Warning };
    Kind kind = Kind::Warning;
    std::string title;
    std::string text;
};

// A rate change or a search whose reopen failed: the port is closed.
inline const Notice kReopenFailed{Notice::Kind::Error, "Oops!", "Serial port failed to\nreopen at new baud rate."};

// An orientation in degrees, as the displays and the NMEA sentences take
// it: azimuth 0 to just under 360, pitch and roll -180 to just under 180.
struct OrientationDegrees {
    explicit OrientationDegrees(const Orientation& o)
        : azimuth(UnsignedAngleDegrees(o.azimuth)), pitch(SignedAngleDegrees(o.pitch)),
          roll(SignedAngleDegrees(o.roll))
    {
    }
    double azimuth;
    double pitch;
    double roll;
};

// Where the baud rate search stands, for whatever shows it.
struct DetectProgress {
    int rate = 0;  // the rate being tried
    int tried = 0; // rates tried, this one included
    int rates = 0; // rates to try in all
    bool ended = false;
};

// What the session asks of whoever runs it, on the thread that runs it.
// The calls that ask or tell the user may run a nested event loop, in which
// messages and timers keep being dispatched. Each does nothing (Retry: no)
// unless overridden, for a host without a window.
class SessionHost {
public:
    virtual ~SessionHost() = default;

    // Every received message, before anything is done with it.
    virtual void Dispatched(const DeviceMessage&) {}
    // A line for the message view, rendered and with its effects applied.
    virtual void ShowLine(const StatusLine&) {}
    // A line of the program's own for the message view: a link's notice, dropped messages.
    virtual void Note(const std::string&) {}
    // An orientation message that is displayed (not held off): the
    // orientation panel and, when open, the Nav Console.
    virtual void ShowOrientation(const Orientation&, const OrientationDegrees&) {}
    // Every orientation message, shown or held off, with its arrival time
    // on the link's clock: the orientation plot records them all.
    virtual void RecordOrientation(const OrientationDegrees&, LinkTimeMs) {}
    // After an identity reply the panel, if shown, is made anew.
    virtual void RecreatePanel() {}
    // After Reset Module the panel forgets its values.
    virtual void ClearPanel() {}
    // The identity changed: the title and version pane are rebuilt.
    virtual void IdentityChanged() {}
    // A flag the command enabling reads changed.
    virtual void CommandStateChanged() {}
    // The Initialize sequence gathered its values (WM_SHOW_INITIALIZATIONS).
    virtual void PostShowInitializations() {}
    // The question with Retry and Cancel; true for Retry.
    virtual bool AskRetry(const Notice&) { return false; }
    virtual void Tell(const Notice&) {}
    // The port's state changed, or is to be shown again.
    virtual void PortChanged(PortState, PortNews) {}
    // Once a second: the link's health.
    virtual void HealthChecked(const HealthReport&) {}
};

// Values the Initialize sequence gathers: binary-angle counts and ms.
struct InitialValues {
    std::int16_t declination = 0;
    std::int16_t bodyOffset = 0;
    std::int16_t rollOffset = 0;
    std::int16_t pitchOffset = 0;
    std::int16_t interval = 0;

    // The angles in degrees, as the Initializations dialog opens with them.
    struct Degrees {
        float declination, bodyOffset, rollOffset, pitchOffset;
    };
    Degrees InDegrees() const;
};

inline constexpr std::uint16_t kNoReplyAwaited = 0xFFFF;

class CompassSession {
public:
    // The reply supervision (the window's timer 11) and the orientation
    // hold-off (its timer 13).
    static constexpr std::int64_t kReplyTimeoutMs = 2000;
    static constexpr std::int64_t kHoldoffMs = 80;
    // How often the health is told, the lost port's watch looks whether a
    // try is due, and the baud rate search moves on.
    static constexpr std::int64_t kHealthCheckMs = 1000;
    static constexpr std::int64_t kWatchLookMs = LostPortWatch::kRetryMs / 4;
    static constexpr std::int64_t kDetectStepMs = 50;

    CompassSession(DeviceLink& link, LogFile& log, SessionTimers& timers, SessionHost& host);
    // Cancels its timers and stops a capture; the port is left to its link.
    ~CompassSession();
    CompassSession(const CompassSession&) = delete;
    CompassSession& operator=(const CompassSession&) = delete;

    // The link calls `notify` from its reader thread once per queued message
    // and once when the reader ends: the host wakes its own thread, which
    // calls OnLinkNotified. `hook` runs every few milliseconds while an open
    // waits on the network.
    void SetNotify(std::function<void()> notify) { link_.SetNotify(std::move(notify)); }
    void SetWaitHook(std::function<void()> hook) { link_.SetWaitHook(std::move(hook)); }

    // The port. Ports 1..8 lead to device paths or network addresses.
    const PortMap& Ports() const { return link_.Ports(); }
    void SetPortPath(int port, std::string path) { link_.SetPortPath(port, std::move(path)); }
    PortProbe Probe(int port) const { return link_.Probe(port); }
    // Opens port 1..8 at BaudRate(), closing any open port first. False,
    // the port closed and `why` telling the cause, when it does not open.
    bool Open(int port, PortProbe* why = nullptr);
    // Opens `path` as port 1: a device (a /dev/serial/by-id name is
    // resolved at every open, the tries after a loss too), tcp:// or rfc2217://.
    bool OpenPath(const std::string& path, PortProbe* why = nullptr);
    void Close();
    // The program's end, as Exit: the watch ends, the search and the capture
    // stop, the port closes (its line settings restored) and the log closes.
    void End();
    int PortNumber() const { return link_.PortNumber(); }
    // The port whose device went away and is watched for, or -1.
    int LostPort() const { return watch_.LostPort(); }
    PortState State() const;
    LinkCounters Counters() const { return link_.Counters(); }
    // The health last told (empty before the first second).
    const HealthReport& Health() const { return health_; }

    // The COM port dialog owns the port while it runs: the watch waits, and
    // a port reopened and not yet back is the user's from now on.
    void PortChoiceStarted();
    // The port the "COMPort" setting is to keep naming: the one still
    // watched for when the dialog opened none; -1 when the dialog's stands.
    int PortChoiceEnded();

    // One notification of the link (WM_DEVICE_MESSAGE): takes the oldest
    // queued message and dispatches it. The reader's last notification
    // marks the port lost; the messages queued before stay for theirs.
    // True when a message was taken.
    bool OnLinkNotified();
    // One received message, dispatched on its own copy so that messages
    // dispatched inside a nested event loop cannot change it.
    void OnDeviceMessage(DeviceMessage message);

    // Compass > Baud Rate > Detect: the rates tried in turn on the open
    // port, as time passes; `observe` hears each rate tried and the end.
    // The rate that answers is kept; otherwise the port reopens at the rate
    // it had and the user is told why.
    void StartDetect(std::function<void(const DetectProgress&)> observe = {});
    // Stops the search and returns to the rate the port had.
    void CancelDetect();
    bool Detecting() const { return detect_.has_value(); }

    // Capture Raw Stream to `path` while the port is open. False when no
    // port is open, or, told to the user, when the file cannot be created.
    bool StartCapture(const std::string& path);
    void StopCapture();
    const RawStreamCapture& Capture() const { return capture_; }

    // A recording played back in place of the port (`channel`, a
    // ReplayRecording's): the port closes (released), the watch and the
    // search end, and until EndReplay nothing is sent to any module, no
    // reply is awaited and the orientation hold-off runs on the messages'
    // recorded times. `clock` gives the recording's time on the link's clock.
    void StartReplay(std::unique_ptr<ByteChannel> channel, std::function<std::int64_t()> clock);
    // After a seek: the same recording from another point, framed afresh.
    void ReplayFrom(std::unique_ptr<ByteChannel> channel);
    // Closes the recording; the host opens a port as at start-up.
    void EndReplay();
    bool Replaying() const { return replaying_; }

    // The serial number request at start-up and after the COM port dialog:
    // unsupervised, and only when a port is open.
    void RequestIdentity();

    // Commands.
    void SerialNo();
    void Initialize();
    void ResetModule();
    void SelfTest();
    void CompensateStatus();
    void CompensateAbort();
    void CompensateRevert();
    void SetBaudRate(int baud);
    // NMEA sentences are added to the view while on (command 32775).
    void ToggleNmea() { showNmea_ = !showNmea_; }

    // The dialogs waiting for messages of their types, and how they send.
    ReceiverRegistry& Receivers() { return receivers_; }
    const ReceiverRegistry& Receivers() const { return receivers_; }
    void Send(const OutgoingRequest& request) { Transmit(request); }

    const OutgoingRequest& PendingRequest() const { return pendingRequest_; }
    const std::string& RequestName() const { return requestName_; }
    bool VersionKnown() const { return versionKnown_; }
    const ModuleIdentity& Identity() const { return identity_; }
    bool InitializeActive() const { return initializeActive_; }
    bool ReplyTimerRunning() const { return replyTimerRunning_; }
    bool ShowNmea() const { return showNmea_; }
    int BaudRate() const { return baudRate_; }
    const InitialValues& Initial() const { return initialValues_; }
    // Orientation messages dispatched since start, shown or held off.
    std::uint64_t OrientationCount() const { return orientationCount_; }

private:
    // Dispatch and supervision (compass_session.cpp).
    // Every request goes out here: none while replaying.
    void Transmit(const OutgoingRequest& request);
    // The orientation hold-off: true for a message held off.
    bool HeldOff(const DeviceMessage& message);
    void SendSupervised(const OutgoingRequest& request, const char* name);
    void SendUnsupervised(const OutgoingRequest& request);
    void OnReplyTimeout();
    void AdvanceInitialize(const DeviceMessage& reply);
    void Incompatible();
    void HandToReceiver(const DeviceMessage& message);
    // Renders the message's line, applies its effects and shows it; an
    // unknown type, or NMEA while the switch is off, adds nothing.
    void AddMessage(const DeviceMessage& message);
    // The port is at `baud` already (a search found it): only the rate
    // the commands and the menu know changes.
    void AdoptBaudRate(int baud);

    // The port (compass_session_port.cpp).
    // A capture ends with the port; reopening at a new rate keeps it.
    void AfterLinkChange(PortNews news = PortNews::Quiet);
    void PortLost();
    void WatchLostPort();
    void StopWatching();
    void AdvanceDetect();
    // Without an answer the port returns to the rate it had; `quietly`
    // (the program's end) leaves it and tells nothing.
    void EndDetect(bool cancelled, bool quietly = false);
    void CheckHealth();

    DeviceLink& link_;
    LogFile& log_;
    SessionTimers& timers_;
    SessionHost& host_;
    LogMessageEffects effects_;
    ReceiverRegistry receivers_;
    OutgoingRequest pendingRequest_;
    std::string requestName_;
    bool versionKnown_ = false;
    ModuleIdentity identity_;
    bool initializeActive_ = false;
    bool replyTimerRunning_ = false;
    bool orientationHoldoff_ = false;
    bool showNmea_ = true;
    int baudRate_ = 9600;
    InitialValues initialValues_;
    std::uint64_t orientationCount_ = 0;
    SessionTimers::TimerId replyTimer_ = 0;
    SessionTimers::TimerId holdoffTimer_ = 0;
    bool replaying_ = false;
    std::function<std::int64_t()> replayClock_;
    LinkTimeMs holdoffUntil_ = 0; // while replaying: the recorded time the hold-off ends
    bool healthRestart_ = false;  // a recording opened or sought: the health counts afresh

    LostPortWatch watch_;
    SessionTimers::TimerId watchTimer_ = 0;
    PortState reported_ = PortState::Closed;
    LinkHealth linkHealth_;
    HealthReport health_;
    SessionTimers::TimerId healthTimer_ = 0;
    RawStreamCapture capture_;
    std::optional<BaudDetector> detect_;
    struct DetectRun {
        int port = -1;
        int baud = 0;  // the rate the port had
        int found = 0; // the rate that answered
        bool reopenFailed = false;
        std::function<void(const DetectProgress&)> observe;
        SessionTimers::TimerId step = 0;
    } detectRun_;
};

} // namespace tolvane
