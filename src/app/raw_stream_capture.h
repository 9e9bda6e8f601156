// Capture Raw Stream: a file that records every byte the open port
// receives, from the command until it is stopped or the port closes.
#pragma once

#include <QString>

#include <memory>

#include "capture/capture_writer.h"
#include "link/device_link.h"

class QWidget;

namespace tolvane {

class RawStreamCapture {
public:
    explicit RawStreamCapture(DeviceLink& link) : link_(link) {}
    ~RawStreamCapture() { Stop(); }
    RawStreamCapture(const RawStreamCapture&) = delete;
    RawStreamCapture& operator=(const RawStreamCapture&) = delete;

    // Asks where to write, proposing a file in the folder of the last
    // capture, or in `folder` before the first; "" if cancelled.
    QString AskPath(QWidget* owner, const QString& folder) const;
    // Starts capturing the open port, at `baud`, to `path`. False, with a
    // message shown over `owner`, when the file cannot be created; false
    // too when no port is open.
    bool Start(const QString& path, int baud, QWidget* owner);
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
