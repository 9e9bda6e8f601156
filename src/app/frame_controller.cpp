#include "app/frame_controller.h"

#include "protocol/requests.h"

namespace tolvane {
void FrameController::SendSupervised(const OutgoingRequest& request, const char* name)
{
    pendingRequest_ = request;
    requestName_ = name;
    host_.Send(pendingRequest_);
    host_.StartReplyTimer();
    replyTimerRunning_ = true;
}

void FrameController::SendUnsupervised(const OutgoingRequest& request)
{
    pendingRequest_ = request;
    host_.Send(pendingRequest_);
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
        host_.LogOrientation(orientation.roll, orientation.pitch, orientation.azimuth);
        if (orientationHoldoff_) return;
        host_.ShowOrientation(orientation);
        host_.StartHoldoffTimer();
        orientationHoldoff_ = true;
    }

    host_.AddToView(message);

    switch (static_cast<MessageType>(message.type)) {
    case MessageType::PowerUp:
        versionKnown_ = false;
        host_.CommandStateChanged();
        SendUnsupervised(SerialNumberRequest());
        break;
    case MessageType::Offsets:
        SendUnsupervised(DeclinationReadRequest());
        host_.HandToDialogs(message);
        break;
    case MessageType::Identity:
        versionKnown_ = true;
        identity_ = Decode<ModuleIdentity>(message);
        host_.IdentityChanged();
        host_.RecreatePanel();
        SendUnsupervised(OffsetsReadRequest());
        break;
    default:
        host_.HandToDialogs(message);
        break;
    }
}

void FrameController::AdvanceInitialize(const DeviceMessage& reply)
{
    switch (static_cast<MessageType>(reply.type)) {
    case MessageType::Offsets: {
        if (reply.length != 7) return Incompatible();
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
        if (reply.length != 2) return Incompatible();
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
    if (host_.PortNumber() == -1) return;
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
    compensationActive = false;
}

void FrameController::CompensateRevert() { SendUnsupervised(CompensationRequest(CompensationAction::Revert)); }

void FrameController::SetBaudRate(int baud)
{
    if (baud == baudRate_) return;
    baudRate_ = baud;
    const int port = host_.PortNumber();
    if (port >= 1 && host_.ReopenPort(port, baud) <= 0) {
        host_.ShowReopenFailed();
    }
    host_.CommandStateChanged();
}

} // namespace tolvane
