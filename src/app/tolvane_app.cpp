#include "app/tolvane_app.h"

#include <QScreen>

#include <filesystem>
#include <string>
#include <system_error>

#include "app/main_frame.h"
#include "resources/icons.h"
#include "resources/menu.h"

namespace tolvane {

CTolvaneApp::CTolvaneApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName("Kelvaro");
    setApplicationName("Tolvane");
    setDesktopFileName(kDesktopId);
    setWindowIcon(AppIcon());
    settings_ = std::make_unique<QSettings>();
    link_.SetPortMap(PortsFromSettings(*settings_));
}

CTolvaneApp::~CTolvaneApp()
{
    frame_.reset();
    log_.Close();
    link_.Close();
}

void CTolvaneApp::Start()
{
    frame_ = std::make_unique<CMainFrame>(link_, log_, *settings_);
    // Without a window manager "maximised" means nothing: fill the screen.
    if (QScreen* screen = primaryScreen()) frame_->setGeometry(screen->availableGeometry());
    frame_->showMaximized();
}

PortMap CTolvaneApp::PortsFromSettings(QSettings& settings)
{
    PortMap map;
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const QString key = QString("Ports/COM%1").arg(port);
        const std::string path = settings.value(key).toString().toStdString();
        // A hand-edited entry that cannot name a device keeps the default,
        // so the port stays usable.
        std::error_code error;
        if (!path.empty() && !std::filesystem::is_directory(path, error)) map.SetPath(port, path);
    }
    return map;
}

} // namespace tolvane
