// The link's one reader thread and what it shares with the user-interface
// thread: the queue of messages, the capture slot, and the session of one
// open channel with its counters. The reader knows channels only through
// ByteChannel, whatever carries the bytes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "link/byte_channel.h"
#include "link/clock.h"

namespace tolvane {

// The queue the readers fill and the user-interface thread empties. Shared
// with every reader so that one outliving the link still has a valid lock.
struct MessageQueue {
    // A queue without room would lose every message.
    explicit MessageQueue(std::size_t capacity) : slots(capacity > 0 ? capacity : 1) {}

    std::mutex mutex;
    std::condition_variable room; // a reader that holds back waits on it while the queue is full
    std::vector<DeviceMessage> slots; // ring, allocated once
    std::size_t head = 0;
    std::size_t count = 0;
    bool droppedSinceTake = false;
    std::uint64_t dropped = 0;
};

// Shared with every reader, as the queue is, so that a reader outliving
// its session never sees a sink that SetCapture has let go.
struct CaptureSlot {
    std::mutex mutex;
    CaptureSink* sink = nullptr;
};

// One open channel. The reader holds a reference, so the channel and the
// wake descriptor stay valid for as long as it may poll them, even after
// Close stopped waiting for it.
struct ReaderSession {
    // Takes `stopEventFd`, an eventfd, and closes it.
    ReaderSession(std::unique_ptr<ByteChannel> openChannel, int stopEventFd, std::function<void()> notifyFn);
    ~ReaderSession();
    ReaderSession(const ReaderSession&) = delete;
    ReaderSession& operator=(const ReaderSession&) = delete;

    // Wakes the reader: to stop, or to ask the channel's events again.
    void Wake() const;

    const std::unique_ptr<ByteChannel> channel;
    const int wakeFd;
    const std::function<void()> notify; // copied at open: the reader never reads the link's
    const bool holdsBack;               // the channel's, asked once

    bool stop = false; // guarded by MessageQueue::mutex
    std::atomic<bool> running{true};

    // Written by the reader after each read, read by the user-interface thread.
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> checksumFailures{0};
    std::atomic<std::uint64_t> resyncs{0};
    std::atomic<std::uint64_t> nmeaGood{0};
    std::atomic<std::uint64_t> nmeaBad{0};
    std::atomic<std::int64_t> lastValidMs{-1};
    // The user-interface thread's: a rate changed on a live connection
    // counts from then on, as a reopened port does.
    std::uint64_t droppedAtOpen = 0;
    std::int64_t openedMs = NowMs();
    LinkCounters countedBefore;

    std::mutex finishMutex;
    std::condition_variable finishCv;
    bool finished = false;
};

class StreamDecoder;

// One read of the session's channel after a poll that found `events` on
// it: the bytes go to the capture, the receivers and the queue. False when
// the channel has ended (an error, a hang-up, the end of the stream).
bool ReadChannel(MessageQueue& queue, ReaderSession& session, CaptureSlot& capture, StreamDecoder& decoder,
                 short events);
// Its two halves, for a reader that reads every channel before it hands
// any bytes on: the read (Ended as above; Bytes with their time set), and
// what is done with the bytes.
ChannelRead ReadBytes(ReaderSession& session, short events, ChannelBytes& got);
void HandOn(MessageQueue& queue, ReaderSession& session, CaptureSlot& capture, StreamDecoder& decoder,
            const ChannelBytes& got);
// After a poll that found the session's wake descriptor signalled: true
// when Close asked the reader to stop.
bool WokenToStop(MessageQueue& queue, ReaderSession& session);
// The reader is done with the session: Close's wait ends, and a session
// that ended by itself tells the link.
void FinishReader(MessageQueue& queue, ReaderSession& session);

// The reader's loop: polls the channel and the wake descriptor, feeds what
// the channel reads to the receivers and queues each message, until the
// session is stopped or the channel ends.
void RunReader(const std::shared_ptr<MessageQueue>& queue, const std::shared_ptr<ReaderSession>& session,
               const std::shared_ptr<CaptureSlot>& capture);

// The session's counts since it opened (or its counts last restarted).
LinkCounters CountsOf(const ReaderSession& session, MessageQueue& queue);

} // namespace tolvane
