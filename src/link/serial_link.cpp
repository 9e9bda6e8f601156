#include "link/serial_link.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

#include "link/framing.h"
#include "link/link_reader.h"
#include "link/port_channel.h"
#include "link/shared_reader.h"

namespace tolvane {
namespace {

constexpr auto kReaderStopWait = std::chrono::milliseconds(2000);

bool SupportedBaud(int baud)
{
    return baud == 4800 || baud == 9600 || baud == 19200 || baud == 38400;
}

// Every failure to open says why, as a probe of the port would.
int Fail(PortProbe* why, PortProbe reason)
{
    if (why) *why = std::move(reason);
    return -1;
}

} // namespace

struct SerialLink::Impl {
    explicit Impl(std::size_t capacity)
        : queue(std::make_shared<MessageQueue>(capacity)), capture(std::make_shared<CaptureSlot>())
    {
    }

    // How the user-interface thread waits on `session`'s channel.
    ChannelWait WaitOn(const std::shared_ptr<ReaderSession>& s)
    {
        return {waitHook, [this, s] { return !s->running.load() || !session; }, [this] { return !session; }};
    }

    PortMap ports;
    std::vector<std::string> lockDirectories;
    std::function<void()> notify;
    std::shared_ptr<MessageQueue> queue;
    std::shared_ptr<CaptureSlot> capture;
    std::shared_ptr<ReaderSession> session;
    std::shared_ptr<SharedReader> sharedReader;
    std::thread reader; // the session's own, unless the shared reader has it
    int portNumber = -1;
    std::function<void()> waitHook;
    bool opening = false; // an open is waiting on its channel
    bool closedWhileOpening = false;
    std::string notice;
    std::string noticedFor; // one notice per port's path, not one per reconnection
};

SerialLink::SerialLink(std::size_t queueCapacity) : impl_(std::make_unique<Impl>(queueCapacity)) {}

SerialLink::~SerialLink()
{
    Close();
}

void SerialLink::SetPortMap(const PortMap& map)
{
    impl_->ports = map;
}

const PortMap& SerialLink::Ports() const
{
    return impl_->ports;
}

void SerialLink::SetPortPath(int port, std::string path)
{
    impl_->ports.SetPath(port, std::move(path));
}

void SerialLink::SetWaitHook(std::function<void()> hook)
{
    impl_->waitHook = std::move(hook);
}

std::string SerialLink::TakeNotice()
{
    // Kept for a connection that lasts: one the server closed at once has nothing to tell about its line.
    if (!impl_->session || !impl_->session->running.load()) return {};
    return std::exchange(impl_->notice, std::string());
}

void SerialLink::SetSharedReader(std::shared_ptr<SharedReader> reader)
{
    impl_->sharedReader = std::move(reader);
}

void SerialLink::SetLockDirectories(std::vector<std::string> directories)
{
    impl_->lockDirectories = std::move(directories);
}

PortProbe SerialLink::Probe(int port) const
{
    return ExaminePort(impl_->ports, port, impl_->lockDirectories);
}

void SerialLink::SetNotify(std::function<void()> notify)
{
    impl_->notify = std::move(notify);
}

void SerialLink::SetCapture(CaptureSink* sink)
{
    std::lock_guard lock(impl_->capture->mutex);
    impl_->capture->sink = sink;
}

int SerialLink::Open(int port, int baud, PortProbe* why)
{
    Impl& d = *impl_;
    // A call from the wait hook while an open waits on its channel.
    if (d.opening) return Fail(why, ProbeResult::Busy);
    const bool known = port >= kFirstPort && port <= kLastPort;
    const std::string path = d.ports.Path(port);
    if (known && SupportedBaud(baud) && d.session && d.portNumber == port && d.session->running.load() &&
        d.session->channel->CanRetune(path))
        return Retune(port, baud, why);
    Close();
    if (!known) return Fail(why, ProbeResult::Missing);
    if (!SupportedBaud(baud)) return Fail(why, ProbeResult::NotATerminal);

    d.opening = true;
    d.closedWhileOpening = false;
    PortProbe found;
    std::unique_ptr<ByteChannel> channel = OpenPortChannel(path, baud, d.lockDirectories, d.waitHook, found);
    d.opening = false;
    if (!channel) return Fail(why, found);
    if (d.closedWhileOpening) {
        channel->Release();
        return Fail(why, ProbeResult::Missing);
    }
    return Start(std::move(channel), port, baud, path, why);
}

int SerialLink::OpenChannel(std::unique_ptr<ByteChannel> channel, int port, PortProbe* why)
{
    if (impl_->opening) return Fail(why, ProbeResult::Busy);
    Close();
    return Start(std::move(channel), port, 0, std::string(), why);
}

int SerialLink::Start(std::unique_ptr<ByteChannel> channel, int port, int baud, const std::string& path,
                      PortProbe* why)
{
    Impl& d = *impl_;
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        channel->Release();
        return Fail(why, ProbeResult::NotATerminal);
    }
    // From here the session owns the channel and the wake descriptor.
    std::shared_ptr<ReaderSession> session;
    try {
        std::function<void()> notify = d.notify;
        session = std::make_shared<ReaderSession>(std::move(channel), wakeFd, std::move(notify));
        session->channel->SetWake([s = session.get()] { s->Wake(); });
        {
            std::lock_guard lock(d.queue->mutex);
            session->droppedAtOpen = d.queue->dropped;
        }
        const bool shared = d.sharedReader && SharedReader::Takes(*session) &&
                            d.sharedReader->Add(d.queue, session, d.capture);
        if (!shared)
            d.reader =
                std::thread([queue = d.queue, session, capture = d.capture] { RunReader(queue, session, capture); });
    } catch (...) {
        if (session) {
            session->channel->Release();
        } else {
            if (channel) channel->Release();
            ::close(wakeFd);
        }
        return Fail(why, ProbeResult::NotATerminal);
    }
    d.session = session;
    // The port counts as open only once the channel has had its say; the
    // window's events may run meanwhile.
    std::string notice;
    d.opening = true;
    const PortProbe begun = session->channel->Begin(baud, d.WaitOn(session), notice);
    d.opening = false;
    if (!notice.empty() && d.noticedFor != path) {
        d.noticedFor = path;
        d.notice = "COM" + std::to_string(port) + " (" + path + "): " + notice;
    }
    if (begun.reason != ProbeResult::Free) {
        Close();
        return Fail(why, begun);
    }
    d.portNumber = port;
    if (why) *why = PortProbe(ProbeResult::Free);
    return port;
}

int SerialLink::Retune(int port, int baud, PortProbe* why)
{
    Impl& d = *impl_;
    const std::shared_ptr<ReaderSession> session = d.session;
    // The counts start again as at an open, also while the channel waits.
    RestartCounts();
    d.opening = true;
    const PortProbe result = session->channel->Retune(baud, d.WaitOn(session));
    d.opening = false;
    if (result.reason != ProbeResult::Free || !d.session) {
        Close();
        return Fail(why, result);
    }
    RestartCounts();
    if (why) *why = PortProbe(ProbeResult::Free);
    return port;
}

void SerialLink::RestartCounts()
{
    ReaderSession& session = *impl_->session;
    session.countedBefore = LinkCounters{};
    session.countedBefore = CountsOf(session, *impl_->queue);
    session.openedMs = NowMs();
    std::lock_guard lock(impl_->queue->mutex);
    session.droppedAtOpen = impl_->queue->dropped;
}

void SerialLink::Close()
{
    Impl& d = *impl_;
    if (d.opening) d.closedWhileOpening = true;
    d.portNumber = -1;
    if (!d.session) return;
    const std::shared_ptr<ReaderSession> session = std::move(d.session);
    {
        std::lock_guard lock(d.queue->mutex);
        session->stop = true;
    }
    d.queue->room.notify_all();
    session->Wake();

    bool finished;
    if (!d.reader.joinable() && d.sharedReader) {
        finished = d.sharedReader->LetGo(*session, kReaderStopWait);
    } else {
        std::unique_lock lock(session->finishMutex);
        finished = session->finishCv.wait_for(lock, kReaderStopWait, [&] { return session->finished; });
    }
    // A reader that has not ended keeps its own reference to the session and
    // can no longer queue anything, so it is left to finish on its own.
    if (d.reader.joinable()) {
        if (finished)
            d.reader.join();
        else
            d.reader.detach();
    }
    session->channel->Release();
}

std::int64_t SerialLink::Send(const OutgoingRequest& request)
{
    if (!impl_->session) return -1;
    if (request.length > kMaxSentPayload) return -1;

    std::uint8_t frame[kMaxSentFrame];
    const std::size_t size = EncodeBinaryFrame(static_cast<std::uint8_t>(request.type & 0xFF), request.payload,
                                               request.length, frame);
    const std::int64_t started = NowMs();
    if (!impl_->session->channel->Write(frame, size)) return -1;
    {
        std::lock_guard lock(impl_->capture->mutex);
        if (impl_->capture->sink) impl_->capture->sink->Sent(frame, size, started);
    }
    return started;
}

DeviceLink::TakeResult SerialLink::TakeMessage(DeviceMessage& message)
{
    MessageQueue& queue = *impl_->queue;
    std::lock_guard lock(queue.mutex);
    if (queue.count == 0) return kEmpty;
    message = queue.slots[queue.head];
    queue.head = (queue.head + 1) % queue.slots.size();
    // A reader held back waits until half the queue is free, not one slot:
    // woken once per message, it would cost a thread switch per message.
    if (queue.count-- == queue.slots.size() / 2 + 1) queue.room.notify_one();
    const bool dropped = std::exchange(queue.droppedSinceTake, false);
    return dropped ? kTakenAfterDrops : kTaken;
}

int SerialLink::PortNumber() const
{
    return impl_->portNumber;
}

bool SerialLink::ReaderRunning() const
{
    return impl_->session && impl_->session->running.load();
}

std::uint64_t SerialLink::DroppedCount() const
{
    std::lock_guard lock(impl_->queue->mutex);
    return impl_->queue->dropped;
}

LinkCounters SerialLink::Counters() const
{
    return impl_->session ? CountsOf(*impl_->session, *impl_->queue) : LinkCounters{};
}

void SerialLink::DiscardInput()
{
    if (impl_->session) impl_->session->channel->DiscardInput();
    std::lock_guard lock(impl_->queue->mutex);
    impl_->queue->count = 0;
    impl_->queue->droppedSinceTake = false;
    impl_->queue->room.notify_all();
}

} // namespace tolvane
