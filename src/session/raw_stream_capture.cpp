#include "session/raw_stream_capture.h"

#include "capture/capture_format.h"
#include "session/session_timers.h"

namespace tolvane {

bool RawStreamCapture::Start(const std::string& path, int baud, std::int64_t nowMs, std::string& error)
{
    error.clear();
    if (const int port = link_.PortNumber(); port != -1) {
        CaptureHeader header;
        header.baud = baud;
        header.device = link_.Ports().Path(port);
        header.startTime = LocalStartTime();
        auto writer = std::make_unique<CaptureWriter>();
        if (writer->Open(path, header, static_cast<LinkTimeMs>(nowMs), error)) {
            // A capture running hands over to the new one in one step: no
            // byte read between them is in neither file.
            link_.SetCapture(writer.get());
            if (writer_) writer_->Stop();
            writer_ = std::move(writer);
            path_ = path;
            return true;
        }
    }
    Stop();
    return false;
}

std::string RawStreamCapture::StopIfFailed()
{
    if (!writer_ || writer_->Healthy()) return {};
    const std::string reason = writer_->Failure();
    Stop();
    return "The capture to " + path_ + " stopped: " + reason + ".\nWhat was captured until then is kept.";
}

void RawStreamCapture::Stop()
{
    if (!writer_) return;
    link_.SetCapture(nullptr);
    writer_->Stop();
    writer_.reset();
}

} // namespace tolvane
