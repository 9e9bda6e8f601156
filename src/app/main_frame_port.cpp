// The main frame's side of the port: opening the remembered one at start,
// the COM port and device dialogs, a lost port watched for and reopened,
// Detect, the raw stream's capture and the health pane. Kept apart from
// main_frame.cpp, which wires the rest.
#include <QLabel>
#include <QMessageBox>
#include <QSettings>

#include "app/baud_detect_box.h"
#include "app/baud_detector.h"
#include "app/main_frame.h"
#include "dialogs/com_port_chooser.h"
#include "dialogs/com_port_dialog.h"
#include "dialogs/serial_device_dialog.h"
#include "link/clock.h"
#include "link/network_port.h"
#include "resources/command_ids.h"
#include "views/message_view.h"

namespace tolvane {

void CMainFrame::StartLink()
{
    const int port = RememberedPort(settings_.value("Compass/COMPort", 0).toString().toStdString());
    PortProbe why;
    if (port == 0) ComPortCommand();
    else if (link_.Open(port, controller_.BaudRate(), &why) < 1) ComPortCommand(port, why);
    else SetComPane();
    controller_.RequestIdentity();
    UpdateCommandStates();
}

void CMainFrame::PortLost()
{
    const int port = link_.PortNumber();
    link_.Close();
    health_.Lost(NowMs());
    // A port lost again within a second of its reopening was never shown as back: nothing to say.
    SetComPane(lostPortWatch_.PortLost(port, NowMs(), LooksLikeNetworkPort(link_.Ports().Path(port))));
    lostPortTimer_.start();
    UpdateCommandStates();
}

void CMainFrame::RetryLostPort()
{
    if (link_.PortNumber() != -1) {
        // Reopened: shown as back once it has stayed up for a second.
        if (lostPortWatch_.Recovered(NowMs())) {
            SetComPane(true);
            UpdateCommandStates();
        }
        if (LostPort() == -1) lostPortTimer_.stop();
        return;
    }
    if (LostPort() == -1) return lostPortTimer_.stop();
    const int port = lostPortWatch_.PortToTry(NowMs());
    if (port == -1) return;
    // A try waiting on the network runs the timers: no second try inside it.
    lostPortTimer_.stop();
    const bool opened = link_.Open(port, controller_.BaudRate()) == port;
    lostPortWatch_.Tried(opened, NowMs());
    lostPortTimer_.start();
    if (!opened) return;
    controller_.RequestIdentity();
    UpdateCommandStates();
}

void CMainFrame::ComPortCommand(int failedPort, PortProbe failedWhy)
{
    bool opened = false;
    {
        // The port that just failed to open is not probed again.
        const auto probe = [&](int port) { return port == failedPort ? failedWhy : link_.Probe(port); };
        ComPortDialog dialog(link_, controller_.BaudRate(), settings_,
                             [this](const QString& text) { Pane(kPaneComPort)->setText(text); }, this, probe);
        // The dialog owns the port while it runs; a port reopened and not
        // yet shown as back is the user's from now on.
        if (link_.PortNumber() != -1) lostPortWatch_.End();
        lostPortWatch_.SetPaused(true);
        dialog.exec();
        lostPortWatch_.SetPaused(false);
        opened = dialog.Opened() && link_.PortNumber() != -1;
    }
    if (LostPort() != -1) {
        if (link_.PortNumber() != -1) {
            // A port opened through the dialog replaces the one watched for.
            lostPortWatch_.End();
            lostPortTimer_.stop();
        } else {
            // Nothing opened: still watching, as the pane and setting say.
            settings_.setValue("Compass/COMPort", LostPort());
        }
    }
    // A line between the stream before and the new port's, which may be another module's.
    SetComPane(opened && view_->LineCount() > 0);
    view_->RepaintWithErase();
    controller_.RequestIdentity();
    UpdateCommandStates();
}

void CMainFrame::SerialDevicesCommand()
{
    const int port = link_.PortNumber() != -1 ? link_.PortNumber() : std::max(LostPort(), kFirstPort);
    ChooseSerialDevice(link_, settings_, port, this);
}

void CMainFrame::DetectBaudCommand()
{
    const DetectOutcome found =
        RunBaudDetection(link_, controller_.BaudRate(), [this] { controller_.RequestIdentity(); }, this);
    if (found.rate != 0) controller_.AdoptBaudRate(found.rate);
    else if (found.reopenFailed) ShowReopenFailed();
    else if (!found.cancelled)
        QMessageBox(QMessageBox::Warning, "Detect Baud Rate", kNoCompassAnswered, QMessageBox::Ok, this).exec();
    SetComPane();
}

void CMainFrame::CheckLinkHealth()
{
    if (const std::string failed = capture_.StopIfFailed(); !failed.empty()) {
        UpdateCommandStates();
        QMessageBox(QMessageBox::Warning, "Capture Raw Stream", QString::fromStdString(failed), QMessageBox::Ok, this)
            .exec();
    }
    if (const std::string notice = link_.TakeNotice(); !notice.empty()) view_->AddStatusLine(notice.c_str());
    if (link_.PortNumber() == -1) {
        if (LostPort() == -1) health_.Closed();
        healthVeil_.clear();
        SetPane(kPaneLinkHealth, health_.Update({}, NowMs()).pane);
        Pane(kPaneLinkHealth)->setToolTip({});
        return;
    }
    if (!health_.IsOpen() || health_.Baud() != controller_.BaudRate()) health_.Opened(controller_.BaudRate(), NowMs());
    const HealthReport report = health_.Update(link_.Counters(), NowMs());
    SetPane(kPaneLinkHealth, report.pane);
    std::string tooltip = report.tooltip;
    if (const std::uint64_t lost = capture_.LostCount(); lost > 0)
        tooltip += " The capture missed " + std::to_string(lost) + " bytes (its file could not keep up).";
    Pane(kPaneLinkHealth)->setToolTip(QString::fromStdString(tooltip));
    if (!report.viewLine.empty()) view_->AddStatusLine(report.viewLine.c_str());
    if (const QString veil = QString::fromStdString(report.veil); veil != healthVeil_) {
        healthVeil_ = veil;
        UpdateCommandStates();
    }
}

void CMainFrame::CaptureCommand()
{
    if (capture_.Active()) return StopCapture();
    const QString path = capture_.AskPath(this, QString::fromStdString(log_.Folder()));
    if (!path.isEmpty()) StartCapture(path);
}

bool CMainFrame::StartCapture(const QString& path)
{
    const bool started = capture_.Start(path, controller_.BaudRate(), this);
    UpdateCommandStates();
    return started;
}

void CMainFrame::StopCapture()
{
    if (!capture_.Active()) return;
    capture_.Stop();
    UpdateCommandStates();
}

} // namespace tolvane
