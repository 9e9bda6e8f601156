// The effects of shown messages on the log file and the link, for the
// message view: DPOWER, DINICAL, DIMVAR, DBUG and DRMC act through it.
#pragma once

#include <functional>

#include "link/device_message.h"
#include "logging/log_file.h"
#include "protocol/message_catalogue.h"

namespace tolvane {

class LogMessageEffects : public MessageEffects {
public:
    // `send` writes a request without reply supervision (the link's Send).
    using Send = std::function<void(const OutgoingRequest&)>;

    LogMessageEffects(LogFile& log, Send send);

    bool LogIsOpen() const override;
    void LogWriteLine(const char* text) override;
    void LogSetHeaderPending() override;
    void LogSetMountOffset(std::int16_t counts) override;
    void LogSetDeclination(std::int16_t counts) override;
    void LogWriteRecord() override;
    void SendRequest(const OutgoingRequest& request) override;

private:
    LogFile& log_;
    Send send_;
};

} // namespace tolvane
