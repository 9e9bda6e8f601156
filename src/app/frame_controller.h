// What the main frame does with received messages and with the commands
// that talk to the compass: the awaited reply and its supervision, the
// Initialize sequence, the identity chain, the orientation hold-off and the
// baud rate. Plain C++: the window implements FrameHost with its timers,
// message boxes, view and link, and tests drive it with a fake.
#pragma once

#include <cstdint>
#include <string>

#include "app/module_identity.h"
#include "link/device_message.h"

namespace tolvane {

class FrameHost {
public:
    virtual ~FrameHost() = default;
    virtual int PortNumber() const = 0;
    // Reopens the open port at another rate; the port number or -1.
    virtual int ReopenPort(int port, int baud) = 0;
    virtual void Send(const OutgoingRequest& request) = 0;
    virtual void StartReplyTimer() = 0; // timer 11, 2000 ms
    virtual void StopReplyTimer() = 0;
    virtual void StartHoldoffTimer() = 0; // timer 13, 80 ms
    virtual void AddToView(const DeviceMessage& message) = 0;
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
    // An open dialog that waits for this message type gets it.
    virtual void HandToDialogs(const DeviceMessage& message) = 0;
    // Every orientation message, raw, for the log's record.
    virtual void LogOrientation(std::int16_t roll, std::int16_t pitch, std::uint16_t azimuth) = 0;
    // An orientation message that is displayed (not held off): the
    // orientation panel and, when open, the Nav Console.
    virtual void ShowOrientation(const Orientation& orientation) = 0;
    // After an identity reply the panel, if shown, is made anew.
    virtual void RecreatePanel() = 0;
    // After Reset Module the panel forgets its values.
    virtual void ClearPanel() = 0;
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
    explicit FrameController(FrameHost& host) : host_(host) {}

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

    const OutgoingRequest& PendingRequest() const { return pendingRequest_; }
    const std::string& RequestName() const { return requestName_; }
    bool VersionKnown() const { return versionKnown_; }
    const ModuleIdentity& Identity() const { return identity_; }
    bool InitializeActive() const { return initializeActive_; }
    bool ReplyTimerRunning() const { return replyTimerRunning_; }
    bool OrientationHoldoff() const { return orientationHoldoff_; }
    int BaudRate() const { return baudRate_; }
    const InitialValues& Initial() const { return initialValues_; }
    // Orientation messages dispatched since start, shown or held off.
    std::uint64_t OrientationCount() const { return orientationCount_; }
    bool compensationActive = false;

private:
    void SendSupervised(const OutgoingRequest& request, const char* name);
    void SendUnsupervised(const OutgoingRequest& request);
    void AdvanceInitialize(const DeviceMessage& reply);
    void Incompatible();

    FrameHost& host_;
    OutgoingRequest pendingRequest_;
    std::string requestName_;
    bool versionKnown_ = false;
    ModuleIdentity identity_;
    bool initializeActive_ = false;
    bool replyTimerRunning_ = false;
    bool orientationHoldoff_ = false;
    int baudRate_ = 9600;
    InitialValues initialValues_;
    std::uint64_t orientationCount_ = 0;
};

} // namespace tolvane
