// "Start-Up Defaults": reads the settings the module keeps in flash and
// applies at start-up, and on OK writes the changed ones with a single
// start-up defaults request.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "session/message_receiver.h"
#include "dialogs/value_field.h"
#include "dialogs/wait_timer.h"

namespace tolvane {

class StartupDefaultsDialog : public QDialog, public MessageReceiver {
    Q_OBJECT

public:
    // Waits this long for each DSDFLT.
    static constexpr int kReplyTimeoutMs = 1000;

    // The stored defaults are asked for when the dialog opens.
    // While open, the dialog waits in `registry` (when given) for DSDFLT
    // messages. It waits with `timer` when given, else with a Qt timer of
    // its own.
    explicit StartupDefaultsDialog(std::function<void(const OutgoingRequest&)> send,
                                   ReceiverRegistry* registry = nullptr, QWidget* parent = nullptr,
                                   WaitTimer* timer = nullptr);
    ~StartupDefaultsDialog() override;

    void OnMessage(const DeviceMessage& message) override { OnDefaultsReply(message); }
    void OnDefaultsReply(const DeviceMessage& message);

    void done(int result) override;

    const ValueFields& Fields() const { return *fields_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Ok();
    void SendRequest();
    void ReplyTimedOut();

    std::function<void(const OutgoingRequest&)> send_;
    ReceiverRegistration registration_;
    ValueFields* fields_;
    std::unique_ptr<WaitTimer> ownTimer_;
    WaitTimer& replyTimer_;
    OutgoingRequest request_;
    bool loading_ = false;
    bool initialized_ = false;
    bool ended_ = false;
    int replies_ = 0;
};

} // namespace tolvane
