#include "session/compass_session.h"

#include "protocol/requests.h"

namespace tolvane {

CompassSession::CompassSession(DeviceLink& link, LogFile& log, SessionTimers& timers, SessionHost& host)
    : link_(link), log_(log), timers_(timers), host_(host),
      effects_(log, [this](const OutgoingRequest& r) { Transmit(r); }), capture_(link)
{
    healthTimer_ = timers_.Every(kHealthCheckMs, [this] { CheckHealth(); });
}

CompassSession::~CompassSession()
{
    for (const SessionTimers::TimerId id : {healthTimer_, watchTimer_, replyTimer_, holdoffTimer_, detectRun_.step})
        timers_.Cancel(id);
}

InitialValues::Degrees InitialValues::InDegrees() const
{
    const auto degrees = [](std::int16_t counts) { return static_cast<float>(SignedAngleDegrees(counts)); };
    return {degrees(declination), degrees(bodyOffset), degrees(rollOffset), degrees(pitchOffset)};
}

void CompassSession::Transmit(const OutgoingRequest& request)
{
    if (!replaying_) link_.Send(request);
}

void CompassSession::SendSupervised(const OutgoingRequest& request, const char* name)
{
    // A recording answers nothing: no reply is awaited from it.
    if (replaying_) return;
    pendingRequest_ = request;
    requestName_ = name;
    Transmit(pendingRequest_);
    timers_.Cancel(replyTimer_);
    replyTimer_ = timers_.After(kReplyTimeoutMs, [this] { OnReplyTimeout(); });
    replyTimerRunning_ = true;
}

void CompassSession::SendUnsupervised(const OutgoingRequest& request)
{
    if (replaying_) return;
    pendingRequest_ = request;
    Transmit(pendingRequest_);
}

bool CompassSession::OnLinkNotified()
{
    DeviceMessage message;
    const bool taken = link_.TakeMessage(message) != DeviceLink::kEmpty;
    if (taken) OnDeviceMessage(message);
    // A recording's end is told by the recording, never as a lost port.
    if (link_.PortNumber() != -1 && !link_.ReaderRunning() && !replaying_) PortLost();
    return taken;
}

void CompassSession::OnDeviceMessage(DeviceMessage message)
{
    host_.Dispatched(message);
    if (message.type == pendingRequest_.type) {
        timers_.Cancel(replyTimer_);
        replyTimerRunning_ = false;
        pendingRequest_.type = kNoReplyAwaited;
        if (initializeActive_) AdvanceInitialize(message);
    }

    if (IsType(message, MessageType::Orientation)) {
        ++orientationCount_;
        const Orientation orientation = Decode<Orientation>(message);
        log_.roll = orientation.roll;
        log_.pitch = orientation.pitch;
        log_.azimuth = orientation.azimuth;
        if (log_.Logging()) log_.WriteRecord();
        const OrientationDegrees degrees(orientation);
        host_.RecordOrientation(degrees, message.timestamp);
        if (HeldOff(message)) return;
        host_.ShowOrientation(orientation, degrees);
    }

    AddMessage(message);

    switch (static_cast<MessageType>(message.type)) {
    case MessageType::PowerUp:
        versionKnown_ = false;
        host_.CommandStateChanged();
        SendUnsupervised(SerialNumberRequest());
        break;
    case MessageType::Offsets:
        SendUnsupervised(DeclinationReadRequest());
        HandToReceiver(message);
        break;
    case MessageType::Identity:
        versionKnown_ = true;
        identity_ = Decode<ModuleIdentity>(message);
        host_.IdentityChanged();
        host_.RecreatePanel();
        SendUnsupervised(OffsetsReadRequest());
        break;
    default:
        HandToReceiver(message);
        break;
    }
}

// A recording holds messages off by their recorded times, so that it shows
// at any speed the lines the live session showed.
bool CompassSession::HeldOff(const DeviceMessage& message)
{
    if (replaying_) {
        if (message.timestamp < holdoffUntil_) return true;
        holdoffUntil_ = message.timestamp + kHoldoffMs;
        return false;
    }
    if (orientationHoldoff_) return true;
    holdoffTimer_ = timers_.After(kHoldoffMs, [this] { orientationHoldoff_ = false; });
    orientationHoldoff_ = true;
    return false;
}

void CompassSession::AddMessage(const DeviceMessage& message)
{
    if (!showNmea_ && IsType(message, MessageType::Nmea)) return;
    StatusLine line;
    if (!RenderMessage(message, line)) return;
    ApplyMessageEffects(message, line, effects_);
    host_.ShowLine(line);
}

void CompassSession::HandToReceiver(const DeviceMessage& message)
{
    if (MessageReceiver* receiver = receivers_.For(message.type)) receiver->OnMessage(message);
}

void CompassSession::AdvanceInitialize(const DeviceMessage& reply)
{
    switch (static_cast<MessageType>(reply.type)) {
    case MessageType::Offsets: {
        if (reply.length != PayloadLength<Offsets>()) return Incompatible();
        const Offsets offsets = Decode<Offsets>(reply);
        initialValues_.bodyOffset = offsets.body;
        initialValues_.rollOffset = offsets.roll;
        initialValues_.pitchOffset = offsets.pitch;
        SendSupervised(DeclinationReadRequest(), "declination");
        break;
    }
    case MessageType::Declination:
        initialValues_.declination = Decode<Declination>(reply).declination;
        SendSupervised(OrientationRateReadRequest(), "orient message rate");
        break;
    case MessageType::OrientationRate:
        if (reply.length != PayloadLength<OrientationRate>()) return Incompatible();
        initialValues_.interval = Decode<OrientationRate>(reply).interval;
        initializeActive_ = false;
        host_.PostShowInitializations();
        break;
    default: break;
    }
}

// The sequence ends before the box opens, so nothing dispatched while it
// is open can advance it.
void CompassSession::Incompatible()
{
    initializeActive_ = false;
    host_.Tell({Notice::Kind::Error, "Incompatibility",
                "Firmware version is not compatible\nwith this version of Tolvane."});
}

void CompassSession::OnReplyTimeout()
{
    replyTimerRunning_ = false;
    const bool retry = host_.AskRetry({Notice::Kind::Warning, "Compass Silent",
                                       "No reply to request for " + requestName_ + "."});
    if (retry) {
        // A reply that came while the question was open has settled the
        // request, or put another one under supervision: nothing to resend.
        if (pendingRequest_.type == kNoReplyAwaited || replyTimerRunning_) return;
        SendSupervised(pendingRequest_, requestName_.c_str());
        return;
    }
    if (pendingRequest_.type == TypeByte(MessageType::Identity)) {
        versionKnown_ = false;
        host_.IdentityChanged();
    }
    pendingRequest_.type = kNoReplyAwaited;
    initializeActive_ = false;
}

void CompassSession::RequestIdentity()
{
    if (link_.PortNumber() == -1) return;
    SendUnsupervised(SerialNumberRequest());
}

void CompassSession::SerialNo() { SendSupervised(SerialNumberRequest(), "serial number"); }

void CompassSession::Initialize()
{
    initializeActive_ = true;
    SendSupervised(OffsetsReadRequest(), "current offsets");
}

void CompassSession::ResetModule()
{
    SendUnsupervised(ResetRequest());
    versionKnown_ = false;
    host_.ClearPanel();
    host_.IdentityChanged();
}

void CompassSession::SelfTest() { SendSupervised(SelfTestRequest(), "self test"); }

void CompassSession::CompensateStatus()
{
    SendUnsupervised(CompensationRequest(CompensationAction::Status));
    if (versionKnown_ && identity_.HasOption('I')) SendUnsupervised(CompensationParametersRequest());
}

void CompassSession::CompensateAbort()
{
    SendUnsupervised(CompensationRequest(CompensationAction::Abort));
    // The run is over for the session: its messages reach no dialog any more.
    receivers_.Unregister(MessageType::Compensation);
}

void CompassSession::CompensateRevert() { SendUnsupervised(CompensationRequest(CompensationAction::Revert)); }

void CompassSession::SetBaudRate(int baud)
{
    if (baud == baudRate_ || replaying_) return;
    baudRate_ = baud;
    const int port = link_.PortNumber();
    if (port >= 1 && link_.Open(port, baud) <= 0) {
        AfterLinkChange();
        host_.Tell(kReopenFailed);
    }
    host_.CommandStateChanged();
}

void CompassSession::AdoptBaudRate(int baud)
{
    baudRate_ = baud;
    host_.CommandStateChanged();
}

} // namespace tolvane
