// The main frame's logic, plain C++: what it does with every received
// message (the awaited reply and its supervision, the Initialize sequence,
// the identity chain, the orientation hold-off, the line for the view and
// its effects on the log, the dialog waiting for the type) and with the
// commands that talk to the compass. The window implements FrameHost with
// its timers, message boxes and displays; tests drive it with a fake host
// and a link in process.
#pragma once

#include <cstdint>
#include <string>

#include "app/module_identity.h"
#include "dialogs/message_receiver.h"
#include "link/device_link.h"
#include "logging/log_file.h"
#include "logging/log_message_effects.h"
#include "protocol/message_catalogue.h"

namespace tolvane {

class FrameHost {
public:
    virtual ~FrameHost() = default;
    virtual void StartReplyTimer() = 0; // 2000 ms
    virtual void StopReplyTimer() = 0;
    virtual void StartHoldoffTimer() = 0; // 80 ms

    // A line for the message view, rendered and with its effects applied.
    virtual void ShowLine(const StatusLine& line) = 0;
    // An orientation message that is displayed (not held off): the
    // orientation panel and, when open, the Nav Console.
    virtual void ShowOrientation(const Orientation& orientation) = 0;
    // Every orientation message, shown or held off, with its arrival time
    // (ms since program start): the orientation plot records them all.
    virtual void RecordOrientation(const Orientation& orientation, std::int64_t timestampMs) = 0;
    // After an identity reply the panel, if shown, is made anew.
    virtual void RecreatePanel() = 0;
    // After Reset Module the panel forgets its values.
    virtual void ClearPanel() = 0;
    // The identity changed: rebuild the title and version pane.
    virtual void IdentityChanged() = 0;
    // A flag the command enabling reads changed.
    virtual void CommandStateChanged() = 0;

    // "No reply to request for %s." with Retry and Cancel; true for Retry.
    // Runs a nested event loop: messages keep being dispatched meanwhile.
    virtual bool AskRetry(const std::string& requestName) = 0;
    // The firmware incompatibility box (nested event loop as above).
    virtual void ShowIncompatible() = 0;
    // "Serial port failed to\nreopen at new baud rate."
    virtual void ShowReopenFailed() = 0;
    virtual void PostShowInitializations() = 0;
};

// Values the Initialize sequence gathers: binary-angle counts and ms.
struct InitialValues {
    std::int16_t declination = 0;
    std::int16_t bodyOffset = 0;
    std::int16_t rollOffset = 0;
    std::int16_t pitchOffset = 0;
    std::int16_t interval = 0;
};

inline constexpr std::uint16_t kNoReplyAwaited = 0xFFFF;

class FrameController {
public:
    FrameController(FrameHost& host, DeviceLink& link, LogFile& log);

    // One received message, dispatched on its own copy so that messages
    // dispatched inside a nested event loop cannot change it.
    void OnDeviceMessage(DeviceMessage message);
    void OnReplyTimeout();
    void OnHoldoffTimeout();

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
    // The port is already open at `baud` (a detection found it): only the
    // rate the commands and the menu know changes.
    void AdoptBaudRate(int baud);
    // NMEA sentences are added to the view while on (command 32775).
    void ToggleNmea() { showNmea_ = !showNmea_; }

    // The dialogs waiting for messages of their types.
    ReceiverRegistry& Receivers() { return receivers_; }
    const ReceiverRegistry& Receivers() const { return receivers_; }

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
    void SendSupervised(const OutgoingRequest& request, const char* name);
    void SendUnsupervised(const OutgoingRequest& request);
    void AdvanceInitialize(const DeviceMessage& reply);
    void Incompatible();
    void HandToReceiver(const DeviceMessage& message);
    // Renders the message's line, applies its effects and shows it; an
    // unknown type, or NMEA while the switch is off, adds nothing.
    void AddMessage(const DeviceMessage& message);

    FrameHost& host_;
    DeviceLink& link_;
    LogFile& log_;
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
};

} // namespace tolvane
