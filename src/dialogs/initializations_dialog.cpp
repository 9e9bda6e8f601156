#include "dialogs/initializations_dialog.h"

#include <QMessageBox>

#include <cstdio>

#include "dialogs/number_entry.h"
#include "dialogs/settings_template.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

constexpr DialogLayout kTemplate{"Initializations", 209, 138, kSettingsControls};

} // namespace

InitializationsDialog::InitializationsDialog(float declination, float azimuthOffset, float rollOffset,
                                             float pitchOffset, std::int32_t intervalMs,
                                             std::function<void(const OutgoingRequest&)> send,
                                             ReceiverRegistry* registry, QWidget* parent, WaitTimer* timer)
    : QDialog(parent), send_(std::move(send)), registration_(registry),
      ownTimer_(timer ? nullptr : std::make_unique<QtWaitTimer>()), ackTimer_(timer ? *timer : *ownTimer_)
{
    BuildSettingsDialog(*this, kTemplate, [this] { Ok(); });
    fields_ = new ValueFields(*this);
    fields_->Prepare();
    fields_->Receive(declination, azimuthOffset, rollOffset, pitchOffset, intervalMs);
}

void InitializationsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (initialized_) return;
    initialized_ = true;
    PlaceOnCreate(*this);
    pendingType_ = 0;
    registration_.Enter(this, {MessageType::Offsets, MessageType::Declination, MessageType::OrientationRate});
}

void InitializationsDialog::done(int result)
{
    ackTimer_.Stop();
    pendingType_ = 0;
    registration_.Leave();
    QDialog::done(result);
}

void InitializationsDialog::Ok()
{
    if (fields_->DeclinationBeingTyped()) return;
    for (ValueFields::Angle angle :
         {ValueFields::kDeclination, ValueFields::kAzimuth, ValueFields::kRoll, ValueFields::kPitch}) {
        if (fields_->angles[angle].load && !fields_->RangeCheck180(angle)) return;
    }
    if (!SendNext()) accept();
}

bool InitializationsDialog::SendNext()
{
    auto& angles = fields_->angles;
    OutgoingRequest request;
    AngleField& declination = angles[ValueFields::kDeclination];
    AngleField& azimuth = angles[ValueFields::kAzimuth];
    AngleField& roll = angles[ValueFields::kRoll];
    AngleField& pitch = angles[ValueFields::kPitch];
    if (declination.load) {
        request = DeclinationSetRequest(DegreesToRaw(declination.working));
        pendingLabel_ = "magnetic declination";
        declination.load = false;
    } else if (azimuth.load || roll.load || pitch.load) {
        const auto mask = static_cast<std::uint8_t>((azimuth.load ? Offsets::kBody : 0) |
                                                    (roll.load ? Offsets::kRoll : 0) |
                                                    (pitch.load ? Offsets::kPitch : 0));
        request = OffsetsSetRequest(mask, DegreesToRaw(azimuth.working), DegreesToRaw(roll.working),
                                    DegreesToRaw(pitch.working));
        pendingLabel_ = "offsets";
        azimuth.load = roll.load = pitch.load = false;
    } else if (fields_->rate.load) {
        request = OrientationRateSetRequest(static_cast<std::int16_t>(fields_->rate.working));
        pendingLabel_ = "orient rate";
        fields_->rate.load = false;
    } else {
        pendingType_ = 0;
        return false;
    }
    pendingType_ = request.type;
    if (send_) send_(request);
    ackTimer_.Start(kAckTimeoutMs, [this] { AckTimedOut(); });
    return true;
}

void InitializationsDialog::OnInitAck(const DeviceMessage& message)
{
    if (pendingType_ == 0 || message.type != pendingType_) return;
    if (!IsType(message, MessageType::Offsets) && !IsType(message, MessageType::Declination) &&
        !IsType(message, MessageType::OrientationRate))
        return;
    ackTimer_.Stop();
    if (!SendNext()) accept();
}

void InitializationsDialog::AckTimedOut()
{
    ackTimer_.Stop();
    // An acknowledgement arriving while the message shows sends nothing more.
    pendingType_ = 0;
    char text[128];
    std::snprintf(text, sizeof text, "Compass failed to acknowledge\ninitialization of %s.", pendingLabel_);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Too Bad"), QString::fromUtf8(text), QMessageBox::Ok, this);
    box.exec();
    pendingLabel_ = "";
    reject();
}

} // namespace tolvane
