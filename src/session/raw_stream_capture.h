// Capture Raw Stream: a file that records every byte the open port
// receives and every request sent, from the command until it is stopped
// or the port closes. Where to write is asked by the window (or given on
// the gateway's command line).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "capture/capture_writer.h"
#include "link/device_link.h"

namespace tolvane {

class RawStreamCapture {
public:
    explicit RawStreamCapture(DeviceLink& link) : link_(link) {}
    ~RawStreamCapture() { Stop(); }
    RawStreamCapture(const RawStreamCapture&) = delete;
    RawStreamCapture& operator=(const RawStreamCapture&) = delete;

    // Starts capturing the open port, at `baud`, to `path`, its times
    // counted from `nowMs` on the link's clock. False with `error` saying
    // why when the file cannot be created; false with no error when no
    // port is open. A capture running hands over to the new one in one
    // step, or stops if the new one cannot start.
    bool Start(const std::string& path, int baud, std::int64_t nowMs, std::string& error);
    void Stop();
    bool Active() const { return writer_ != nullptr; }
    // The file of the capture running, or of the last one.
    const std::string& Path() const { return path_; }
    std::string FileName() const { return path_.substr(path_.rfind('/') + 1); }
    // A capture whose file refused a write (a full disk, a removed stick)
    // is stopped, keeping what was written; the text saying so, once, or
    // empty while all is well.
    std::string StopIfFailed();
    // Bytes that did not fit the capture's buffer (written as gap lines).
    std::uint64_t LostCount() const { return writer_ ? writer_->LostCount() : 0; }

private:
    DeviceLink& link_;
    std::unique_ptr<CaptureWriter> writer_;
    std::string path_;
};

} // namespace tolvane
