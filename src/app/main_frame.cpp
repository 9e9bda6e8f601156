#include "app/main_frame.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>

#include <vector>

#include "app/about_box.h"
#include "app/baud_detect_box.h"
#include "app/command_states.h"
#include "app/display_font_dialog.h"
#include "app/frame_bars.h"
#include "app/module_identity.h"
#include "app/replay_player.h"
#include "dialogs/com_port_chooser.h"
#include "dialogs/compensation_dialog.h"
#include "dialogs/initializations_dialog.h"
#include "dialogs/startup_defaults_dialog.h"
#include "dialogs/wmm_dialog.h"
#include "link/clock.h"
#include "logging/log_file_dialog.h"
#include "resources/command_ids.h"
#include "resources/menu.h"
#include "views/captioned_child.h"
#include "views/message_read_back.h"
#include "views/message_view.h"

namespace tolvane {

CMainFrame::CMainFrame(DeviceLink& link, LogFile& log, QSettings& settings, QWidget* parent)
    : QMainWindow(parent), log_(log), settings_(settings), session_(link, log, timers_, *this)
{
    setObjectName("CMainFrame");
    view_ = new MessageView(this);
    view_->setObjectName(QString::number(kMessageViewId));
    displayFont_ = QApplication::font();
    view_->SetDisplayFont(displayFont_);
    setCentralWidget(view_);
    panel_ = std::make_unique<OrientationPanel>(view_);
    navConsole_ = std::make_unique<NavConsole>(view_);
    // The plot keeps its times in 32 bits (its samples stay 16 bytes): they
    // run on from the link's clock (a recording's time) for the first 24.8 days.
    plot_ = std::make_unique<OrientationPlot>(view_, [this] { return static_cast<std::int32_t>(replay_->ClockMs()); });
    view_->SetOverlapProvider([this] {
        std::vector<QWidget*> over;
        if (QWidget* w = panel_->Window()) over.push_back(w);
        if (QWidget* w = navConsole_->Window()) over.push_back(w);
        if (QWidget* w = plot_->Window()) over.push_back(w);
        return over;
    });
    FrameBars bars = BuildFrameBars(*this, [this](int id) { RunCommand(id); }, [this] { UpdateCommandStates(); });
    actions_ = std::move(bars.actions);
    panes_ = std::move(bars.panes);
    replay_ = new ReplayPlayer(*this);
    setWindowTitle(QString::fromStdString(WindowTitle(false, {})));
    log_.SetPaneText([this](const std::string& text) {
        SetPane(kPaneLogging, text);
        UpdateCommandStates();
    });
    readBack_ = new MessageReadBack(*view_, this, statusBar(), [this] { return session_.ShowNmea(); },
                                    [this] { session_.ToggleNmea(); });
    connect(readBack_, &MessageReadBack::changed, this, &CMainFrame::UpdateCommandStates);

    connect(view_, &MessageView::firstPainted, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(WM_START_LINK)); });
    view_->SetContextActions(bars.viewContext);
    connect(view_, &MessageView::pausedChanged, this, &CMainFrame::UpdateCommandStates);

    // An open waiting on the network keeps the window painted and the
    // messages flowing; what the user does waits until it ends.
    session_.SetWaitHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    // The reader thread only posts; everything else happens here.
    session_.SetNotify([this] { QCoreApplication::postEvent(this, new QEvent(WM_DEVICE_MESSAGE)); });
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    // No notification may reach a frame that is going away.
    session_.StopCapture();
    session_.Close();
    session_.SetNotify(nullptr);
    session_.SetWaitHook(nullptr);
    log_.SetPaneText(nullptr);
}

QAction* CMainFrame::Action(int commandId) const
{
    return actions_.contains(commandId) ? actions_.at(commandId) : nullptr;
}

QLabel* CMainFrame::Pane(int indicatorId) const
{
    return panes_.contains(indicatorId) ? panes_.at(indicatorId) : nullptr;
}

// Painted at once: a pane may change inside a long command.
void CMainFrame::SetPane(int indicatorId, const std::string& text)
{
    if (QLabel* pane = Pane(indicatorId)) {
        pane->setText(QString::fromStdString(text));
        pane->repaint();
    }
}

void CMainFrame::UpdateCommandStates()
{
    FrameState state;
    state.portOpen = session_.PortNumber() != -1;
    state.logging = log_.Logging();
    state.panelShown = panel_->Shown();
    state.navConsoleOpen = navConsole_->IsOpen();
    state.orientationPlotOpen = plot_->IsOpen();
    state.versionKnown = session_.VersionKnown();
    state.showNmea = session_.ShowNmea();
    state.capturing = session_.Capture().Active();
    state.viewPaused = view_->Paused();
    state.viewFiltered = view_->Filtered();
    state.findText = readBack_->HasFindText();
    state.toolbarShown = !findChild<QToolBar*>(QString::number(kCmdToolbar))->isHidden();
    state.statusBarShown = !statusBar()->isHidden();
    state.baudRate = session_.BaudRate();
    state.replaying = replay_->Active();
    for (const auto& [id, action] : actions_) {
        const CommandState command = StateOfCommand(id, state);
        action->setEnabled(command.enabled);
        if (command.checkable) action->setChecked(command.checked);
    }

    // The view's mark, where no child window of the view can cover it.
    QLabel* readBack = Pane(kPaneReadBack);
    readBack->setText(view_->Mark());
    readBack->setVisible(!readBack->text().isEmpty());
    QLabel* capturing = Pane(kPaneCapture);
    const RawStreamCapture& capture = session_.Capture();
    capturing->setText(state.capturing ? QString::fromStdString(" Capturing to " + capture.FileName() + " ") : "");
    capturing->setToolTip(QString::fromStdString(capture.Path()));
    capturing->setVisible(state.capturing);

    // The displays' values are stale while no port is open; the plot also
    // while the open link is silent or garbled.
    const QString stale =
        state.portOpen ? QString() : QString::fromStdString(ComPaneText(-1, session_.LostPort())).trimmed();
    panel_->SetStale(stale);
    navConsole_->SetStale(stale);
    plot_->SetStale(state.portOpen ? QString::fromStdString(session_.Health().veil) : stale);
}

void CMainFrame::UpdateIdentityDisplay()
{
    setWindowTitle(QString::fromStdString(WindowTitle(session_.VersionKnown(), session_.Identity())));
    SetPane(kPaneVersion, VersionPaneText(session_.VersionKnown(), session_.Identity()));
    UpdateCommandStates();
}

void CMainFrame::RunCommand(int commandId)
{
    // What each command does; the Baud Rate commands set their rate.
    using Command = void (*)(CMainFrame&);
    static const std::map<int, Command> kCommands = {
        {kCmdComPort, [](CMainFrame& f) { f.ComPortCommand(); }},
        {kCmdExit, [](CMainFrame& f) { f.close(); }},
        {kCmdFont, [](CMainFrame& f) { f.FontCommand(); }},
        {kCmdAbout, [](CMainFrame& f) { CAboutBox(&f).exec(); }},
        {kCmdToggleNmea, [](CMainFrame& f) { f.session_.ToggleNmea(); f.readBack_->NmeaSwitched(); }},
        {kCmdLogOpen, [](CMainFrame& f) { f.LogCommand(LogOpenCommand); }},
        {kCmdLogClose, [](CMainFrame& f) { f.log_.Close(); }},
        {kCmdLogBump, [](CMainFrame& f) { f.LogCommand(LogBumpCommand); }},
        {kCmdStatusView, [](CMainFrame& f) { f.panel_->Shown() ? f.panel_->Hide() : void(f.panel_->Show()); }},
        {kCmdNavConsole, [](CMainFrame& f) { f.ToggleChildWindow(*f.navConsole_); }},
        {kCmdOrientationPlot, [](CMainFrame& f) { f.ToggleChildWindow(*f.plot_); }},
        {kCmdStartupDefaults, [](CMainFrame& f) { f.RunReceivingDialog<StartupDefaultsDialog>(); }},
        {kCmdCompensateStart, [](CMainFrame& f) { f.RunReceivingDialog<CompensationDialog>(); }},
        {kCmdMagDeclWmm, [](CMainFrame& f) { f.RunReceivingDialog<WmmDialog>(); }},
        {kCmdCaptureRawStream, [](CMainFrame& f) { f.CaptureCommand(); }},
        {kCmdSerialDevices, [](CMainFrame& f) { f.SerialDevicesCommand(); }},
        {kCmdBaudDetect, [](CMainFrame& f) { RunBaudDetection(f.session_, &f); }},
        {kCmdMessagesPause, [](CMainFrame& f) { f.view_->SetPaused(!f.view_->Paused()); }},
        {kCmdMessagesCopy, [](CMainFrame& f) { QApplication::clipboard()->setText(f.view_->CopyText()); }},
        {kCmdMessagesFind, [](CMainFrame& f) { f.readBack_->Find(); }},
        {kCmdMessagesFindNext, [](CMainFrame& f) { f.readBack_->FindNext(true); }},
        {kCmdMessagesFindPrevious, [](CMainFrame& f) { f.readBack_->FindNext(false); }},
        {kCmdMessagesFilter, [](CMainFrame& f) { f.readBack_->Filter(); }},
        {kCmdMessagesClear, [](CMainFrame& f) { f.view_->Clear(); }},
        {kCmdSerialNo, [](CMainFrame& f) { f.session_.SerialNo(); }},
        {kCmdInitialize, [](CMainFrame& f) { f.session_.Initialize(); }},
        {kCmdResetModule, [](CMainFrame& f) { f.session_.ResetModule(); }},
        {kCmdSelfTest, [](CMainFrame& f) { f.session_.SelfTest(); }},
        {kCmdCompensateStatus, [](CMainFrame& f) { f.session_.CompensateStatus(); }},
        {kCmdCompensateAbort, [](CMainFrame& f) { f.session_.CompensateAbort(); }},
        {kCmdCompensateRevert, [](CMainFrame& f) { f.session_.CompensateRevert(); }},
    };
    const int id = MenuTwinOf(commandId);
    if (const auto it = kCommands.find(id); it != kCommands.end()) it->second(*this);
    else if (const int baud = BaudRateOf(id)) session_.SetBaudRate(baud);
    else replay_->RunCommand(id);
    UpdateCommandStates();
}

bool CMainFrame::event(QEvent* e)
{
    if (e->type() == WM_DEVICE_MESSAGE) session_.OnLinkNotified();
    else if (e->type() == WM_START_LINK) StartLink();
    else if (e->type() == WM_SHOW_INITIALIZATIONS) ShowInitializations();
    else return QMainWindow::event(e);
    return true;
}

void CMainFrame::FontCommand()
{
    DisplayFontDialog dialog(displayFont_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    displayFont_ = dialog.selectedFont();
    view_->SetDisplayFont(displayFont_);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    session_.End();
    navConsole_->Close();
    plot_->Close();
    UpdateCommandStates();
    event->accept();
}

template <typename Child>
void CMainFrame::ToggleChildWindow(Child& child)
{
    if (!child.IsOpen()) {
        if (child.Open())
            connect(child.Window(), &CaptionedChild::geometryChanged, view_, &MessageView::RepaintWithErase);
        return;
    }
    child.Close();
    view_->RepaintWithErase();
}

void CMainFrame::LogCommand(void (*run)(LogFile&, QWidget*, bool, std::uint32_t))
{
    run(log_, this, session_.VersionKnown(), session_.Identity().serialNumber);
    view_->RepaintWithErase();
}

template <typename Dialog>
void CMainFrame::RunReceivingDialog()
{
    Dialog dialog([this](const OutgoingRequest& r) { session_.Send(r); }, &session_.Receivers(), this);
    dialog.exec();
}

void CMainFrame::ShowInitializations()
{
    const InitialValues& v = session_.Initial();
    const InitialValues::Degrees d = v.InDegrees();
    InitializationsDialog dialog(d.declination, d.bodyOffset, d.rollOffset, d.pitchOffset, v.interval,
                                 [this](const OutgoingRequest& r) { session_.Send(r); }, &session_.Receivers(), this);
    dialog.exec();
}

// SessionHost

void CMainFrame::ShowLine(const StatusLine& line) { view_->AddMessage(line); }

void CMainFrame::Note(const std::string& line) { view_->AddStatusLine(line.c_str()); }

void CMainFrame::ShowOrientation(const Orientation& orientation, const OrientationDegrees& degrees)
{
    navConsole_->Update(static_cast<float>(degrees.azimuth), static_cast<float>(degrees.roll),
                        static_cast<float>(degrees.pitch));
    panel_->Update(orientation);
}

void CMainFrame::RecordOrientation(const OrientationDegrees& degrees, LinkTimeMs timestampMs)
{
    plot_->Append(static_cast<std::int32_t>(timestampMs), degrees.azimuth, degrees.pitch, degrees.roll);
}

void CMainFrame::RecreatePanel()
{
    if (panel_->Shown()) { panel_->Hide(); panel_->Show(); }
}

bool CMainFrame::AskRetry(const Notice& question)
{
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(question.title),
                    QString::fromStdString(question.text), QMessageBox::Retry | QMessageBox::Cancel, this);
    return box.exec() == QMessageBox::Retry;
}

void CMainFrame::Tell(const Notice& notice)
{
    QMessageBox(notice.kind == Notice::Kind::Error ? QMessageBox::Critical : QMessageBox::Warning,
                QString::fromStdString(notice.title), QString::fromStdString(notice.text), QMessageBox::Ok, this)
        .exec();
}

void CMainFrame::PostShowInitializations()
{
    QCoreApplication::postEvent(this, new QEvent(WM_SHOW_INITIALIZATIONS));
}

} // namespace tolvane
