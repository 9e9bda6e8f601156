#include "app/tolvane_app.h"
#include "app/replay_player.h"

#include <QScreen>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/main_frame.h"
#include "resources/icons.h"
#include "resources/menu.h"

namespace tolvane {
namespace {

// The signals that end the run. Their handler may do almost nothing safely,
// so it only writes a byte to this pipe; the event loop reads it and does
// the closing. Made once per process and never closed: a signal arriving
// late must not write into a descriptor number reused for something else.
int endSignalPipe[2] = {-1, -1};

void OnEndSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(endSignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

CTolvaneApp::CTolvaneApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // Qt takes the user's locale for the C library too; under a comma locale
    // every printf text (the log's records among them) and strtod would use
    // a comma. Numbers are the module's, not the user's: they keep the point.
    std::setlocale(LC_NUMERIC, "C");
    if (endSignalPipe[0] >= 0 || ::pipe2(endSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        endSignals_ = new QSocketNotifier(endSignalPipe[0], QSocketNotifier::Read, this);
        connect(endSignals_, &QSocketNotifier::activated, this, &CTolvaneApp::EndOnSignal);
        struct sigaction action{};
        action.sa_handler = OnEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
    }
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

void CTolvaneApp::Start(const std::string& replay)
{
    frame_ = std::make_unique<CMainFrame>(link_, log_, *settings_);
    frame_->Replay().SetPending(replay);
    // Without a window manager "maximised" means nothing: fill the screen.
    if (QScreen* screen = primaryScreen()) frame_->setGeometry(screen->availableGeometry());
    frame_->showMaximized();
}

void CTolvaneApp::EndOnSignal()
{
    char bytes[16];
    while (::read(endSignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    // Exit's own path first; then every loop ends, a modal dialog's included,
    // and no new one starts, so exec() returns 0.
    if (frame_) frame_->close();
    QCoreApplication::exit(0);
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
