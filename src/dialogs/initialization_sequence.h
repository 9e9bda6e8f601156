// What the Initializations dialog sends on OK, apart from its widgets: the
// changed settings' requests, one at a time, each once the module has
// acknowledged the one before. The declination first, then the offsets
// (a mask of those changed, all three working values), then the
// orientation rate; a setting not loaded is skipped, and a load flag is
// cleared as its request goes.
#pragma once

#include <cstdint>
#include <optional>

#include "dialogs/value_field_rules.h"
#include "link/device_message.h"

namespace tolvane {

class InitializationSequence {
public:
    // The next request, now awaited; none when nothing is left to send.
    std::optional<OutgoingRequest> Next(SettingValues& values);
    // Whether `message` acknowledges the request awaited (a DIMVAR, DINICAL
    // or DORRATE of its type).
    bool Acknowledges(const DeviceMessage& message) const;
    // What the request awaited sets, for the message when no acknowledgement
    // comes: "magnetic declination", "offsets" or "orient rate".
    const char* Label() const { return label_; }
    // Nothing is awaited any more: a late acknowledgement sends nothing.
    void Abandon();

private:
    std::uint16_t awaited_ = 0; // the request's type; 0: none
    const char* label_ = "";
};

} // namespace tolvane
