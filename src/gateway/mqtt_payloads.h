// What the gateway publishes to the broker, as JSON text: an orientation,
// a message as the program's view shows it, the module's identity, and
// the module's status object (that of the status lines).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/device_message.h"
#include "protocol/messages.h"

namespace tolvane {

// "2026-12-07T13:45:10.250+01:00": `wallMs` (milliseconds since the epoch)
// as the local time `offsetS` seconds east of UTC, with that offset.
std::string IsoLocalTime(std::int64_t wallMs, int offsetS);
// The same in this computer's time zone at that moment.
std::string IsoLocalTime(std::int64_t wallMs);

// {"time":"...","azimuth":123.4,"pitch":-1.2,"roll":2.5}, one decimal as
// the program shows them; an azimuth just under 360 reads 0.0, as north.
std::string OrientationPayload(const Orientation& orientation, std::string_view time);

// {"time":"...","type":"DORIENT","text":"..."}: the mnemonic and the line
// of the message view. Nothing for a type the view does not show.
std::optional<std::string> MessagePayload(const DeviceMessage& message, std::string_view time);

// {"serial":24601,"version":"1.04","build_options":"AI","forward":"X","up":"Z"}.
std::string IdentityPayload(const ModuleIdentity& identity);

} // namespace tolvane
