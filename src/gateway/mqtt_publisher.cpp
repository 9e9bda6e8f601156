#include "gateway/mqtt_publisher.h"

#include <mosquitto.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "gateway/mqtt_payloads.h"
#include "link/clock.h"
#include "protocol/message_catalogue.h"

namespace tolvane {
namespace {

constexpr int kKeepAliveS = 30;
// QoS 1 publications not yet acknowledged: past this, or while the
// library holds packets it could not write yet, the queue waits, so that
// a slow broker fills the bounded queue rather than the library's.
constexpr std::size_t kInFlightLimit = 1000;
constexpr int kLibraryInFlight = 200;
constexpr std::size_t kBatch = 256;
// While publishing, the broker's acknowledgements are read once this many
// wait (or at the next tick), not as each comes: a read for each would
// wake the thread about as often as the modules' messages do.
constexpr std::size_t kAcknowledgementsToRead = 64;
static_assert(kAcknowledgementsToRead < kLibraryInFlight);
// A connection or TLS handshake that has not finished by then is given up.
constexpr std::int64_t kConnectTimeoutMs = 10000;
// How long a clean stop waits for the broker to take what is left.
constexpr std::int64_t kStopWaitMs = 3000;
constexpr std::int64_t kStopPollMs = 20;
constexpr char kOfflineWill[] = "{\"state\":\"offline\"}";

} // namespace

std::int64_t WallMsAt(std::int64_t linkMs)
{
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return wall.count() - (NowMs() - linkMs);
}

std::optional<MqttItem> OrientationDecimator::Offer(const MqttItem& item)
{
    if (periodMs_ <= 0) return item;
    std::optional<MqttItem> out;
    if (held_ && Interval(item.message.timestamp) > Interval(held_->message.timestamp)) out = held_;
    held_ = item;
    return out;
}

std::optional<MqttItem> OrientationDecimator::Flush(std::int64_t nowMs)
{
    if (periodMs_ <= 0 || !held_ || Interval(nowMs) <= Interval(held_->message.timestamp)) return std::nullopt;
    std::optional<MqttItem> out = held_;
    held_.reset();
    return out;
}

std::int64_t MqttRetryDelayMs(int tries)
{
    std::int64_t delay = kMqttFirstRetryMs;
    for (int i = 0; i < tries && delay < kMqttLongestRetryMs; ++i) delay *= 2;
    return std::min(delay, kMqttLongestRetryMs);
}

// One module's connection to the broker, on the publisher's thread.
class MqttPublisher::Connection : public PollSource {
public:
    Connection(MqttPublisher& owner, std::size_t index)
        : owner_(owner), index_(index), shared_(*owner.shared_[index]),
          decimator_(owner.config_.orientationRate > 0 ? std::llround(1000 / owner.config_.orientationRate) : 0)
    {
        const std::string base = owner.config_.topic + "/" + owner.names_[index] + "/";
        orientationTopic_ = base + "orientation";
        messageTopic_ = base + "message";
        identityTopic_ = base + "identity";
        statusTopic_ = base + "status";
    }
    ~Connection() override
    {
        if (mosq_) mosquitto_destroy(mosq_);
    }

    bool Configure(std::string& error)
    {
        const MqttConfig& c = owner_.config_;
        const std::string id = c.clientId.empty() ? std::string() : c.clientId + "-" + owner_.names_[index_];
        mosq_ = mosquitto_new(id.empty() ? nullptr : id.c_str(), true, this);
        if (!mosq_) {
            error = "cannot make an MQTT client";
            return false;
        }
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_max_inflight_messages_set(mosq_, kLibraryInFlight);
        mosquitto_connect_callback_set(mosq_, OnConnect);
        mosquitto_disconnect_callback_set(mosq_, OnDisconnect);
        mosquitto_publish_callback_set(mosq_, OnPublish);
        int rc = mosquitto_will_set(mosq_, statusTopic_.c_str(), sizeof kOfflineWill - 1, kOfflineWill, 1, true);
        if (rc == MOSQ_ERR_SUCCESS && !c.username.empty())
            rc = mosquitto_username_pw_set(mosq_, c.username.c_str(),
                                           c.password.empty() ? nullptr : c.password.c_str());
        if (rc == MOSQ_ERR_SUCCESS && c.tls) {
            rc = c.caFile.empty() ? mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                                  : mosquitto_tls_set(mosq_, c.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
            // Verify the server's certificate, and that it names the host of the url.
            if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(mosq_, 1, nullptr, nullptr);
            if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(mosq_, false);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            error = std::string("mqtt: ") + (c.tls && !c.caFile.empty() ? "ca-file " + c.caFile + ": " : "") +
                    mosquitto_strerror(rc);
            return false;
        }
        return true;
    }

    void Connect()
    {
        retryTimer_ = 0;
        state_ = State::Connecting;
        connectStartMs_ = owner_.loop_.Now();
        refusal_.clear();
        logError_.clear();
        // The library's log says why a connection or its TLS handshake
        // failed; once connected it is left unset, since the library would
        // format a line for every packet sent and received.
        mosquitto_log_callback_set(mosq_, OnLog);
        const MqttConfig& c = owner_.config_;
        const int rc = mosquitto_connect_async(mosq_, c.host.c_str(), c.port, kKeepAliveS);
        if (rc != MOSQ_ERR_SUCCESS) Lost(rc);
    }

    void CollectFds(std::vector<pollfd>& fds) const override
    {
        const int fd = mosquitto_socket(mosq_);
        if (fd < 0) return;
        const bool read = state_ != State::Connected || owner_.stopping_ || inFlight_.Count() >= kAcknowledgementsToRead;
        const short events = static_cast<short>((read ? POLLIN : 0) | (mosquitto_want_write(mosq_) ? POLLOUT : 0));
        if (events != 0) fds.push_back({fd, events, 0});
    }
    void OnReadable(int) override { Check(mosquitto_loop_read(mosq_, 1)); }
    void OnWritable(int) override
    {
        Check(mosquitto_loop_write(mosq_, 1));
        if (!mosquitto_want_write(mosq_)) Resume();
    }

    // Every second: what the broker sent (acknowledgements, the answer to a
    // ping, the end of the connection), the keep-alive, and a connection
    // that hangs.
    void Tick()
    {
        if (state_ == State::Connected) Check(mosquitto_loop_read(mosq_, 1));
        if (state_ == State::Connected) mosquitto_loop_misc(mosq_);
        if (state_ == State::Connecting) Check(MOSQ_ERR_NO_CONN);
        if (state_ == State::Connecting && owner_.loop_.Now() - connectStartMs_ > kConnectTimeoutMs) {
            refusal_ = "no answer within 10 s";
            // The library reads the end of the stream as the connection lost.
            const int fd = mosquitto_socket(mosq_);
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
        }
    }

    // Publishes what waits: the module's messages through the carrier, as
    // far as its in-flight limit lets them, then the module's identity and
    // status through its own connection.
    void Pump()
    {
        // The library may call back from inside a publish; a pump within a
        // pump would send the messages out of order.
        if (pumping_) return;
        pumping_ = true;
        Connection& carrier = Carrier();
        std::vector<MqttItem>& batch = batch_;
        while (carrier.state_ == State::Connected && carrier.inFlight_.Count() < kInFlightLimit &&
               !mosquitto_want_write(carrier.mosq_)) {
            batch.clear();
            {
                std::lock_guard lock(shared_.mutex);
                while (!shared_.queue.empty() && batch.size() < kBatch) {
                    batch.push_back(shared_.queue.front());
                    shared_.queue.pop_front();
                }
            }
            if (batch.empty()) break;
            carrier.Cork();
            for (const MqttItem& item : batch) Publish(item);
        }
        // A clean stop's "closed" comes once the broker has taken the
        // module's messages before it, the orientation held back included.
        if (state_ == State::Connected && (!owner_.stopping_ || Drained())) PublishRetained(false);
        // A wake's pumps are let go together at its end (the broker takes
        // them in one go); any other pump's at once.
        if (!owner_.waking_) carrier.Uncork();
        pumping_ = false;
    }

    // Held in the kernel until the pump (or the wake it is part of) ends:
    // its publications leave in as few segments as they fill.
    void Cork()
    {
        const int fd = mosquitto_socket(mosq_);
        if (corkedFd_ >= 0 || fd < 0) return;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
        corkedFd_ = fd;
    }

    // Lets what a pump held in the kernel go.
    void Uncork()
    {
        if (corkedFd_ >= 0 && mosquitto_socket(mosq_) == corkedFd_) {
            const int off = 0;
            ::setsockopt(corkedFd_, IPPROTO_TCP, TCP_CORK, &off, sizeof off);
        }
        corkedFd_ = -1;
    }

    void FlushDecimated(std::int64_t nowMs)
    {
        if (Carrier().state_ != State::Connected) return;
        if (const auto due = decimator_.Flush(nowMs)) PublishOrientation(*due);
    }

    // At a stop: what is queued, then the orientation held back, which is
    // the latest of its interval only once nothing is queued behind it.
    void Drain()
    {
        Pump();
        bool empty = false;
        {
            std::lock_guard lock(shared_.mutex);
            empty = shared_.queue.empty();
        }
        if (empty) FlushDecimated(std::numeric_limits<std::int64_t>::max());
    }

    // Nothing left for the broker: all published and acknowledged, or no
    // broker to take it (a connection under way may yet take it).
    bool Done() const
    {
        const Connection& carrier = Carrier();
        if (state_ == State::Connecting || carrier.state_ == State::Connecting) return false;
        if (!Drained()) return false;
        if (state_ != State::Connected) return true;
        std::lock_guard lock(shared_.mutex);
        return inFlight_.Count() == 0 && !shared_.statusNew && !shared_.identityNew && !mosquitto_want_write(mosq_);
    }

    void Close()
    {
        if (retryTimer_) owner_.loop_.Cancel(retryTimer_);
        retryTimer_ = 0;
        const bool connected = state_ == State::Connected;
        state_ = State::Closed; // before the library's disconnect callback
        if (connected) {
            --owner_.connected_;
            mosquitto_disconnect(mosq_);
        }
    }

private:
    enum class State : std::uint8_t { Waiting, Connecting, Connected, Closed };

    static Connection& Of(void* self) { return *static_cast<Connection*>(self); }

    // The first module's connection carries every module's orientations
    // and messages, so that what a wake publishes leaves in one segment
    // rather than one per module; each module keeps a connection of its
    // own for its identity, its status and its last will.
    Connection& Carrier() const { return *owner_.connections_.front(); }
    bool IsCarrier() const { return this == &Carrier(); }

    // The carrier pumps every module: it may take their messages again.
    void Resume()
    {
        if (!IsCarrier()) return Pump();
        for (auto& c : owner_.connections_) c->Pump();
    }

    // The module's messages are all with the broker, or there is no broker
    // to take them: none queued or held back, and the carrier holds none
    // unacknowledged (a QoS 1 orientation acknowledged tells that the
    // messages before it were taken).
    bool Drained() const
    {
        const Connection& carrier = Carrier();
        if (carrier.state_ != State::Connected) return true;
        {
            std::lock_guard lock(shared_.mutex);
            if (!shared_.queue.empty()) return false;
        }
        return !decimator_.Holding() && carrier.inFlight_.Count() == 0 && !mosquitto_want_write(carrier.mosq_);
    }

    static void OnConnect(mosquitto*, void* self, int rc)
    {
        Connection& c = Of(self);
        if (rc != 0) {
            c.refusal_ = mosquitto_connack_string(rc);
            return; // the library drops the connection next
        }
        c.state_ = State::Connected;
        mosquitto_log_callback_set(c.mosq_, nullptr);
        c.tries_ = 0;
        ++c.owner_.connected_;
        if (!c.reported_.empty()) c.owner_.errors_("mqtt " + c.Name() + ": connected again");
        c.reported_.clear();
        // Not from inside the library's callback, which holds its locks:
        // publishing here would take them in another order.
        c.owner_.loop_.After(0, [&c] {
            if (c.state_ != State::Connected) return;
            c.PublishRetained(true);
            c.Resume();
        });
    }

    static void OnDisconnect(mosquitto*, void* self, int rc) { Of(self).Ended(rc); }

    void Ended(int rc)
    {
        if (state_ == State::Connected) --owner_.connected_;
        // What was written and not acknowledged is the library's to send
        // again; what was not written is gone.
        inFlight_.Clear();
        Lost(rc);
    }

    // A TLS handshake that fails closes the socket without a disconnect
    // callback: a connection without its socket has ended all the same.
    void Check(int rc)
    {
        if ((state_ == State::Connecting || state_ == State::Connected) && mosquitto_socket(mosq_) < 0) Ended(rc);
    }

    static void OnPublish(mosquitto*, void* self, int mid)
    {
        Connection& c = Of(self);
        if (c.inFlight_.Erase(mid) && c.inFlight_.Count() == kInFlightLimit - 1)
            c.owner_.loop_.After(0, [&c] { c.Resume(); }); // as OnConnect
    }

    static void OnLog(mosquitto*, void* self, int level, const char* text)
    {
        if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) Of(self).logError_ = text;
    }

    std::string Name() const
    {
        const MqttConfig& c = owner_.config_;
        const bool bracket = c.host.find(':') != std::string::npos;
        return owner_.names_[index_] + " (" + (bracket ? "[" + c.host + "]" : c.host) + ":" + std::to_string(c.port) +
               ")";
    }

    // The connection failed or ended: say why, once, and try again later.
    void Lost(int rc)
    {
        if (state_ == State::Closed) return;
        std::string why = !refusal_.empty()        ? refusal_
                          : rc == MOSQ_ERR_ERRNO     ? std::strerror(errno)
                          : rc == MOSQ_ERR_SUCCESS   ? "the connection ended"
                                                     : mosquitto_strerror(rc);
        if (!logError_.empty() && refusal_.empty()) why += " (" + logError_ + ")";
        const std::string line = "mqtt " + Name() + ": " + why;
        if (line != reported_) owner_.errors_(line);
        reported_ = line;
        refusal_.clear();
        logError_.clear();
        state_ = State::Waiting;
        if (owner_.stopping_) return;
        retryTimer_ = owner_.loop_.After(MqttRetryDelayMs(tries_++), [this] { Connect(); });
    }

    // Retained publications go through the module's own connection, the
    // rest through the carrier.
    bool Send(const std::string& topic, const std::string& payload, int qos, bool retain)
    {
        Connection& via = retain ? *this : Carrier();
        int mid = 0;
        const int rc = mosquitto_publish(via.mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                         payload.data(), qos, retain);
        if (rc == MOSQ_ERR_SUCCESS && qos > 0) via.inFlight_.Insert(mid);

        return rc == MOSQ_ERR_SUCCESS;
    }

    // Identity and status, when new or `all` (on every connection).
    void PublishRetained(bool all)
    {
        std::optional<ModuleIdentity> identity, statusIdentity;
        std::optional<GatewayModuleStatus> status;
        {
            std::lock_guard lock(shared_.mutex);
            if (all || shared_.identityNew) identity = shared_.identity;
            if (all || shared_.statusNew) status = shared_.status;
            statusIdentity = shared_.statusIdentity;
            shared_.identityNew = shared_.statusNew = false;
        }
        if (identity) Send(identityTopic_, IdentityPayload(*identity), 1, true);
        if (status) {
            status->identity = statusIdentity ? &*statusIdentity : nullptr;
            status->mqttDropped = shared_.dropped.load();
            std::string text = ModuleStatusLine(*status);
            text.pop_back(); // its line end
            Send(statusTopic_, text, 1, true);
        }
    }

    void PublishOrientation(const MqttItem& item, const std::string& time)
    {
        Send(orientationTopic_, OrientationPayload(Decode<Orientation>(item.message), time), 1, false);
    }
    void PublishOrientation(const MqttItem& item) { PublishOrientation(item, IsoLocalTime(item.wallMs)); }

    void Publish(const MqttItem& item)
    {
        const std::string time = IsoLocalTime(item.wallMs);
        // The message line (QoS 0) before the orientation (QoS 1), whose
        // acknowledgement then covers both.
        if (const auto payload = MessagePayload(item.message, time)) Send(messageTopic_, *payload, 0, false);
        if (IsType(item.message, MessageType::Orientation)) {
            // Without decimation the one due is this one, whose time is worked out already.
            if (const auto due = decimator_.Offer(item))
                PublishOrientation(*due, due->wallMs == item.wallMs ? time : IsoLocalTime(due->wallMs));
        }
    }

    MqttPublisher& owner_;
    std::size_t index_;
    Shared& shared_;
    mosquitto* mosq_ = nullptr;
    State state_ = State::Waiting;
    int tries_ = 0;
    EventLoop::TimerId retryTimer_ = 0;
    std::int64_t connectStartMs_ = 0;
    MqttInFlightIds inFlight_;
    bool pumping_ = false;
    int corkedFd_ = -1; // the socket a pump corked and has not let go yet
    std::vector<MqttItem> batch_; // a pump's, kept for its capacity
    OrientationDecimator decimator_;
    std::string orientationTopic_, messageTopic_, identityTopic_, statusTopic_;
    std::string refusal_;  // the broker's answer to CONNECT, when it refused
    std::string logError_; // the library's last error (a TLS failure says what failed)
    std::string reported_; // the last error said, not to repeat it at every try
};

MqttPublisher::MqttPublisher(MqttConfig config, std::vector<std::string> moduleNames, ErrorSink errors,
                             std::size_t queueLimit, LoopClock clock)
    : config_(std::move(config)), names_(std::move(moduleNames)), errors_(std::move(errors)),
      queueLimit_(queueLimit), loop_(std::move(clock))
{
    for (std::size_t i = 0; i < names_.size(); ++i) shared_.push_back(std::make_unique<Shared>());
}

MqttPublisher::~MqttPublisher()
{
    Stop();
    connections_.clear();
    if (libraryStarted_) mosquitto_lib_cleanup();
}

bool MqttPublisher::Start(std::string& error)
{
    mosquitto_lib_init();
    libraryStarted_ = true;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        connections_.push_back(std::make_unique<Connection>(*this, i));
        if (!connections_.back()->Configure(error)) return false;
    }
    if (!loop_.SetWakeTask([this] { OnWake(); }, error)) return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void MqttPublisher::Run()
{
    pthread_setname_np(pthread_self(), "mqtt-publisher"); // in top -H and /proc, apart from the modules
    for (auto& c : connections_) {
        loop_.Add(*c);
        c->Connect();
    }
    loop_.Every(1000, [this] {
        for (auto& c : connections_) c->Tick();
    });
    if (config_.orientationRate > 0) {
        loop_.Every(std::max<std::int64_t>(1, std::llround(1000 / config_.orientationRate)), [this] {
            const std::int64_t now = NowMs();
            for (auto& c : connections_) c->FlushDecimated(now);
        });
    }
    loop_.Run();
    for (auto& c : connections_) loop_.Remove(*c);
}

void MqttPublisher::OnWake()
{
    if (stopAsked_ && !stopping_) BeginStop();
    waking_ = true;
    for (std::size_t i = 0; i < connections_.size(); ++i)
        if (shared_[i]->news.exchange(false)) connections_[i]->Pump();
    waking_ = false;
    if (!connections_.empty()) connections_.front()->Uncork(); // the carrier, the one corked
}

void MqttPublisher::Tell(Shared& shared)
{
    if (!shared.news.exchange(true)) loop_.Wake();
}

void MqttPublisher::BeginStop()
{
    stopping_ = true;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        Shared& s = *shared_[i];
        std::lock_guard lock(s.mutex);
        if (!s.status) {
            s.status.emplace();
            s.status->module = names_[i];
        }
        s.status->state = ModuleState::Closed;
        s.statusNew = true;
    }
    stopDeadline_ = loop_.Now() + kStopWaitMs;
    loop_.Every(kStopPollMs, [this] {
        for (auto& c : connections_) c->Drain();
        bool done = true;
        for (auto& c : connections_) done = done && c->Done();
        if (!done && loop_.Now() < stopDeadline_) return;
        for (auto& c : connections_) c->Close();
        loop_.Stop();
    });
}

void MqttPublisher::Offer(std::size_t module, const DeviceMessage& message, std::int64_t wallMs)
{
    if (module >= shared_.size() || !FindFormatter(message.type)) return;
    Shared& s = *shared_[module];
    {
        std::lock_guard lock(s.mutex);
        if (s.queue.size() >= queueLimit_) {
            s.queue.pop_front();
            s.dropped.fetch_add(1);
        }
        s.queue.push_back({message, wallMs});
    }
    Tell(s);
}

void MqttPublisher::SetIdentity(std::size_t module, const ModuleIdentity& identity)
{
    if (module >= shared_.size()) return;
    {
        std::lock_guard lock(shared_[module]->mutex);
        shared_[module]->identity = identity;
        shared_[module]->identityNew = true;
    }
    Tell(*shared_[module]);
}

void MqttPublisher::SetStatus(std::size_t module, const GatewayModuleStatus& status)
{
    if (module >= shared_.size()) return;
    {
        Shared& s = *shared_[module];
        std::lock_guard lock(s.mutex);
        s.status = status;
        s.status->identity = nullptr;
        if (status.identity) s.statusIdentity = *status.identity;
        else s.statusIdentity.reset();
        s.statusNew = true;
    }
    Tell(*shared_[module]);
}

std::uint64_t MqttPublisher::Dropped(std::size_t module) const
{
    return module < shared_.size() ? shared_[module]->dropped.load() : 0;
}

void MqttPublisher::Stop()
{
    if (!thread_.joinable()) return;
    stopAsked_ = true;
    loop_.Wake();
    thread_.join();
}

} // namespace tolvane
