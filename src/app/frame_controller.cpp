#include "app/frame_controller.h"

#include "protocol/requests.h"

namespace tolvane {
namespace {

constexpr std::uint16_t kPowerUp = 0x44;
constexpr std::uint16_t kOrientation = 0x70;

std::int16_t S16(const DeviceMessage& m, std::size_t offset)
{
    return static_cast<std::int16_t>(m.payload[offset] | (m.payload[offset + 1] << 8));
}

} // namespace

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

    if (message.type == kOrientation) {
        ++orientationCount_;
        host_.LogOrientation(S16(message, 0), S16(message, 2), static_cast<std::uint16_t>(S16(message, 4)));
        if (orientationHoldoff_) return;
        host_.ShowOrientation(message);
        host_.StartHoldoffTimer();
        orientationHoldoff_ = true;
    }

    host_.AddToView(message);

    switch (message.type) {
    case kPowerUp:
        versionKnown_ = false;
        host_.CommandStateChanged();
        SendUnsupervised(SerialNumberRequest());
        break;
    case kOffsetsRequest:
        SendUnsupervised(DeclinationReadRequest());
        host_.HandToDialogs(message);
        break;
    case kSerialNumberRequest:
        versionKnown_ = true;
        identity_ = ModuleIdentity::FromPayload(message.payload);
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
    switch (reply.type) {
    case kOffsetsRequest:
        if (reply.length != 7) return Incompatible();
        initialValues_.bodyOffset = S16(reply, 1);
        initialValues_.rollOffset = S16(reply, 3);
        initialValues_.pitchOffset = S16(reply, 5);
        SendSupervised(DeclinationReadRequest(), "declination");
        break;
    case kDeclinationRequest:
        initialValues_.declination = S16(reply, 1);
        SendSupervised(OrientationRateReadRequest(), "orient message rate");
        break;
    case kOrientationRateRequest:
        if (reply.length != 2) return Incompatible();
        initialValues_.interval = S16(reply, 0);
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
    if (pendingRequest_.type == kSerialNumberRequest) {
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
