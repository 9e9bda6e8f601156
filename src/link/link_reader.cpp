#include "link/link_reader.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "link/framing.h"

namespace tolvane {
namespace {

void Deliver(MessageQueue& queue, ReaderSession& session, const DeviceMessage& message)
{
    // The stop check and the notify share the queue lock with Close, so
    // once Close has returned this session neither queues nor notifies. The
    // callback therefore runs under the lock and must not call into the link.
    std::unique_lock lock(queue.mutex);
    // A serial line cannot be held back: what finds the queue full is lost,
    // and counted. A socket can: its reader waits for room, reading nothing
    // meanwhile, and TCP holds the rest at the server.
    if (session.holdsBack && queue.count == queue.slots.size())
        queue.room.wait(lock, [&] { return session.stop || queue.count < queue.slots.size(); });
    if (session.stop) return;
    if (queue.count == queue.slots.size()) {
        ++queue.dropped;
        queue.droppedSinceTake = true;
        return;
    }
    // Copied whole: the receivers have already zeroed the bytes past the length.
    queue.slots[(queue.head + queue.count) % queue.slots.size()] = message;
    ++queue.count;
    if (session.notify) session.notify();
}

// Counters are published once per read, never per byte.
void Publish(ReaderSession& session, const ReceiverCounts& counts, std::size_t bytes, std::int64_t validAt)
{
    constexpr auto relaxed = std::memory_order_relaxed;
    session.bytes.fetch_add(bytes, relaxed);
    session.frames.store(counts.frames, relaxed);
    session.checksumFailures.store(counts.checksumFailures, relaxed);
    session.resyncs.store(counts.resyncs, relaxed);
    session.nmeaGood.store(counts.nmeaGood, relaxed);
    session.nmeaBad.store(counts.nmeaBad, relaxed);
    if (validAt != -1) session.lastValidMs.store(validAt, relaxed);
}

} // namespace

ReaderSession::ReaderSession(std::unique_ptr<ByteChannel> openChannel, int stopEventFd,
                             std::function<void()> notifyFn)
    : channel(std::move(openChannel)), wakeFd(stopEventFd), notify(std::move(notifyFn)),
      holdsBack(channel->HoldsBack())
{
}

ReaderSession::~ReaderSession()
{
    ::close(wakeFd);
}

void ReaderSession::Wake() const
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto signalled = ::write(wakeFd, &one, sizeof one);
}

ChannelRead ReadBytes(ReaderSession& session, short events, ChannelBytes& got)
{
    if ((events & (POLLERR | POLLNVAL)) != 0) return ChannelRead::Ended;
    const ChannelRead read = session.channel->Read(events, got);
    if (read == ChannelRead::Bytes && got.atMs == -1) got.atMs = NowMs();
    return read;
}

void HandOn(MessageQueue& queue, ReaderSession& session, CaptureSlot& capture, StreamDecoder& decoder,
            const ChannelBytes& got)
{
    const std::int64_t now = got.atMs;
    if (got.restart) decoder.Reset();
    bool delivered = false;
    {
        // A read's bytes and their messages under one hold of the capture:
        // once a capture is handed over, every message of the bytes the old
        // one got is queued, and the new one has the rest.
        std::lock_guard lock(capture.mutex);
        if (capture.sink) capture.sink->Received(got.bytes, got.count, now);
        decoder.Feed(got.bytes, got.count, now, [&](const DeviceMessage& message) {
            delivered = true;
            Deliver(queue, session, message);
        });
    }
    Publish(session, decoder.Counts(), got.count, delivered ? now : -1);
}

bool ReadChannel(MessageQueue& queue, ReaderSession& session, CaptureSlot& capture, StreamDecoder& decoder,
                 short events)
{
    ChannelBytes got;
    const ChannelRead read = ReadBytes(session, events, got);
    if (read == ChannelRead::Bytes) HandOn(queue, session, capture, decoder, got);
    return read != ChannelRead::Ended;
}

// The wake descriptor is signalled by Close, and by a channel whose events
// changed: true for the former.
bool WokenToStop(MessageQueue& queue, ReaderSession& session)
{
    std::uint64_t signals;
    [[maybe_unused]] const auto n = ::read(session.wakeFd, &signals, sizeof signals);
    std::lock_guard lock(queue.mutex);
    return session.stop;
}

void FinishReader(MessageQueue& queue, ReaderSession& session)
{
    session.running.store(false);
    {
        // Under the queue lock, as Deliver, so that Close either sees no
        // call or waits for this one; a reader stopped by Close stays quiet.
        std::lock_guard lock(queue.mutex);
        if (!session.stop && session.notify) session.notify();
    }
    {
        std::lock_guard lock(session.finishMutex);
        session.finished = true;
    }
    session.finishCv.notify_all();
}

void RunReader(const std::shared_ptr<MessageQueue>& queue, const std::shared_ptr<ReaderSession>& session,
               const std::shared_ptr<CaptureSlot>& capture)
{
    StreamDecoder decoder;
    pollfd fds[2] = {{session->channel->Descriptor(), POLLIN, 0}, {session->wakeFd, POLLIN, 0}};
    for (;;) {
        fds[0].events = session->channel->Events();
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0 && WokenToStop(*queue, *session)) break;
        if (fds[0].revents != 0 && !ReadChannel(*queue, *session, *capture, decoder, fds[0].revents)) break;
    }
    FinishReader(*queue, *session);
}

LinkCounters CountsOf(const ReaderSession& session, MessageQueue& queue)
{
    LinkCounters c;
    constexpr auto relaxed = std::memory_order_relaxed;
    c.bytes = session.bytes.load(relaxed);
    c.frames = session.frames.load(relaxed);
    c.checksumFailures = session.checksumFailures.load(relaxed);
    c.resyncs = session.resyncs.load(relaxed);
    c.nmeaGood = session.nmeaGood.load(relaxed);
    c.nmeaBad = session.nmeaBad.load(relaxed);
    c.lastValidMs = session.lastValidMs.load(relaxed);
    c.openedMs = session.openedMs;
    const LinkCounters& before = session.countedBefore;
    for (auto [count, counted] : {std::pair{&c.bytes, before.bytes}, std::pair{&c.frames, before.frames},
                                  std::pair{&c.checksumFailures, before.checksumFailures},
                                  std::pair{&c.resyncs, before.resyncs}, std::pair{&c.nmeaGood, before.nmeaGood},
                                  std::pair{&c.nmeaBad, before.nmeaBad}})
        *count -= counted;
    if (c.Valid() == 0) c.lastValidMs = -1;
    std::lock_guard lock(queue.mutex);
    c.dropped = queue.dropped - session.droppedAtOpen;
    return c;
}

} // namespace tolvane
