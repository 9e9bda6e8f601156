// Dialogs that wait for messages of some types while they are open, and
// the registry through which the session hands each message to the one
// waiting for its type.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "protocol/messages.h"

namespace tolvane {

class MessageReceiver {
public:
    virtual ~MessageReceiver() = default;
    virtual void OnMessage(const DeviceMessage& message) = 0;
};

// Which receiver waits for which message type; at most one per type, the
// latest to register.
class ReceiverRegistry {
public:
    void Register(MessageReceiver* receiver, std::initializer_list<MessageType> types)
    {
        for (const MessageType type : types) {
            Unregister(type);
            entries_.emplace_back(type, receiver);
        }
    }
    void Unregister(MessageReceiver* receiver)
    {
        std::erase_if(entries_, [receiver](const Entry& e) { return e.second == receiver; });
    }
    void Unregister(MessageType type)
    {
        std::erase_if(entries_, [type](const Entry& e) { return e.first == type; });
    }
    // The receiver waiting for `type`, or null.
    MessageReceiver* For(std::uint16_t type) const
    {
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [type](const Entry& e) { return TypeByte(e.first) == type; });
        return it == entries_.end() ? nullptr : it->second;
    }

private:
    using Entry = std::pair<MessageType, MessageReceiver*>;
    std::vector<Entry> entries_;
};

// A dialog's registration: Enter when it opens, Leave (at most once in
// effect) when it ends or is destroyed, whichever comes first.
class ReceiverRegistration {
public:
    explicit ReceiverRegistration(ReceiverRegistry* registry) : registry_(registry) {}
    ~ReceiverRegistration() { Leave(); }
    ReceiverRegistration(const ReceiverRegistration&) = delete;
    ReceiverRegistration& operator=(const ReceiverRegistration&) = delete;

    void Enter(MessageReceiver* receiver, std::initializer_list<MessageType> types)
    {
        Leave();
        receiver_ = receiver;
        if (registry_) registry_->Register(receiver, types);
    }
    void Leave()
    {
        if (receiver_ && registry_) registry_->Unregister(receiver_);
        receiver_ = nullptr;
    }

private:
    ReceiverRegistry* registry_;
    MessageReceiver* receiver_ = nullptr;
};

} // namespace tolvane
