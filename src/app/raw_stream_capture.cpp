#include "app/raw_stream_capture.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "capture/capture_format.h"
#include "link/clock.h"

namespace tolvane {

QString RawStreamCapture::AskPath(QWidget* owner, const QString& folder) const
{
    const QString last = path_.empty() ? folder : QFileInfo(QString::fromStdString(path_)).absolutePath();
    return QFileDialog::getSaveFileName(owner, "Capture Raw Stream", QDir(last).filePath("Capture01.tcap"),
                                        "Captures (*.tcap);;All files (*)");
}

bool RawStreamCapture::Start(const QString& path, int baud, QWidget* owner)
{
    Stop();
    const int port = link_.PortNumber();
    if (port == -1) return false;
    CaptureHeader header;
    header.baud = baud;
    header.device = link_.Ports().Path(port);
    header.startTime = LocalStartTime();
    auto writer = std::make_unique<CaptureWriter>();
    std::string error;
    if (!writer->Open(path.toStdString(), header, NowMs(), error)) {
        QMessageBox(QMessageBox::Critical, "Capture Raw Stream", QString::fromStdString(error), QMessageBox::Ok, owner)
            .exec();
        return false;
    }
    writer_ = std::move(writer);
    path_ = path.toStdString();
    link_.SetCapture(writer_.get());
    return true;
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
