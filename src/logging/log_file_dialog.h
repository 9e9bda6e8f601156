// The Log Open dialog and the Log Open and Bump commands. The dialog's
// file-name check opens the log itself and keeps the dialog open when it
// cannot, or when the user cancels the append question.
#pragma once

#include <QFileDialog>

#include <cstdint>
#include <string>

#include "logging/log_file.h"

namespace tolvane {

class LogFileDialog : public QFileDialog {
    Q_OBJECT

public:
    // Titled "Open Logging File", starting in `folder` with `fileName`.
    LogFileDialog(LogFile& log, QWidget* parent, const std::string& folder, const std::string& fileName);

    // The full path the check opened, once the dialog has been accepted.
    const std::string& OpenedPath() const { return openedPath_; }

public slots:
    void accept() override;

private:
    // Asks about a file with data, then opens it; false keeps the dialog open.
    bool OpenChosen(const QString& path);

    LogFile& log_;
    std::string openedPath_;
};

// Log Open: offers to close a log already open, shows the dialog owned by
// `frame` (proposing "Compass0%d.dta" when the serial number is known) and
// starts a section in the file it opened. The caller then repaints the
// message view with erase, whatever happened.
void LogOpenCommand(LogFile& log, QWidget* frame, bool versionKnown, std::uint32_t serial);

// Bump: continues in the next file name; when that cannot be created, the
// Log Open dialog offers it instead.
void LogBumpCommand(LogFile& log, QWidget* frame, bool versionKnown, std::uint32_t serial);

} // namespace tolvane
