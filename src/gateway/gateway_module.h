// One module of the gateway: its compass session on an event loop, which
// the modules on serial ports share and a module on a network source has
// to itself (ModuleThread), so that an open waiting on the network holds
// up no other. It records the orientation log and the raw capture, serves
// the module's NMEA sentences and reports its state as status lines, which
// it hands to the gateway's one writer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gateway/event_loop.h"
#include "gateway/gateway_config.h"
#include "gateway/mqtt_publisher.h"
#include "gateway/nmea_server.h"
#include "gateway/recording_names.h"
#include "gateway/status_line.h"
#include "link/serial_link.h"
#include "link/shared_reader.h"
#include "logging/log_file.h"
#include "session/compass_session.h"

namespace tolvane {

// Where the modules' lines go: written whole, one at a time, by one thread.
class GatewayOutput {
public:
    virtual ~GatewayOutput() = default;
    // Any thread. A status line ends in '\n'; an error is one line without it.
    virtual void Status(std::string line) = 0;
    virtual void Error(std::string line) = 0;
};

// The session's timers on the module's event loop, on the link's clock.
class LoopTimers : public SessionTimers {
public:
    explicit LoopTimers(EventLoop& loop) : loop_(loop) {}
    std::int64_t Now() const override { return loop_.Now(); }
    TimerId After(std::int64_t delayMs, Task task) override { return loop_.After(delayMs, std::move(task)); }
    TimerId Every(std::int64_t periodMs, Task task) override { return loop_.Every(periodMs, std::move(task)); }
    void Cancel(TimerId id) override { loop_.Cancel(id); }

private:
    EventLoop& loop_;
};

class GatewayModule : private SessionHost {
public:
    // Runs on `loop`'s thread from Begin to Finish. `reader` reads the
    // module's terminal with the other modules' (null: a thread of its own).
    GatewayModule(ModuleConfig config, int statusIntervalS, GatewayOutput& output, EventLoop& loop,
                  std::shared_ptr<SharedReader> reader = nullptr);
    ~GatewayModule() override;
    GatewayModule(const GatewayModule&) = delete;
    GatewayModule& operator=(const GatewayModule&) = delete;

    // Before Start, on the caller's thread: the NMEA server listens and
    // its destinations are set. False with `error` naming the address.
    bool PrepareOutputs(std::string& error);
    // Before Start: hands its messages, identity and status to `publisher`
    // as its module `index`.
    void PublishTo(MqttPublisher& publisher, std::size_t index)
    {
        mqtt_ = &publisher;
        mqttIndex_ = index;
    }
    // Any thread: SIGHUP's new recordings, and the end.
    void Reopen();
    void Stop();

private:
    friend class ModuleThread;
    // On the loop's thread: the recordings and the first open; what the
    // loop's wake brought; everything closed as the program's Exit does.
    void Begin();
    void OnWake();
    void Finish();
    // Dispatches the messages the link has told of.
    void HandleNotified();
    void OpenFirst();
    void AfterOpen();
    // The log and the capture under a stem of the time now; the capture
    // only while the port is open (later opens start theirs). A `reopen`
    // (SIGHUP) hands the recordings running over to the new pair.
    void StartRecordings(bool reopen = false);
    void StartCapture();
    void DropEmptyCapture();
    void StopLog(const std::string& why);
    // The name in status and error lines: that of the recordings, else the
    // serial number once known, else the source.
    std::string Name() const;
    // A line when the state, the identity or a recording changed, or `always`.
    void EmitStatus(bool always = false);
    void Report(const std::string& text);
    ModuleState CurrentState() const;

    // SessionHost
    void Dispatched(const DeviceMessage& message) override;
    void Note(const std::string& text) override;
    void IdentityChanged() override;
    void Tell(const Notice& notice) override;
    void PortChanged(PortState state, PortNews news) override;
    void HealthChecked(const HealthReport& report) override;

    ModuleConfig config_;
    int statusIntervalS_;
    GatewayOutput& output_;
    EventLoop& loop_;
    LoopTimers timers_;
    SerialLink link_;
    LogFile log_;
    CompassSession session_;
    NmeaServer nmea_;
    bool serving_ = false;
    std::string sentences_; // of the messages being handled, sent once they all are

    MqttPublisher* mqtt_ = nullptr;
    std::size_t mqttIndex_ = 0;
    EventLoop::TimerId statusTimer_ = 0;
    std::atomic<std::uint64_t> notified_{0}; // the link's notifications not yet handled
    std::atomic<bool> reopenAsked_{false};
    std::atomic<bool> stopAsked_{false};

    bool opened_ = false; // the port has opened at least once
    bool ended_ = false;
    LinkCounters endCounters_; // the port's counts as the module ended, for its closing status
    LostPortWatch firstOpen_; // tries of a port that has never opened
    EventLoop::TimerId firstOpenTimer_ = 0;
    std::string lastOpenError_;
    std::string recordingName_; // NAME of the recordings, once known
    RecordingPaths paths_;
    std::string capturePending_; // created, to start over once the port is open
    std::string unsettledCapture_; // started by a reopen not yet shown as back
    bool logFailed_ = false;
    ModuleState reported_ = ModuleState::Closed;
    std::string reportedLog_, reportedCapture_;
    const ModuleIdentity* reportedIdentity_ = nullptr;
};

// A thread that runs one or more modules on its event loop. The modules
// whose terminals the shared reader reads have nothing that waits (a
// terminal opens at once and, with no flow control, takes a request in the
// line's time), so they share one: it wakes once for what a pass of the
// reader brought them all, not once per module. A network source's open
// may wait on the network: such a module gets a thread of its own.
class ModuleThread {
public:
    explicit ModuleThread(GatewayOutput& output) : output_(output) {}
    ~ModuleThread(); // stops and joins, then ends its modules
    ModuleThread(const ModuleThread&) = delete;
    ModuleThread& operator=(const ModuleThread&) = delete;

    // Before Start: a module on this thread's loop.
    GatewayModule& Add(ModuleConfig config, int statusIntervalS, std::shared_ptr<SharedReader> reader);
    // Starts the thread, which opens the ports.
    void Start();
    // Any thread.
    void Stop();
    // Waits for the thread, which has then closed everything.
    void Join();

private:
    void Run();
    // Every module has been asked to stop.
    bool AllStopping() const;

    GatewayOutput& output_;
    EventLoop loop_{NowMs}; // the links' clock, which the sessions' timers use
    std::vector<std::unique_ptr<GatewayModule>> modules_;
    std::thread thread_;
};

} // namespace tolvane
