// "Initializations": changes the declination, offsets and orientation
// rate the module works with now. On OK it sends the declination, offsets
// and orientation rate requests whose values were changed, in that order,
// each once the module has acknowledged the one before.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "dialogs/initialization_sequence.h"
#include "session/message_receiver.h"
#include "dialogs/value_field.h"
#include "dialogs/wait_timer.h"

namespace tolvane {

class InitializationsDialog : public QDialog, public MessageReceiver {
    Q_OBJECT

public:
    // Waits this long for each acknowledgement.
    static constexpr int kAckTimeoutMs = 1000;

    // Angles in degrees, the DORIENT interval in ms. While open, the
    // dialog waits in `registry` (when given) for DINICAL, DIMVAR and
    // DORRATE messages, the acknowledgements of what it sends. It waits
    // with `timer` when given, else with a Qt timer of its own.
    InitializationsDialog(float declination, float azimuthOffset, float rollOffset, float pitchOffset,
                          std::int32_t intervalMs, std::function<void(const OutgoingRequest&)> send,
                          ReceiverRegistry* registry, QWidget* parent = nullptr, WaitTimer* timer = nullptr);

    void OnMessage(const DeviceMessage& message) override { OnInitAck(message); }
    void OnInitAck(const DeviceMessage& message);

    void done(int result) override;

    const ValueFields& Fields() const { return *fields_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Ok();
    // Sends the next changed setting; false when none is left.
    bool SendNext();
    void AckTimedOut();

    std::function<void(const OutgoingRequest&)> send_;
    ReceiverRegistration registration_;
    ValueFields* fields_;
    std::unique_ptr<WaitTimer> ownTimer_;
    WaitTimer& ackTimer_;
    bool initialized_ = false;
    InitializationSequence sequence_;
};

} // namespace tolvane
