// The gateway's publisher to an MQTT broker: a thread of its own with its
// own event loop, one broker connection per module (so that each module
// has its own last will on its status topic), driven without a library
// thread; the first module's connection carries every module's
// orientations and messages. Modules hand it their messages from their
// own threads through a bounded queue each; a broker that is down or slow
// never holds them up.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gateway/event_loop.h"
#include "gateway/mqtt_config.h"
#include "gateway/status_line.h"
#include "link/device_message.h"
#include "protocol/messages.h"

namespace tolvane {

inline constexpr std::size_t kMqttQueueLimit = 10000;
inline constexpr std::int64_t kMqttFirstRetryMs = 1000;
inline constexpr std::int64_t kMqttLongestRetryMs = 30000;

// A message as the publisher takes it: `wallMs` gives its time of day.
struct MqttItem {
    DeviceMessage message;
    std::int64_t wallMs = 0;
};

// The wall-clock time (ms since the epoch) of the link clock's `linkMs`.
std::int64_t WallMsAt(std::int64_t linkMs);

// Keeps the latest orientation of each interval of `periodMs` on the
// link's clock (message timestamps); 0 lets every one through.
class OrientationDecimator {
public:
    explicit OrientationDecimator(std::int64_t periodMs) : periodMs_(periodMs) {}
    // What goes out now: `item` itself without decimation, else the one
    // held when `item` starts a later interval.
    std::optional<MqttItem> Offer(const MqttItem& item);
    // The one held, once its interval has ended by `nowMs`.
    std::optional<MqttItem> Flush(std::int64_t nowMs);
    bool Holding() const { return held_.has_value(); }

private:
    std::int64_t Interval(std::int64_t ms) const { return ms >= 0 ? ms / periodMs_ : (ms + 1) / periodMs_ - 1; }

    std::int64_t periodMs_;
    std::optional<MqttItem> held_;
};

// The message ids of QoS 1 publications not yet acknowledged. The library
// numbers them 1 to 65535 and also tells of QoS 0 ones, never inserted.
class MqttInFlightIds {
public:
    void Insert(int mid)
    {
        if (mid <= 0 || mid >= kIds || awaiting_[static_cast<std::size_t>(mid)]) return;
        awaiting_[static_cast<std::size_t>(mid)] = true;
        ++count_;
    }
    // True when `mid` was awaited.
    bool Erase(int mid)
    {
        if (mid <= 0 || mid >= kIds || !awaiting_[static_cast<std::size_t>(mid)]) return false;
        awaiting_[static_cast<std::size_t>(mid)] = false;
        --count_;
        return true;
    }
    void Clear()
    {
        awaiting_.assign(kIds, false);
        count_ = 0;
    }
    std::size_t Count() const { return count_; }

private:
    static constexpr int kIds = 65536;
    std::vector<bool> awaiting_ = std::vector<bool>(kIds);
    std::size_t count_ = 0;
};

// The delay before the next connection try after `tries` failed ones:
// 1 s, 2 s, 4 s ... at most 30 s.
std::int64_t MqttRetryDelayMs(int tries);

class MqttPublisher {
public:
    // Errors go to `errors`, one line each, from the publisher's thread.
    using ErrorSink = std::function<void(const std::string&)>;

    MqttPublisher(MqttConfig config, std::vector<std::string> moduleNames, ErrorSink errors,
                  std::size_t queueLimit = kMqttQueueLimit, LoopClock clock = MonotonicMs);
    ~MqttPublisher(); // Stop()
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the thread, which connects; false with `error` when the
    // broker's library refuses the settings.
    bool Start(std::string& error);

    // Any thread; `module` indexes the names given.
    void Offer(std::size_t module, const DeviceMessage& message, std::int64_t wallMs);
    void SetIdentity(std::size_t module, const ModuleIdentity& identity);
    // The status to publish (retained), with the publisher's drops added.
    void SetStatus(std::size_t module, const GatewayModuleStatus& status);
    // Messages the module's queue let go to keep the newest.
    std::uint64_t Dropped(std::size_t module) const;
    // Connections that are up now.
    std::size_t Connected() const { return connected_.load(); }

    // Publishes what is queued and each module's status as closed, waits
    // a little for the broker to take them, disconnects (so the last will
    // is not sent) and joins the thread.
    void Stop();

private:
    class Connection;
    // What module threads and the publisher share, under `mutex`.
    struct Shared {
        mutable std::mutex mutex;
        std::deque<MqttItem> queue;
        std::optional<ModuleIdentity> identity;
        std::optional<GatewayModuleStatus> status; // its identity pointer unused
        std::optional<ModuleIdentity> statusIdentity; // what it pointed to
        bool identityNew = false;
        bool statusNew = false;
        std::atomic<std::uint64_t> dropped{0};
        // Something new since the publisher last looked: a wake pumps only these.
        std::atomic<bool> news{false};
    };

    void Run();
    void OnWake();
    // Tells the publisher's thread that `shared` has something new.
    void Tell(Shared& shared);
    void BeginStop();

    MqttConfig config_;
    std::vector<std::string> names_;
    ErrorSink errors_;
    std::size_t queueLimit_;
    std::vector<std::unique_ptr<Shared>> shared_;
    EventLoop loop_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::thread thread_;
    std::atomic<bool> stopAsked_{false};
    std::atomic<std::size_t> connected_{0};
    bool libraryStarted_ = false;
    bool stopping_ = false;
    bool waking_ = false; // in OnWake, whose pumps uncork at its end
    std::int64_t stopDeadline_ = 0;

    friend class Connection;
};

} // namespace tolvane
