// The catalogue of the 28 message types the compass sends: for each its
// type, mnemonic and one-line text rendering, and the few effects
// that showing some of them has on the log and the link.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/device_message.h"
#include "protocol/messages.h"

namespace tolvane {

// Longest text column, without the terminating zero.
inline constexpr std::size_t kStatusTextMax = 131;

// One line of the message view.
struct StatusLine {
    const char* mnemonic = "";          // one of the catalogue's constants, never copied
    char text[kStatusTextMax + 1] = {}; // zero-terminated
};

// What showing DPOWER, DINICAL, DIMVAR, DBUG and DRMC does besides the
// line itself. The program implements it with the log file and the link;
// tests fake it. Angles are raw binary-angle counts.
class MessageEffects {
public:
    virtual ~MessageEffects() = default;
    virtual bool LogIsOpen() const = 0;
    // Writes one text line to the log; does nothing when no log is open.
    virtual void LogWriteLine(const char* text) = 0;
    // The column header is written again before the next record.
    virtual void LogSetHeaderPending() = 0;
    virtual void LogSetMountOffset(std::int16_t counts) = 0;
    virtual void LogSetDeclination(std::int16_t counts) = 0;
    virtual void LogWriteRecord() = 0;
    // Sends without reply supervision.
    virtual void SendRequest(const OutgoingRequest& request) = 0;
};

using RenderRoutine = void (*)(const DeviceMessage& message, StatusLine& line);
using EffectRoutine = void (*)(const DeviceMessage& message, const StatusLine& line, MessageEffects& effects);

struct MessageFormatter {
    MessageType type;
    const char* mnemonic;
    RenderRoutine render;
    EffectRoutine effect; // null for the 23 types without one
};

inline constexpr std::size_t kFormatterCount = 28;
// In catalogue order.
extern const MessageFormatter kMessageFormatters[kFormatterCount];

// The entry for `type`, or null for a type that is not shown at all.
const MessageFormatter* FindFormatter(std::uint16_t type);

// Renders `message` into `line`. Returns false, leaving `line` untouched,
// for a type outside the catalogue. Pure: no effects.
bool RenderMessage(const DeviceMessage& message, StatusLine& line);

// "X", "Y", "Z", "-X", "-Y", "-Z" for axis codes 1, 2, 3, -1, -2, -3;
// "?" for any other.
const char* AxisCodeText(std::int8_t code);

// Applies the effects of showing `message` as `line` (already rendered);
// does nothing for types without effects.
void ApplyMessageEffects(const DeviceMessage& message, const StatusLine& line, MessageEffects& effects);

} // namespace tolvane
