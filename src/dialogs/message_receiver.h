// An open dialog that waits for messages of some types; the main frame
// hands it those it receives while the dialog is registered.
#pragma once

#include "link/device_message.h"

namespace tolvane {

class MessageReceiver {
public:
    virtual ~MessageReceiver() = default;
    virtual void OnMessage(const DeviceMessage& message) = 0;
};

} // namespace tolvane
