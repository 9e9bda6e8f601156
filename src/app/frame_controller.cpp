#include "app/frame_controller.h"

#include "protocol/requests.h"

namespace tolvane {

FrameController::FrameController(FrameHost& host, DeviceLink& link, LogFile& log)
    : host_(host), link_(link), log_(log), effects_(log, [&link](const OutgoingRequest& r) { link.Send(r); })
{
}

void FrameController::SendSupervised(const OutgoingRequest& request, const char* name)
{
    pendingRequest_ = request;
    requestName_ = name;
    link_.Send(pendingRequest_);
    host_.StartReplyTimer();
    replyTimerRunning_ = true;
}

void FrameController::SendUnsupervised(const OutgoingRequest& request)
{
    pendingRequest_ = request;
    link_.Send(pendingRequest_);
}

void FrameController::OnDeviceMessage(DeviceMessage message)
{
    if (message.type == pendingRequest_.type) {
        host_.StopReplyTimer();
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
        host_.RecordOrientation(orientation, message.timestamp);
        if (orientationHoldoff_) return;
        host_.ShowOrientation(orientation);
        host_.StartHoldoffTimer();
        orientationHoldoff_ = true;
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

void FrameController::AddMessage(const DeviceMessage& message)
{
    if (!showNmea_ && IsType(message, MessageType::Nmea)) return;
    StatusLine line;
    if (!RenderMessage(message, line)) return;
    ApplyMessageEffects(message, line, effects_);
    host_.ShowLine(line);
}

void FrameController::HandToReceiver(const DeviceMessage& message)
{
    if (MessageReceiver* receiver = receivers_.For(message.type)) receiver->OnMessage(message);
}

void FrameController::AdvanceInitialize(const DeviceMessage& reply)
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
void FrameController::Incompatible()
{
    initializeActive_ = false;
    host_.ShowIncompatible();
}

void FrameController::OnReplyTimeout()
{
    host_.StopReplyTimer();
    replyTimerRunning_ = false;
    const bool retry = host_.AskRetry(requestName_);
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

void FrameController::OnHoldoffTimeout()
{
    orientationHoldoff_ = false;
}

void FrameController::RequestIdentity()
{
    if (link_.PortNumber() == -1) return;
    SendUnsupervised(SerialNumberRequest());
}

void FrameController::SerialNo() { SendSupervised(SerialNumberRequest(), "serial number"); }

void FrameController::Initialize()
{
    initializeActive_ = true;
    SendSupervised(OffsetsReadRequest(), "current offsets");
}

void FrameController::ResetModule()
{
    SendUnsupervised(ResetRequest());
    versionKnown_ = false;
    host_.ClearPanel();
    host_.IdentityChanged();
}

void FrameController::SelfTest() { SendSupervised(SelfTestRequest(), "self test"); }

void FrameController::CompensateStatus()
{
    SendUnsupervised(CompensationRequest(CompensationAction::Status));
    if (versionKnown_ && identity_.HasOption('I')) SendUnsupervised(CompensationParametersRequest());
}

void FrameController::CompensateAbort()
{
    SendUnsupervised(CompensationRequest(CompensationAction::Abort));
    // The run is over for the frame: its messages reach no dialog any more.
    receivers_.Unregister(MessageType::Compensation);
}

void FrameController::CompensateRevert() { SendUnsupervised(CompensationRequest(CompensationAction::Revert)); }

void FrameController::SetBaudRate(int baud)
{
    if (baud == baudRate_) return;
    baudRate_ = baud;
    const int port = link_.PortNumber();
    if (port >= 1 && link_.Open(port, baud) <= 0) host_.ShowReopenFailed();
    host_.CommandStateChanged();
}

void FrameController::AdoptBaudRate(int baud)
{
    baudRate_ = baud;
    host_.CommandStateChanged();
}

} // namespace tolvane
