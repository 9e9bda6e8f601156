#include "app/main_frame.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

#include <cstdio>
#include <vector>

#include "app/about_box.h"
#include "app/command_states.h"
#include "app/display_font_dialog.h"
#include "app/frame_bars.h"
#include "dialogs/com_port_chooser.h"
#include "dialogs/compensation_dialog.h"
#include "dialogs/initializations_dialog.h"
#include "dialogs/number_entry.h"
#include "dialogs/startup_defaults_dialog.h"
#include "dialogs/wmm_dialog.h"
#include "link/clock.h"
#include "logging/log_file_dialog.h"
#include "protocol/angles.h"
#include "resources/command_ids.h"
#include "resources/menu.h"
#include "views/captioned_child.h"
#include "views/message_dialogs.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

// The mnemonic of NMEA sentences' lines, as the view's filter lists it.
const QString kNmeaMnemonic = QStringLiteral("NMEA");

} // namespace

CMainFrame::CMainFrame(DeviceLink& link, LogFile& log, QSettings& settings, QWidget* parent)
    : QMainWindow(parent), link_(link), log_(log), settings_(settings), controller_(*this, link, log), capture_(link)
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
    // run on from the link's clock for the first 24.8 days.
    plot_ = std::make_unique<OrientationPlot>(view_, [] { return static_cast<std::int32_t>(NowMs()); });
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
    // The mark in the colour it had in the view.
    QPalette marked = Pane(kPaneReadBack)->palette();
    marked.setColor(QPalette::Window, QColor(255, 236, 150));
    Pane(kPaneReadBack)->setPalette(marked);
    Pane(kPaneReadBack)->setAutoFillBackground(true);
    setWindowTitle(QString::fromStdString(WindowTitle(false, {})));
    log_.SetPaneText([this](const std::string& text) {
        SetPane(kPaneLogging, text);
        UpdateCommandStates();
    });

    for (auto [timer, ms] : {std::pair(&replyTimer_, kReplyTimeoutMs), std::pair(&holdoffTimer_, kHoldoffMs)}) {
        timer->setSingleShot(true);
        timer->setInterval(ms);
    }
    connect(&replyTimer_, &QTimer::timeout, this, [this] { controller_.OnReplyTimeout(); });
    connect(&holdoffTimer_, &QTimer::timeout, this, [this] { controller_.OnHoldoffTimeout(); });
    // The watch decides when a try is due; the timer only looks often.
    lostPortTimer_.setInterval(static_cast<int>(LostPortWatch::kRetryMs / 4));
    connect(&lostPortTimer_, &QTimer::timeout, this, &CMainFrame::RetryLostPort);
    healthTimer_.setInterval(1000);
    connect(&healthTimer_, &QTimer::timeout, this, &CMainFrame::CheckLinkHealth);
    healthTimer_.start();

    connect(view_, &MessageView::firstPainted, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(WM_START_LINK)); });
    // The NMEA switch has no menu item; the view's context menu carries it,
    // and the commands of reading back.
    QList<QAction*> contextActions;
    for (std::size_t i = 0; i < kMessageViewCommandCount; ++i) {
        QAction* action = Action(kMessageViewCommands[i]);
        if (action == nullptr) {
            action = new QAction(this);
            action->setSeparator(true);
        }
        contextActions << action;
    }
    view_->SetContextActions(contextActions);
    connect(view_, &MessageView::pausedChanged, this, &CMainFrame::UpdateCommandStates);

    // An open waiting on the network keeps the window painted and the
    // messages flowing; what the user does waits until it ends.
    link_.SetWaitHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    // The reader thread only posts; everything else happens here.
    link_.SetNotify([this] { QCoreApplication::postEvent(this, new QEvent(WM_DEVICE_MESSAGE)); });
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    // No notification may reach a frame that is going away.
    StopCapture();
    link_.Close();
    link_.SetNotify(nullptr);
    link_.SetWaitHook(nullptr);
    log_.SetPaneText(nullptr);
}

namespace {

template <typename T>
T* Find(const std::map<int, T*>& map, int id)
{
    const auto it = map.find(id);
    return it == map.end() ? nullptr : it->second;
}

void ShowError(QWidget* owner, const char* title, const char* text)
{
    QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok, owner).exec();
}

} // namespace

QAction* CMainFrame::Action(int commandId) const { return Find(actions_, commandId); }

QLabel* CMainFrame::Pane(int indicatorId) const { return Find(panes_, indicatorId); }

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
    state.portOpen = link_.PortNumber() != -1;
    // A capture ends with the port; reopening at a new speed keeps it.
    if (capture_.Active() && !state.portOpen) StopCapture();
    state.logging = log_.Logging();
    state.panelShown = panel_->Shown();
    state.navConsoleOpen = navConsole_->IsOpen();
    state.orientationPlotOpen = plot_->IsOpen();
    state.versionKnown = controller_.VersionKnown();
    state.showNmea = controller_.ShowNmea();
    state.capturing = capture_.Active();
    state.viewPaused = view_->Paused();
    state.viewFiltered = view_->Filtered();
    state.findText = findDialog_ != nullptr && !findDialog_->Text().isEmpty();
    state.toolbarShown = !findChild<QToolBar*>()->isHidden();
    state.statusBarShown = !statusBar()->isHidden();
    state.baudRate = controller_.BaudRate();
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
    capturing->setText(state.capturing ? QString::fromStdString(" Capturing to " + capture_.FileName() + " ") : "");
    capturing->setToolTip(QString::fromStdString(capture_.Path()));
    capturing->setVisible(state.capturing);

    // The displays' values are stale while no port is open.
    const QString stale =
        state.portOpen ? QString() : QString::fromStdString(ComPaneText(-1, LostPort())).trimmed();
    panel_->SetStale(stale);
    navConsole_->SetStale(stale);
    plot_->SetStale(stale.isEmpty() && state.portOpen ? healthVeil_ : stale);
}

void CMainFrame::UpdateIdentityDisplay()
{
    setWindowTitle(QString::fromStdString(WindowTitle(controller_.VersionKnown(), controller_.Identity())));
    SetPane(kPaneVersion, VersionPaneText(controller_.VersionKnown(), controller_.Identity()));
    UpdateCommandStates();
}

void CMainFrame::SetComPane(bool alsoInTheView)
{
    const std::string text = ComPaneText(link_.PortNumber(), LostPort());
    SetPane(kPaneComPort, text);
    if (alsoInTheView) view_->AddStatusLine(text.c_str());
}

void CMainFrame::RunCommand(int commandId)
{
    const int id = MenuTwinOf(commandId);
    switch (id) {
    case kCmdComPort: ComPortCommand(); break;
    case kCmdExit: close(); break;
    case kCmdFont: FontCommand(); break;
    case kCmdAbout: CAboutBox(this).exec(); break;
    case kCmdToggleNmea:
        controller_.ToggleNmea();
        // Switched on, the sentences are not left hidden by the filter.
        if (controller_.ShowNmea()) view_->SetMnemonicShown(kNmeaMnemonic, true);
        break;
    case kCmdLogOpen:
        LogOpenCommand(log_, this, controller_.VersionKnown(), controller_.Identity().serialNumber);
        view_->RepaintWithErase();
        break;
    case kCmdLogClose: log_.Close(); break;
    case kCmdLogBump:
        LogBumpCommand(log_, this, controller_.VersionKnown(), controller_.Identity().serialNumber);
        view_->RepaintWithErase();
        break;
    case kCmdStatusView:
        if (panel_->Shown()) panel_->Hide();
        else panel_->Show();
        break;
    case kCmdNavConsole: ToggleChildWindow(*navConsole_); break;
    case kCmdOrientationPlot: ToggleChildWindow(*plot_); break;
    case kCmdStartupDefaults: RunReceivingDialog<StartupDefaultsDialog>(); break;
    case kCmdCompensateStart: RunReceivingDialog<CompensationDialog>(); break;
    case kCmdMagDeclWmm: RunReceivingDialog<WmmDialog>(); break;
    case kCmdCaptureRawStream: CaptureCommand(); break;
    case kCmdSerialDevices: SerialDevicesCommand(); break;
    case kCmdBaudDetect: DetectBaudCommand(); break;
    case kCmdMessagesPause: view_->SetPaused(!view_->Paused()); break;
    case kCmdMessagesCopy: QApplication::clipboard()->setText(view_->CopyText()); break;
    case kCmdMessagesFind: FindCommand(); break;
    case kCmdMessagesFindNext: FindInView(true); break;
    case kCmdMessagesFindPrevious: FindInView(false); break;
    case kCmdMessagesFilter: FilterCommand(); break;
    case kCmdMessagesClear: view_->Clear(); break;
    case kCmdSerialNo: controller_.SerialNo(); break;
    case kCmdInitialize: controller_.Initialize(); break;
    case kCmdResetModule: controller_.ResetModule(); break;
    case kCmdSelfTest: controller_.SelfTest(); break;
    case kCmdCompensateStatus: controller_.CompensateStatus(); break;
    case kCmdCompensateAbort: controller_.CompensateAbort(); break;
    case kCmdCompensateRevert: controller_.CompensateRevert(); break;
    default:
        if (const int baud = BaudRateOf(id)) controller_.SetBaudRate(baud);
        break;
    }
    UpdateCommandStates();
}

bool CMainFrame::event(QEvent* e)
{
    if (e->type() == WM_DEVICE_MESSAGE) {
        DeviceMessage message;
        if (link_.TakeMessage(message) != DeviceLink::kEmpty) controller_.OnDeviceMessage(message);
        // The reader's last notification; messages it queued before stay
        // queued for the events already posted.
        if (link_.PortNumber() != -1 && !link_.ReaderRunning()) PortLost();
        return true;
    }
    if (e->type() == WM_START_LINK) {
        StartLink();
        return true;
    }
    if (e->type() == WM_SHOW_INITIALIZATIONS) {
        ShowInitializations();
        return true;
    }
    return QMainWindow::event(e);
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
    lostPortTimer_.stop();
    lostPortWatch_.End();
    StopCapture();
    link_.Close();
    log_.Close();
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

template <typename Dialog>
void CMainFrame::RunReceivingDialog()
{
    Dialog dialog([this](const OutgoingRequest& r) { link_.Send(r); }, &controller_.Receivers(), this);
    dialog.exec();
}

void CMainFrame::ShowInitializations()
{
    const InitialValues& v = controller_.Initial();
    InitializationsDialog dialog(RawToDegrees(v.declination), RawToDegrees(v.bodyOffset), RawToDegrees(v.rollOffset),
                                 RawToDegrees(v.pitchOffset), v.interval,
                                 [this](const OutgoingRequest& r) { link_.Send(r); }, &controller_.Receivers(), this);
    dialog.exec();
}

void CMainFrame::FindCommand()
{
    if (findDialog_ == nullptr) {
        findDialog_ = new MessageFindDialog(this);
        connect(findDialog_, &MessageFindDialog::findRequested, this,
                [this](bool forward) { RunCommand(forward ? kCmdMessagesFindNext : kCmdMessagesFindPrevious); });
        connect(findDialog_, &MessageFindDialog::textChanged, this, &CMainFrame::UpdateCommandStates);
    }
    findDialog_->show();
    findDialog_->raise();
    findDialog_->activateWindow();
}

void CMainFrame::FindInView(bool forward)
{
    if (findDialog_ == nullptr || findDialog_->Text().isEmpty()) return FindCommand();
    const bool found = view_->Find(findDialog_->Text(), forward);
    findDialog_->ShowResult(found);
    if (!found) statusBar()->showMessage(QString("No line holds \"%1\".").arg(findDialog_->Text()), 5000);
}

void CMainFrame::FilterCommand()
{
    // The NMEA tick and the Show NMEA Sentences switch are one: sentences
    // show only where both say so, and either sets the other.
    const auto shown = [this](const QString& m) {
        return view_->MnemonicShown(m) && (m != kNmeaMnemonic || controller_.ShowNmea());
    };
    MessageFilterDialog dialog(view_->MnemonicsSeen(), shown, this);
    if (dialog.exec() != QDialog::Accepted) return;
    for (const auto& [mnemonic, on] : dialog.Choices()) {
        view_->SetMnemonicShown(mnemonic, on);
        if (mnemonic == kNmeaMnemonic && on != controller_.ShowNmea()) controller_.ToggleNmea();
    }
}

// FrameHost

void CMainFrame::ShowLine(const StatusLine& line)
{
    view_->AddMessage(line);
}

void CMainFrame::ShowOrientation(const Orientation& orientation)
{
    navConsole_->Update(static_cast<float>(UnsignedAngleDegrees(orientation.azimuth)),
                        static_cast<float>(SignedAngleDegrees(orientation.roll)),
                        static_cast<float>(SignedAngleDegrees(orientation.pitch)));
    panel_->Update(orientation);
}

void CMainFrame::RecordOrientation(const Orientation& orientation, std::int64_t timestampMs)
{
    plot_->Append(static_cast<std::int32_t>(timestampMs), UnsignedAngleDegrees(orientation.azimuth),
                  SignedAngleDegrees(orientation.pitch), SignedAngleDegrees(orientation.roll));
}

void CMainFrame::RecreatePanel()
{
    if (panel_->Shown()) { panel_->Hide(); panel_->Show(); }
}

bool CMainFrame::AskRetry(const std::string& requestName)
{
    char text[96];
    std::snprintf(text, sizeof text, "No reply to request for %s.", requestName.c_str());
    QMessageBox box(QMessageBox::Warning, "Compass Silent", text, QMessageBox::Retry | QMessageBox::Cancel, this);
    return box.exec() == QMessageBox::Retry;
}

void CMainFrame::ShowIncompatible()
{
    ShowError(this, "Incompatibility", "Firmware version is not compatible\nwith this version of Tolvane.");
}

void CMainFrame::ShowReopenFailed() { ShowError(this, "Oops!", "Serial port failed to\nreopen at new baud rate."); }

void CMainFrame::PostShowInitializations()
{
    QCoreApplication::postEvent(this, new QEvent(WM_SHOW_INITIALIZATIONS));
}

} // namespace tolvane
