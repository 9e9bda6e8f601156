// An open dialog that waits for messages of some types; the main frame
// hands it those it receives while the dialog is registered.
#pragma once

#include <functional>
#include <utility>

#include "link/device_message.h"

namespace tolvane {

class MessageReceiver {
public:
    virtual ~MessageReceiver() = default;
    virtual void OnMessage(const DeviceMessage& message) = 0;
};

// A dialog's registration with the frame: the registrar is called with the
// dialog when it opens and, once, with nullptr when it ends or is destroyed,
// whichever comes first.
class ReceiverRegistration {
public:
    using Registrar = std::function<void(MessageReceiver*)>;
    explicit ReceiverRegistration(Registrar registrar) : registrar_(std::move(registrar)) {}
    ~ReceiverRegistration() { Leave(); }
    ReceiverRegistration(const ReceiverRegistration&) = delete;
    ReceiverRegistration& operator=(const ReceiverRegistration&) = delete;

    void Enter(MessageReceiver* receiver)
    {
        registered_ = true;
        if (registrar_) registrar_(receiver);
    }
    void Leave()
    {
        if (!registered_) return;
        registered_ = false;
        if (registrar_) registrar_(nullptr);
    }

private:
    Registrar registrar_;
    bool registered_ = false;
};

} // namespace tolvane
