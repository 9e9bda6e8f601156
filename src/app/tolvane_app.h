// The application object: owns the serial link and the settings for the
// whole run, and the main frame. SIGTERM, SIGINT and SIGHUP end the run as
// Exit does, and the program then exits with status 0.
#pragma once

#include <QApplication>
#include <QSettings>

#include <memory>

#include "link/serial_link.h"
#include "logging/log_file.h"

class QSocketNotifier;

namespace tolvane {

class CMainFrame;

class CTolvaneApp : public QApplication {
    Q_OBJECT

public:
    CTolvaneApp(int& argc, char** argv);
    ~CTolvaneApp() override;

    // Creates the main frame and shows it maximised; with `replay`, the
    // frame plays that recording in place of opening the port.
    void Start(const std::string& replay = {});

    SerialLink& Link() { return link_; }
    QSettings& Settings() { return *settings_; }

    // COM1..COM8 from the settings' "Ports" section, the defaults elsewhere
    // and for entries that are empty or name a folder.
    static PortMap PortsFromSettings(QSettings& settings);

private:
    // Closes the main frame (the link, the log and any capture) and ends
    // every event loop, a dialog's too.
    void EndOnSignal();

    SerialLink link_;
    LogFile log_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<CMainFrame> frame_;
    QSocketNotifier* endSignals_ = nullptr;
};

} // namespace tolvane
