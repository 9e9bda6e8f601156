#include "app/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

#include <cstdio>
#include <vector>

#include "app/about_box.h"
#include "app/display_font_dialog.h"
#include "capture/capture_writer.h"
#include "dialogs/com_port_chooser.h"
#include "dialogs/com_port_dialog.h"
#include "dialogs/compensation_dialog.h"
#include "dialogs/initializations_dialog.h"
#include "dialogs/number_entry.h"
#include "dialogs/startup_defaults_dialog.h"
#include "dialogs/wmm_dialog.h"
#include "logging/log_file_dialog.h"
#include "protocol/angles.h"
#include "link/clock.h"
#include "link/serial_link.h"
#include "resources/command_ids.h"
#include "resources/icons.h"
#include "resources/menu.h"
#include "views/captioned_child.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

// Toolbar buttons run the command of their menu twin.
int MenuTwin(int id)
{
    switch (id) {
    case kCmdComPortToolbar: return kCmdComPort;
    case kCmdInitializeToolbar: return kCmdInitialize;
    case kCmdLogOpenToolbar: return kCmdLogOpen;
    case kCmdLogBumpToolbar: return kCmdLogBump;
    case kCmdNavConsoleToolbar: return kCmdNavConsole;
    case kCmdStatusViewToolbar: return kCmdStatusView;
    default: return id;
    }
}

bool Checkable(int id)
{
    switch (id) {
    case kCmdBaud4800:
    case kCmdBaud9600:
    case kCmdBaud19200:
    case kCmdBaud38400:
    case kCmdSerialNo:
    case kCmdNavConsole:
    case kCmdNavConsoleToolbar:
    case kCmdStatusView:
    case kCmdStatusViewToolbar:
    case kCmdToolbar:
    case kCmdStatusBar:
    case kCmdCaptureRawStream:
    case kCmdToggleNmea: return true;
    default: return false;
    }
}

int BaudOf(int id)
{
    switch (id) {
    case kCmdBaud4800: return 4800;
    case kCmdBaud9600: return 9600;
    case kCmdBaud19200: return 19200;
    case kCmdBaud38400: return 38400;
    default: return 0;
    }
}

} // namespace

CMainFrame::CMainFrame(SerialLink& link, LogFile& log, QSettings& settings, QWidget* parent)
    : QMainWindow(parent), link_(link), log_(log), settings_(settings), controller_(*this)
{
    setObjectName("CMainFrame");
    view_ = new MessageView(this);
    view_->setObjectName(QString::number(kMessageViewId));
    displayFont_ = QApplication::font();
    view_->SetDisplayFont(displayFont_);
    setCentralWidget(view_);
    effects_ = std::make_unique<LogMessageEffects>(log_, [this](const OutgoingRequest& r) { link_.Send(r); });
    view_->SetEffects(effects_.get());
    panel_ = std::make_unique<OrientationPanel>(view_);
    navConsole_ = std::make_unique<NavConsole>(view_);
    view_->SetOverlapProvider([this] {
        std::vector<QWidget*> over;
        if (QWidget* w = panel_->Window()) over.push_back(w);
        if (QWidget* w = navConsole_->Window()) over.push_back(w);
        return over;
    });
    BuildMenus();
    BuildToolbar();
    BuildStatusBar();
    setWindowTitle(QString::fromStdString(WindowTitle(false, {})));
    log_.SetPaneText([this](const std::string& text) {
        if (QLabel* pane = Pane(kPaneLogging)) {
            pane->setText(QString::fromStdString(text));
            pane->repaint();
        }
        UpdateCommandStates();
    });

    replyTimer_.setSingleShot(true);
    replyTimer_.setInterval(kReplyTimeoutMs);
    connect(&replyTimer_, &QTimer::timeout, this, [this] { controller_.OnReplyTimeout(); });
    holdoffTimer_.setSingleShot(true);
    holdoffTimer_.setInterval(kHoldoffMs);
    connect(&holdoffTimer_, &QTimer::timeout, this, [this] { controller_.OnHoldoffTimeout(); });
    lostPortTimer_.setInterval(kLostPortRetryMs);
    connect(&lostPortTimer_, &QTimer::timeout, this, &CMainFrame::RetryLostPort);

    connect(view_, &MessageView::firstPainted, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(WM_START_LINK)); });
    // The NMEA switch has no menu item; the view's context menu carries it.
    // One menu for the whole run, so that assistive technology never meets
    // the entries of an earlier one.
    auto* contextMenu = new QMenu(view_);
    contextMenu->addAction(Action(kCmdToggleNmea));
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this, contextMenu](const QPoint& at) { contextMenu->exec(view_->mapToGlobal(at)); });

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
    log_.SetPaneText(nullptr);
    view_->SetEffects(nullptr);
}

void CMainFrame::BuildMenus()
{
    QMenu* top = nullptr;
    QMenu* sub = nullptr;
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        const MenuEntry& e = kMenu[i];
        if (e.depth == 0) {
            top = menuBar()->addMenu(e.text);
            sub = nullptr;
            continue;
        }
        QMenu* into = e.depth == 2 && sub ? sub : top;
        if (!into) continue;
        if (!e.text) {
            into->addSeparator();
            continue;
        }
        if (e.id == 0) {
            sub = top->addMenu(e.text);
            continue;
        }
        auto* action = new QAction(e.text, this);
        action->setData(e.id);
        action->setObjectName(QString::number(e.id));
        action->setCheckable(Checkable(e.id));
        if (e.prompt) action->setStatusTip(e.prompt);
        connect(action, &QAction::triggered, this, [this, id = e.id] { RunCommand(id); });
        into->addAction(action);
        actions_[e.id] = action;
    }

    auto* nmea = new QAction("Show &NMEA Sentences", this);
    nmea->setData(kCmdToggleNmea);
    nmea->setObjectName(QString::number(kCmdToggleNmea));
    nmea->setCheckable(true);
    connect(nmea, &QAction::triggered, this, [this] { RunCommand(kCmdToggleNmea); });
    actions_[kCmdToggleNmea] = nmea;

    // The menu's check marks follow the state each time a menu opens.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::BuildToolbar()
{
    auto* bar = addToolBar("Toolbar");
    bar->setObjectName(QString::number(kCmdToolbar));
    bar->setIconSize(QSize(16, 15));
    bar->setMovable(true);
    bar->setAllowedAreas(Qt::AllToolBarAreas);
    for (std::size_t i = 0; i < kToolbarButtonCount; ++i) {
        const int id = kToolbarButtons[i];
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        QAction* twin = actions_.count(MenuTwin(id)) ? actions_[MenuTwin(id)] : nullptr;
        auto* action = new QAction(QIcon(ToolbarPixmap(id)), twin ? twin->text().remove('&') : QString(), this);
        action->setData(id);
        action->setObjectName(QString::number(id));
        action->setCheckable(Checkable(id));
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        bar->addAction(action);
        actions_[id] = action;
    }
    connect(Action(kCmdToolbar), &QAction::toggled, bar, &QToolBar::setVisible);
    connect(bar, &QToolBar::visibilityChanged, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::BuildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QString::number(kCmdStatusBar));
    for (std::size_t i = 0; i < kIndicatorPaneCount; ++i) {
        const IndicatorPane& p = kIndicatorPanes[i];
        auto* label = new QLabel(p.text, bar);
        label->setTextFormat(Qt::PlainText); // a log named "<b>.dta" is not markup
        label->setObjectName(QString::number(p.id));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The widths are minimums: a wider display font still shows the whole text.
        if (p.width > 0) label->setMinimumWidth(p.width);
        bar->addPermanentWidget(label);
        panes_[p.id] = label;
    }
    bar->showMessage(kReadyPrompt);
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
        if (text.isEmpty()) bar->showMessage(kReadyPrompt);
    });
    connect(Action(kCmdStatusBar), &QAction::toggled, bar, &QStatusBar::setVisible);
}

QAction* CMainFrame::Action(int commandId) const
{
    const auto it = actions_.find(commandId);
    return it == actions_.end() ? nullptr : it->second;
}

QLabel* CMainFrame::Pane(int indicatorId) const
{
    const auto it = panes_.find(indicatorId);
    return it == panes_.end() ? nullptr : it->second;
}

void CMainFrame::UpdateCommandStates()
{
    const bool portOpen = link_.PortNumber() != -1;
    const bool logging = log_.Logging();
    const bool panelShown = panel_->Shown();
    const bool navConsoleOpen = navConsole_->IsOpen();
    auto set = [this](int id, bool enabled, int check = -1) {
        QAction* a = Action(id);
        if (!a) return;
        a->setEnabled(enabled);
        if (check >= 0) a->setChecked(check != 0);
    };
    for (int id : {kCmdLogClose, kCmdLogBump, kCmdLogBumpToolbar}) set(id, logging);
    // An open console can always be closed, as an open panel can be hidden.
    for (int id : {kCmdNavConsole, kCmdNavConsoleToolbar}) set(id, navConsoleOpen || portOpen, navConsoleOpen);
    for (int id : {kCmdStatusView, kCmdStatusViewToolbar}) set(id, panelShown || portOpen, panelShown);
    for (int id : {kCmdBaud4800, kCmdBaud9600, kCmdBaud19200, kCmdBaud38400})
        set(id, true, BaudOf(id) == controller_.BaudRate());
    set(kCmdSerialNo, portOpen, controller_.VersionKnown());
    for (int id : {kCmdInitialize, kCmdInitializeToolbar, kCmdResetModule, kCmdStartupDefaults, kCmdCompensateStatus,
                   kCmdCompensateStart, kCmdCompensateAbort, kCmdCompensateRevert})
        set(id, portOpen);
    set(kCmdToggleNmea, true, view_->showNmea);
    // A capture ends with the port; reopening at a new speed keeps it.
    if (capture_ && !portOpen) StopCapture();
    set(kCmdCaptureRawStream, portOpen || capture_, capture_ != nullptr);
    if (QToolBar* bar = findChild<QToolBar*>()) set(kCmdToolbar, true, !bar->isHidden());
    set(kCmdStatusBar, true, !statusBar()->isHidden());

    // The displays' values are stale while no port is open.
    QString stale;
    if (!portOpen) stale = lostPort_ != -1 ? QString(" COM%1 Lost ").arg(lostPort_).trimmed() : "No COM Port Open";
    panel_->SetStale(stale);
    navConsole_->SetStale(stale);
}

void CMainFrame::UpdateIdentityDisplay()
{
    setWindowTitle(QString::fromStdString(WindowTitle(controller_.VersionKnown(), controller_.Identity())));
    if (QLabel* pane = Pane(kPaneVersion)) {
        pane->setText(QString::fromStdString(VersionPaneText(controller_.VersionKnown(), controller_.Identity())));
        pane->repaint();
    }
    UpdateCommandStates();
}

void CMainFrame::SetComPane(const QString& text)
{
    if (QLabel* pane = Pane(kPaneComPort)) pane->setText(text);
}

void CMainFrame::RunCommand(int commandId)
{
    const int id = MenuTwin(commandId);
    switch (id) {
    case kCmdComPort: ComPortCommand(); break;
    case kCmdExit: close(); break;
    case kCmdFont: FontCommand(); break;
    case kCmdAbout: {
        CAboutBox about(this);
        about.exec();
        break;
    }
    case kCmdToggleNmea: view_->showNmea = !view_->showNmea; break;
    case kCmdLogOpen:
        LogOpenCommand(log_, this, controller_.VersionKnown(), controller_.Identity().serialNumber);
        view_->RepaintWithErase();
        break;
    case kCmdLogClose: log_.Close(); break;
    case kCmdLogBump:
        LogBumpCommand(log_, this, controller_.VersionKnown(), controller_.Identity().serialNumber);
        view_->RepaintWithErase();
        break;
    case kCmdStatusView: StatusViewCommand(); break;
    case kCmdNavConsole: NavConsoleCommand(); break;
    case kCmdStartupDefaults: StartupDefaultsCommand(); break;
    case kCmdCompensateStart: CompensateStartCommand(); break;
    case kCmdMagDeclWmm: MagDeclCommand(); break;
    case kCmdCaptureRawStream: CaptureCommand(); break;
    case kCmdSerialNo: controller_.SerialNo(); break;
    case kCmdInitialize: controller_.Initialize(); break;
    case kCmdResetModule: controller_.ResetModule(); break;
    case kCmdSelfTest: controller_.SelfTest(); break;
    case kCmdCompensateStatus: controller_.CompensateStatus(); break;
    case kCmdCompensateAbort: controller_.CompensateAbort(); break;
    case kCmdCompensateRevert: controller_.CompensateRevert(); break;
    case kCmdBaud4800:
    case kCmdBaud9600:
    case kCmdBaud19200:
    case kCmdBaud38400: controller_.SetBaudRate(BaudOf(id)); break;
    default: break;
    }
    UpdateCommandStates();
}

bool CMainFrame::event(QEvent* e)
{
    if (e->type() == WM_DEVICE_MESSAGE) {
        DeviceMessage message;
        if (link_.TakeMessage(message) != SerialLink::kEmpty) controller_.OnDeviceMessage(message);
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

void CMainFrame::StartLink()
{
    const int port = RememberedPort(settings_.value("Compass/COMPort").toString().toStdString());
    if (port == 0) {
        ComPortCommand();
    } else if (link_.Open(port, controller_.BaudRate()) < 1) {
        ComPortCommand();
    } else {
        char text[32];
        std::snprintf(text, sizeof text, " COM%d Open ", port);
        SetComPane(text);
    }
    controller_.RequestIdentity();
    UpdateCommandStates();
}

void CMainFrame::PortLost()
{
    lostPort_ = link_.PortNumber();
    link_.Close();
    char text[32];
    std::snprintf(text, sizeof text, " COM%d Lost ", lostPort_);
    SetComPane(text);
    view_->AddStatusLine(text);
    lostPortTimer_.start();
    UpdateCommandStates();
}

void CMainFrame::RetryLostPort()
{
    // The dialog owns the port while it runs; the watch resumes after it.
    if (inComPortDialog_) return;
    if (lostPort_ == -1 || link_.PortNumber() != -1) {
        lostPortTimer_.stop();
        lostPort_ = -1;
        return;
    }
    if (link_.Open(lostPort_, controller_.BaudRate()) != lostPort_) return;
    lostPortTimer_.stop();
    char text[32];
    std::snprintf(text, sizeof text, " COM%d Open ", lostPort_);
    lostPort_ = -1;
    SetComPane(text);
    view_->AddStatusLine(text);
    controller_.RequestIdentity();
    UpdateCommandStates();
}

void CMainFrame::ComPortCommand()
{
    {
        ComPortDialog dialog(link_, controller_.BaudRate(), settings_,
                             [this](const QString& text) { SetComPane(text); }, this);
        inComPortDialog_ = true;
        dialog.exec();
        inComPortDialog_ = false;
    }
    if (lostPort_ != -1) {
        if (link_.PortNumber() != -1) {
            // A port opened through the dialog replaces the one watched for.
            lostPortTimer_.stop();
            lostPort_ = -1;
        } else {
            // Nothing opened: still watching, as the pane and setting say.
            char text[32];
            std::snprintf(text, sizeof text, " COM%d Lost ", lostPort_);
            SetComPane(text);
            settings_.setValue("Compass/COMPort", lostPort_);
        }
    }
    view_->RepaintWithErase();
    controller_.RequestIdentity();
    UpdateCommandStates();
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
    lostPort_ = -1;
    StopCapture();
    link_.Close();
    log_.Close();
    navConsole_->Close();
    UpdateCommandStates();
    event->accept();
}

void CMainFrame::StatusViewCommand()
{
    if (panel_->Shown())
        panel_->Hide();
    else
        panel_->Show();
}

void CMainFrame::NavConsoleCommand()
{
    if (!navConsole_->IsOpen()) {
        if (navConsole_->Open())
            connect(navConsole_->Window(), &CaptionedChild::geometryChanged, view_, &MessageView::RepaintWithErase);
        return;
    }
    navConsole_->Close();
    view_->RepaintWithErase();
}

void CMainFrame::ShowInitializations()
{
    const InitialValues& v = controller_.Initial();
    InitializationsDialog dialog(RawToDegrees(v.declination), RawToDegrees(v.bodyOffset), RawToDegrees(v.rollOffset),
                                 RawToDegrees(v.pitchOffset), v.interval,
                                 [this](const OutgoingRequest& r) { link_.Send(r); },
                                 [this](MessageReceiver* r) { initializationsDialog = r; }, this);
    dialog.exec();
    initializationsDialog = nullptr;
}

void CMainFrame::StartupDefaultsCommand()
{
    StartupDefaultsDialog dialog([this](const OutgoingRequest& r) { link_.Send(r); },
                                 [this](MessageReceiver* r) { startUpDefaultsDialog = r; }, this);
    dialog.exec();
    startUpDefaultsDialog = nullptr;
}

void CMainFrame::CompensateStartCommand()
{
    CompensationDialog dialog([this](const OutgoingRequest& r) { link_.Send(r); },
                              [this](MessageReceiver* r) { compensationDialog = r; }, this);
    controller_.compensationActive = true;
    dialog.exec();
    controller_.compensationActive = false;
    compensationDialog = nullptr;
}

void CMainFrame::MagDeclCommand()
{
    WmmDialog dialog([this](const OutgoingRequest& r) { link_.Send(r); },
                     [this](MessageReceiver* r) { wmmDialog = r; }, this);
    dialog.exec();
    wmmDialog = nullptr;
}

void CMainFrame::CaptureCommand()
{
    if (capture_) {
        StopCapture();
        return;
    }
    const QString proposed = QDir(QString::fromStdString(log_.Folder())).filePath("Capture01.tcap");
    const QString path = QFileDialog::getSaveFileName(this, "Capture Raw Stream", proposed,
                                                      "Captures (*.tcap);;All files (*)");
    if (!path.isEmpty()) StartCapture(path);
}

bool CMainFrame::StartCapture(const QString& path)
{
    StopCapture();
    const int port = link_.PortNumber();
    if (port == -1) return false;
    CaptureHeader header;
    header.baud = controller_.BaudRate();
    header.device = link_.Ports().Path(port);
    header.startTime = LocalStartTime();
    auto writer = std::make_unique<CaptureWriter>();
    std::string error;
    if (!writer->Open(path.toStdString(), header, NowMs(), error)) {
        QMessageBox box(QMessageBox::Critical, "Capture Raw Stream", QString::fromStdString(error), QMessageBox::Ok,
                        this);
        box.exec();
        return false;
    }
    capture_ = std::move(writer);
    link_.SetCapture(capture_.get());
    UpdateCommandStates();
    return true;
}

void CMainFrame::StopCapture()
{
    if (!capture_) return;
    link_.SetCapture(nullptr);
    capture_->Stop();
    capture_.reset();
    UpdateCommandStates();
}

// FrameHost

int CMainFrame::PortNumber() const { return link_.PortNumber(); }
int CMainFrame::ReopenPort(int port, int baud) { return link_.Open(port, baud); }
void CMainFrame::Send(const OutgoingRequest& request) { link_.Send(request); }
void CMainFrame::StartReplyTimer() { replyTimer_.start(); }
void CMainFrame::StopReplyTimer() { replyTimer_.stop(); }
void CMainFrame::StartHoldoffTimer() { holdoffTimer_.start(); }
void CMainFrame::AddToView(const DeviceMessage& message) { view_->AddMessage(message); }
void CMainFrame::IdentityChanged() { UpdateIdentityDisplay(); }
void CMainFrame::CommandStateChanged() { UpdateCommandStates(); }

bool CMainFrame::AskRetry(const std::string& requestName)
{
    char text[96];
    std::snprintf(text, sizeof text, "No reply to request for %s.", requestName.c_str());
    QMessageBox box(QMessageBox::Warning, "Compass Silent", text, QMessageBox::Retry | QMessageBox::Cancel, this);
    return box.exec() == QMessageBox::Retry;
}

void CMainFrame::ShowIncompatible()
{
    QMessageBox box(QMessageBox::Critical, "Incompatibility",
                    "Firmware version is not compatible\nwith this version of Tolvane.", QMessageBox::Ok, this);
    box.exec();
}

void CMainFrame::ShowReopenFailed()
{
    QMessageBox box(QMessageBox::Critical, "Oops!", "Serial port failed to\nreopen at new baud rate.",
                    QMessageBox::Ok, this);
    box.exec();
}

void CMainFrame::PostShowInitializations()
{
    QCoreApplication::postEvent(this, new QEvent(WM_SHOW_INITIALIZATIONS));
}

void CMainFrame::HandToDialogs(const DeviceMessage& message)
{
    MessageReceiver* to = nullptr;
    switch (message.type) {
    case TypeByte(MessageType::Offsets):
    case TypeByte(MessageType::Declination):
    case TypeByte(MessageType::OrientationRate): to = initializationsDialog; break;
    case TypeByte(MessageType::Wmm): to = wmmDialog; break;
    case TypeByte(MessageType::StartupDefaults): to = startUpDefaultsDialog; break;
    case TypeByte(MessageType::Compensation): to = controller_.compensationActive ? compensationDialog : nullptr; break;
    default: break;
    }
    if (to) to->OnMessage(message);
}

void CMainFrame::LogOrientation(std::int16_t roll, std::int16_t pitch, std::uint16_t azimuth)
{
    log_.roll = roll;
    log_.pitch = pitch;
    log_.azimuth = azimuth;
    if (log_.Logging()) log_.WriteRecord();
}

void CMainFrame::ShowOrientation(const Orientation& orientation)
{
    navConsole_->Update(static_cast<float>(UnsignedAngleDegrees(orientation.azimuth)),
                        static_cast<float>(SignedAngleDegrees(orientation.roll)),
                        static_cast<float>(SignedAngleDegrees(orientation.pitch)));
    panel_->Update(orientation);
}

void CMainFrame::RecreatePanel()
{
    if (!panel_->Shown()) return;
    panel_->Hide();
    panel_->Show();
}

void CMainFrame::ClearPanel()
{
    panel_->Clear();
}

} // namespace tolvane
