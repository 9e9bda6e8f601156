// The main frame's side of the port: opening the remembered one at start,
// the COM port and device dialogs, the capture's file, and what the
// session tells of the port's state and the link's health. Kept apart from
// main_frame.cpp, which wires the rest.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>

#include "app/main_frame.h"
#include "app/replay_player.h"
#include "dialogs/com_port_chooser.h"
#include "dialogs/com_port_dialog.h"
#include "dialogs/serial_device_dialog.h"
#include "resources/command_ids.h"
#include "views/message_view.h"

namespace tolvane {

void CMainFrame::StartLink()
{
    if (replay_->StartPending()) return UpdateCommandStates();
    const int port = RememberedPort(settings_.value("Compass/COMPort", 0).toString().toStdString());
    PortProbe why;
    if (port == 0) ComPortCommand();
    else if (!session_.Open(port, &why)) ComPortCommand(port, why);
    else SetComPane();
    session_.RequestIdentity();
    UpdateCommandStates();
}

void CMainFrame::SetComPane(bool alsoInTheView)
{
    const std::string text =
        replay_->Active() ? replay_->PaneText() : ComPaneText(session_.PortNumber(), session_.LostPort());
    SetPane(kPaneComPort, text);
    if (alsoInTheView) view_->AddStatusLine(text.c_str());
}

void CMainFrame::PortChanged(PortState, PortNews news)
{
    if (news != PortNews::Quiet) SetComPane(news == PortNews::Noted);
    UpdateCommandStates();
}

void CMainFrame::ComPortCommand(int failedPort, PortProbe failedWhy)
{
    bool opened = false;
    {
        // The port that just failed to open is not probed again.
        const auto probe = [&](int port) { return port == failedPort ? failedWhy : session_.Probe(port); };
        ComPortDialog dialog(session_, settings_, [this](const QString& text) { Pane(kPaneComPort)->setText(text); },
                             this, probe);
        session_.PortChoiceStarted();
        dialog.exec();
        opened = dialog.Opened() && session_.PortNumber() != -1;
    }
    if (const int watched = session_.PortChoiceEnded(); watched != -1) settings_.setValue("Compass/COMPort", watched);
    // A line between the stream before and the new port's, which may be another module's.
    SetComPane(opened && view_->LineCount() > 0);
    view_->RepaintWithErase();
    session_.RequestIdentity();
    UpdateCommandStates();
}

void CMainFrame::SerialDevicesCommand()
{
    const int port = session_.PortNumber() != -1 ? session_.PortNumber() : std::max(session_.LostPort(), kFirstPort);
    ChooseSerialDevice(session_, settings_, port, this);
}

// The next capture is proposed in the folder of the last one, or in the log's before the first.
void CMainFrame::CaptureCommand()
{
    if (session_.Capture().Active()) return session_.StopCapture();
    const QString last = QString::fromStdString(session_.Capture().Path());
    const QString folder = last.isEmpty() ? QString::fromStdString(log_.Folder()) : QFileInfo(last).absolutePath();
    const QString path = QFileDialog::getSaveFileName(
        this, "Capture Raw Stream", QDir(folder).filePath("Capture01.tcap"), "Captures (*.tcap);;All files (*)");
    if (!path.isEmpty()) session_.StartCapture(path.toStdString());
}

void CMainFrame::HealthChecked(const HealthReport& report)
{
    SetPane(kPaneLinkHealth, report.pane);
    Pane(kPaneLinkHealth)->setToolTip(QString::fromStdString(report.tooltip));
    if (!report.viewLine.empty()) view_->AddStatusLine(report.viewLine.c_str());
    // The plot's veil may have changed.
    UpdateCommandStates();
}

} // namespace tolvane
