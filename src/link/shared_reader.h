// One reader thread for the channels of many links, for a process that
// serves many modules. A terminal hands over its bytes a few at a time (a
// USB adapter every millisecond or so), and each wake of a thread costs far
// more than the bytes it brings: one pass over every link's channel at most
// once a period replaces a wake per link per handful of bytes, at the cost
// of at most a period's wait for a frame's last bytes. Half a millisecond:
// with 16 modules in burst, a whole millisecond saved little more and let
// the slowest frames wait past 2 ms.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "link/link_reader.h"

namespace tolvane {

class SharedReader {
public:
    explicit SharedReader(std::int64_t periodNs = kDefaultPeriodNs);
    ~SharedReader(); // ends the thread; a link it still read then finds its reader ended
    SharedReader(const SharedReader&) = delete;
    SharedReader& operator=(const SharedReader&) = delete;

    static constexpr std::int64_t kDefaultPeriodNs = 500'000;

    // Only a channel that never waits for room in its queue: a held-back
    // source would stall every other link's reading.
    static bool Takes(const ReaderSession& session) { return !session.holdsBack; }

    // Reads `session` from now on as its own reader thread would, until
    // Close stops it or its channel ends. False when the thread cannot be
    // had (then nothing was taken on).
    bool Add(std::shared_ptr<MessageQueue> queue, std::shared_ptr<ReaderSession> session,
             std::shared_ptr<CaptureSlot> capture);
    // For Close, once it has asked the session to stop: waits at most
    // `wait` for the thread to let go of the session, as a reader thread of
    // the link's own is joined; false when it has not.
    bool LetGo(const ReaderSession& session, std::chrono::milliseconds wait);

private:
    struct Reading;
    void Run();
    // Ends the reading of a session and lets go of it.
    void Drop(std::unique_ptr<Reading> reading);

    const std::int64_t periodNs_;
    const int wakeFd_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Reading>> added_; // for the thread to take on
    std::set<const ReaderSession*> held_;           // added and not yet let go
    std::condition_variable letGo_;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace tolvane
