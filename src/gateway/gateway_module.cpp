#include "gateway/gateway_module.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "capture/capture_format.h"
#include "gateway/nmea_out.h"
#include "link/network_port.h"
#include "link/port_map.h"

namespace tolvane {
namespace {

// A message box's text, or a line of the message view, as one line.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string OpenFailure(const std::string& source, const PortProbe& why)
{
    switch (why.reason) {
    case ProbeResult::Free: break;
    case ProbeResult::Missing: return source + ": no such device";
    case ProbeResult::NoPermission: return source + ": permission denied (the user needs the dialout group)";
    case ProbeResult::Busy:
        return source + ": in use by another program" +
               (why.holderPid > 0 ? " (process " + std::to_string(why.holderPid) + ")" : std::string());
    case ProbeResult::NotATerminal: return source + ": not a serial port";
    case ProbeResult::Unreachable: return why.detail.empty() ? source + ": unreachable" : why.detail;
    }
    return source + ": cannot be opened";
}

} // namespace

GatewayModule::GatewayModule(ModuleConfig config, int statusIntervalS, GatewayOutput& output, EventLoop& loop,
                             std::shared_ptr<SharedReader> reader)
    : config_(std::move(config)), statusIntervalS_(statusIntervalS), output_(output), loop_(loop), timers_(loop_),
      session_(link_, log_, timers_, *this)
{
    // Each notification is counted and handled; only the first one not yet
    // handled wakes the loop, which takes them all.
    session_.SetNotify([this] {
        if (notified_.fetch_add(1) == 0) loop_.Wake();
    });
    log_.SetPaneText([this](const std::string&) {
        if (!log_.WriteFailing() || logFailed_) return;
        logFailed_ = true;
        const int failure = errno;
        // Not inside the write that failed.
        loop_.After(0, [this, failure] { StopLog(std::strerror(failure)); });
    });
    link_.SetSharedReader(std::move(reader));
    session_.SetBaudRate(config_.baud);
    loop_.Add(nmea_);
}

GatewayModule::~GatewayModule() { loop_.Remove(nmea_); }

bool GatewayModule::PrepareOutputs(std::string& error)
{
    if (config_.nmeaTcp && !nmea_.Listen(*config_.nmeaTcp, error)) return false;
    for (const SocketAddress& destination : config_.nmeaUdp)
        if (!nmea_.AddDestination(destination, error)) return false;
    serving_ = config_.nmeaTcp || !config_.nmeaUdp.empty();
    return true;
}

void GatewayModule::Reopen()
{
    reopenAsked_ = true;
    loop_.Wake();
}

void GatewayModule::Stop()
{
    stopAsked_ = true;
    loop_.Wake();
}

void GatewayModule::Begin()
{
    if (!config_.name.empty()) {
        recordingName_ = config_.name;
        StartRecordings();
    }
    EmitStatus();
    OpenFirst();
    statusTimer_ = loop_.Every(statusIntervalS_ * 1000LL, [this] { EmitStatus(true); });
}

void GatewayModule::Finish()
{
    loop_.Cancel(statusTimer_);
    loop_.Cancel(firstOpenTimer_);
    // As the program's Exit: the capture stops, the port closes with its
    // line settings restored, the log is flushed and closed; what the
    // capture holds reaches the log first.
    session_.StopCapture();
    HandleNotified();
    ended_ = true;
    // The closing status tells what the port brought, which ends with it.
    endCounters_ = session_.Counters();
    session_.End();
    EmitStatus();
}

void GatewayModule::HandleNotified()
{
    for (std::uint64_t n = notified_.exchange(0); n > 0; --n) session_.OnLinkNotified();
    // The sentences of the messages handled together go out together: one
    // write per client for a batch, not per message.
    if (sentences_.empty()) return;
    nmea_.Publish(sentences_);
    sentences_.clear();
}

void GatewayModule::OnWake()
{
    HandleNotified();
    if (reopenAsked_.exchange(false) && !recordingName_.empty()) StartRecordings(true);
}

// A port that has never opened is tried as a lost one is: every second, a
// network port backing off to 10 s. Each new reason is told once.
void GatewayModule::OpenFirst()
{
    const auto tryOpen = [this] {
        PortProbe why;
        if (session_.OpenPath(config_.source, &why)) return true;
        const std::string failure = OpenFailure(config_.source, why);
        if (failure != lastOpenError_) Report(failure + "; trying again");
        lastOpenError_ = failure;
        return false;
    };
    if (tryOpen()) return AfterOpen();
    firstOpen_.PortLost(kFirstPort, loop_.Now(), LooksLikeNetworkPort(config_.source));
    if (firstOpenTimer_ != 0) return;
    firstOpenTimer_ = loop_.Every(LostPortWatch::kRetryMs / 4, [this, tryOpen] {
        if (stopAsked_ || firstOpen_.PortToTry(loop_.Now()) == -1) return;
        const bool opened = tryOpen();
        firstOpen_.Tried(opened, loop_.Now());
        if (!opened) return;
        loop_.Cancel(firstOpenTimer_);
        firstOpenTimer_ = 0;
        firstOpen_.End();
        AfterOpen();
    });
}

void GatewayModule::AfterOpen()
{
    if (!lastOpenError_.empty()) Report(config_.source + ": open");
    lastOpenError_.clear();
    session_.RequestIdentity();
    if (config_.detect && !opened_) session_.StartDetect();
    opened_ = true;
    StartCapture();
    EmitStatus();
}

void GatewayModule::StartRecordings(bool reopen)
{
    capturePending_.clear();
    paths_ = {};
    if (config_.logDir.empty() && config_.captureDir.empty()) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // Folders missing are made (under the unit's /var/lib/tolvane, say);
    // one that cannot be is named by the file's creation below.
    std::error_code ignored;
    for (const std::string& folder : {config_.logDir, config_.captureDir})
        if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    std::string error;
    const bool created = CreateRecordingFiles(config_.logDir, config_.captureDir,
                                              RecordingStem(recordingName_, local), paths_, error);
    if (!created) {
        Report(error);
        paths_ = {};
    }
    capturePending_ = paths_.capture;
    if (reopen) {
        // The new capture takes the link's bytes over from the old in one
        // step, and then every message of the bytes the old one got is
        // queued: they go to the old log before the new one opens. A
        // message is in the pair of files whose capture holds its last byte.
        // The files of a reopen that fails are closed all the same.
        if (created) StartCapture();
        else session_.StopCapture();
        HandleNotified();
        log_.Close();
    }
    if (!created) return EmitStatus();
    logFailed_ = false;
    if (!paths_.log.empty() && !log_.OpenPath(paths_.log, true)) {
        Report(paths_.log + ": cannot be opened: " + std::strerror(errno));
        paths_.log.clear();
    }
    StartCapture();
    EmitStatus();
}

void GatewayModule::StartCapture()
{
    // A capture running is handed over only to a new pair's (a reopen's).
    if (config_.captureDir.empty() || recordingName_.empty() ||
        (session_.Capture().Active() && capturePending_.empty()) || session_.PortNumber() == -1 || ended_)
        return;
    std::string path = std::move(capturePending_);
    capturePending_.clear();
    if (path.empty()) {
        // The port opened again: the capture of the last open has ended with
        // it, and this one gets a file of its own.
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        RecordingPaths paths;
        std::string error;
        if (!CreateRecordingFiles({}, config_.captureDir, RecordingStem(recordingName_, local), paths, error))
            return Report(error);
        path = unsettledCapture_ = paths.capture;
    }
    // A file that cannot be written to is told through Tell.
    session_.StartCapture(path);
    EmitStatus();
}

// A server that takes each connection and closes it at once (ser2net
// without its device) would leave a capture per try, days long: one that
// received nothing before the port was lost again is removed.
void GatewayModule::DropEmptyCapture()
{
    const std::string path = std::move(unsettledCapture_);
    unsettledCapture_.clear();
    std::string content, error;
    if (path.empty() || !ReadWholeFile(path, content, error)) return;
    for (const CaptureChunk& chunk : ParseCapture(content).chunks)
        if (chunk.kind == ChunkKind::Received && !chunk.bytes.empty()) return;
    std::remove(path.c_str());
}

void GatewayModule::StopLog(const std::string& why)
{
    if (!log_.Logging()) return;
    log_.Close();
    Report("the log " + paths_.log + " stopped: " + why + "; what was written until then is kept");
    EmitStatus();
}

std::string GatewayModule::Name() const
{
    if (!recordingName_.empty()) return recordingName_;
    if (session_.VersionKnown()) return ModuleName(config_.name, session_.Identity().serialNumber);
    return config_.source;
}

ModuleState GatewayModule::CurrentState() const
{
    if (ended_) return ModuleState::Closed;
    if (!opened_) return ModuleState::Opening;
    switch (session_.State()) {
    case PortState::Closed: return ModuleState::Closed;
    case PortState::Opening: return ModuleState::Opening;
    case PortState::Open: return ModuleState::Open;
    case PortState::Lost: return ModuleState::Lost;
    }
    return ModuleState::Closed;
}

void GatewayModule::EmitStatus(bool always)
{
    GatewayModuleStatus status;
    status.module = Name();
    status.state = CurrentState();
    status.port = config_.source;
    if (session_.VersionKnown()) status.identity = &session_.Identity();
    const LinkCounters counters = ended_ ? endCounters_ : session_.Counters();
    status.messages = counters.Valid();
    if (status.state == ModuleState::Open) status.rate = session_.Health().rate;
    status.dropped = counters.dropped;
    status.checksumErrors = counters.checksumFailures + counters.nmeaBad;
    status.clients = nmea_.ClientCount();
    if (log_.Logging()) status.log = paths_.log;
    if (session_.Capture().Active()) status.capture = session_.Capture().Path();
    const bool changed = status.state != reported_ || status.log != reportedLog_ ||
                         status.capture != reportedCapture_ || status.identity != reportedIdentity_;
    if (!always && !changed) return;
    reported_ = status.state;
    reportedLog_ = status.log;
    reportedCapture_ = status.capture;
    reportedIdentity_ = status.identity;
    if (mqtt_) {
        status.mqttDropped = mqtt_->Dropped(mqttIndex_);
        mqtt_->SetStatus(mqttIndex_, status);
    }
    output_.Status(ModuleStatusLine(status));
}

void GatewayModule::Report(const std::string& text) { output_.Error("tolvane-gateway: " + Name() + ": " + text); }

void GatewayModule::Dispatched(const DeviceMessage& message)
{
    if (mqtt_) mqtt_->Offer(mqttIndex_, message, WallMsAt(message.timestamp));
    if (serving_) AppendNmeaFor(message, sentences_);
}

void GatewayModule::Note(const std::string& text) { Report(OneLine(text)); }

void GatewayModule::IdentityChanged()
{
    if (session_.VersionKnown() && recordingName_.empty()) {
        // Named by its serial number: the recordings start now that it is known.
        recordingName_ = ModuleName(config_.name, session_.Identity().serialNumber);
        StartRecordings();
    }
    if (mqtt_ && session_.VersionKnown()) mqtt_->SetIdentity(mqttIndex_, session_.Identity());
    EmitStatus();
}

void GatewayModule::Tell(const Notice& notice) { Report(notice.title + ": " + OneLine(notice.text)); }

void GatewayModule::PortChanged(PortState state, PortNews)
{
    if (ended_) return;
    // A first open starts its capture once it is through (AfterOpen).
    if (state == PortState::Open) unsettledCapture_.clear();
    if (state == PortState::Lost) DropEmptyCapture();
    if (opened_ && session_.PortNumber() != -1) StartCapture();
    // A rate search whose reopen failed leaves the port closed: it is tried
    // again as one that never opened.
    if (state == PortState::Closed && opened_ && !stopAsked_)
        loop_.After(0, [this] {
            if (session_.State() == PortState::Closed && !ended_) OpenFirst();
        });
    EmitStatus();
}

void GatewayModule::HealthChecked(const HealthReport& report)
{
    if (!report.viewLine.empty()) Report(OneLine(report.viewLine));
}

ModuleThread::~ModuleThread()
{
    Stop();
    Join();
}

GatewayModule& ModuleThread::Add(ModuleConfig config, int statusIntervalS, std::shared_ptr<SharedReader> reader)
{
    modules_.push_back(
        std::make_unique<GatewayModule>(std::move(config), statusIntervalS, output_, loop_, std::move(reader)));
    return *modules_.back();
}

void ModuleThread::Start()
{
    std::string error;
    // Every wake asks each module what it brought: counters and flags, so
    // a module with nothing new costs a few loads.
    const bool woken = loop_.SetWakeTask(
        [this] {
            for (const auto& module : modules_) module->OnWake();
            if (AllStopping()) loop_.Stop();
        },
        error);
    if (!woken) output_.Error("tolvane-gateway: " + error);
    thread_ = std::thread([this] { Run(); });
}

void ModuleThread::Stop()
{
    for (const auto& module : modules_) module->Stop();
}

void ModuleThread::Join()
{
    if (thread_.joinable()) thread_.join();
}

bool ModuleThread::AllStopping() const
{
    return std::all_of(modules_.begin(), modules_.end(), [](const auto& module) { return module->stopAsked_.load(); });
}

void ModuleThread::Run()
{
    for (const auto& module : modules_) module->Begin();
    if (!AllStopping()) loop_.Run();
    for (const auto& module : modules_) module->Finish();
}

} // namespace tolvane
