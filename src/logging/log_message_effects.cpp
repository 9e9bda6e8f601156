#include "logging/log_message_effects.h"

#include <utility>

namespace tolvane {

LogMessageEffects::LogMessageEffects(LogFile& log, Send send) : log_(log), send_(std::move(send)) {}

bool LogMessageEffects::LogIsOpen() const { return log_.Logging(); }

void LogMessageEffects::LogWriteLine(const char* text) { log_.WriteLine(text); }

void LogMessageEffects::LogSetHeaderPending() { log_.headerPending = true; }

void LogMessageEffects::LogSetMountOffset(std::int16_t counts) { log_.mountOffset = counts; }

void LogMessageEffects::LogSetDeclination(std::int16_t counts) { log_.declination = counts; }

void LogMessageEffects::LogWriteRecord() { log_.WriteRecord(); }

void LogMessageEffects::SendRequest(const OutgoingRequest& request)
{
    if (send_) send_(request);
}

} // namespace tolvane
