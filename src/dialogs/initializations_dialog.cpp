#include "dialogs/initializations_dialog.h"

#include <QMessageBox>

#include <cstdio>

#include "dialogs/settings_template.h"

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
    sequence_.Abandon();
    registration_.Enter(this, {MessageType::Offsets, MessageType::Declination, MessageType::OrientationRate});
}

void InitializationsDialog::done(int result)
{
    ackTimer_.Stop();
    sequence_.Abandon();
    registration_.Leave();
    QDialog::done(result);
}

void InitializationsDialog::Ok()
{
    if (fields_->DeclinationBeingTyped()) return;
    if (const auto outOfRange = fields_->FirstOutOfRange()) {
        fields_->RangeCheck180(*outOfRange); // says so and selects the field
        return;
    }
    if (!SendNext()) accept();
}

bool InitializationsDialog::SendNext()
{
    const std::optional<OutgoingRequest> request = sequence_.Next(*fields_);
    if (!request) return false;
    if (send_) send_(*request);
    ackTimer_.Start(kAckTimeoutMs, [this] { AckTimedOut(); });
    return true;
}

void InitializationsDialog::OnInitAck(const DeviceMessage& message)
{
    if (!sequence_.Acknowledges(message)) return;
    ackTimer_.Stop();
    if (!SendNext()) accept();
}

void InitializationsDialog::AckTimedOut()
{
    ackTimer_.Stop();
    char text[128];
    std::snprintf(text, sizeof text, "Compass failed to acknowledge\ninitialization of %s.", sequence_.Label());
    // An acknowledgement arriving while the message shows sends nothing more.
    sequence_.Abandon();
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Too Bad"), QString::fromUtf8(text), QMessageBox::Ok, this);
    box.exec();
    reject();
}

} // namespace tolvane
