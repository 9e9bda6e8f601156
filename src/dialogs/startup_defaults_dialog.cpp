#include "dialogs/startup_defaults_dialog.h"

#include <QMessageBox>

#include "dialogs/number_entry.h"
#include "dialogs/settings_template.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

constexpr ControlLayout kWarning[] = {
    {-1, ControlKind::Static,
     "Changing any of these quantities will write to the microcontroller's flash memory, which is not "
     "specified for frequent writing. Do not overuse this capability.",
     9, 133, 186, 24},
};
constexpr auto kControls = WithSettingsControls(kWarning);
constexpr DialogLayout kTemplate{"Start-Up Defaults", 209, 167, kControls};

} // namespace

StartupDefaultsDialog::StartupDefaultsDialog(std::function<void(const OutgoingRequest&)> send,
                                             ReceiverRegistry* registry, QWidget* parent, WaitTimer* timer)
    : QDialog(parent), send_(std::move(send)), registration_(registry),
      ownTimer_(timer ? nullptr : std::make_unique<QtWaitTimer>()), replyTimer_(timer ? *timer : *ownTimer_)
{
    BuildSettingsDialog(*this, kTemplate, [this] { Ok(); });
    fields_ = new ValueFields(*this);
}

StartupDefaultsDialog::~StartupDefaultsDialog() { replyTimer_.Stop(); }

void StartupDefaultsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (initialized_) return;
    initialized_ = true;
    PlaceOnCreate(*this);
    registration_.Enter(this, {MessageType::StartupDefaults});
    fields_->Prepare();
    fields_->Clear();
    loading_ = false;
    request_ = StartupDefaultsReadRequest();
    SendRequest();
}

void StartupDefaultsDialog::done(int result)
{
    replyTimer_.Stop();
    ended_ = true;
    registration_.Leave();
    QDialog::done(result);
}

void StartupDefaultsDialog::SendRequest()
{
    if (send_) send_(request_);
    replyTimer_.Start(kReplyTimeoutMs, [this] { ReplyTimedOut(); });
}

void StartupDefaultsDialog::OnDefaultsReply(const DeviceMessage& message)
{
    if (ended_ || !IsType(message, MessageType::StartupDefaults)) return;
    ++replies_;
    replyTimer_.Stop();
    if (loading_) {
        const bool failed = Decode<StartupDefaults>(message).mask == 0;
        // No further reply may act while the message shows.
        ended_ = true;
        if (failed) {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Too bad!"),
                            QStringLiteral("Compass reports failure loading\nchanges to flash."), QMessageBox::Ok,
                            this);
            box.exec();
            reject();
        } else {
            accept();
        }
        return;
    }
    if (message.length != PayloadLength<StartupDefaults>()) {
        ended_ = true;
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Incompatibility"),
                        QStringLiteral("Firmware version is not compatible\nwith this version of Tolvane."),
                        QMessageBox::Ok, this);
        box.exec();
        reject();
        return;
    }
    const StartupDefaults stored = Decode<StartupDefaults>(message);
    fields_->Receive(RawToDegrees(stored.declination), RawToDegrees(stored.bodyOffset),
                     RawToDegrees(stored.rollOffset), RawToDegrees(stored.pitchOffset), stored.interval);
}

void StartupDefaultsDialog::ReplyTimedOut()
{
    replyTimer_.Stop();
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Compass Silent"),
                    QString::fromUtf8(loading_ ? "No reply to request\nto load new values."
                                               : "No reply to request\nfor current values."),
                    QMessageBox::Retry | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Retry);
    const int repliesBefore = replies_;
    const int answer = box.exec();
    // A reply that came while the question showed has answered it.
    if (ended_ || replies_ != repliesBefore) return;
    if (answer == QMessageBox::Retry) SendRequest();
    else reject();
}

void StartupDefaultsDialog::Ok()
{
    if (fields_->DeclinationBeingTyped()) return;
    const auto& angles = fields_->angles;
    StartupDefaults values;
    struct Slot {
        ValueFields::Angle angle;
        std::uint16_t bit;
        std::int16_t StartupDefaults::*value;
    };
    static constexpr Slot kSlots[] = {
        {ValueFields::kDeclination, StartupDefaults::kDeclination, &StartupDefaults::declination},
        {ValueFields::kAzimuth, StartupDefaults::kBodyOffset, &StartupDefaults::bodyOffset},
        {ValueFields::kRoll, StartupDefaults::kRollOffset, &StartupDefaults::rollOffset},
        {ValueFields::kPitch, StartupDefaults::kPitchOffset, &StartupDefaults::pitchOffset},
    };
    for (const Slot& slot : kSlots) {
        if (!angles[slot.angle].load) continue;
        if (!fields_->RangeCheck180(slot.angle)) return;
        values.*slot.value = DegreesToRaw(angles[slot.angle].working);
        values.mask |= slot.bit;
    }
    if (fields_->rate.load) {
        values.mask |= StartupDefaults::kInterval;
        values.interval = static_cast<std::int16_t>(fields_->rate.working);
    }
    if (values.mask == 0) {
        accept();
        return;
    }
    loading_ = true;
    request_ = StartupDefaultsLoadRequest(values);
    SendRequest();
}

} // namespace tolvane
