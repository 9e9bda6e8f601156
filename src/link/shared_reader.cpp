#include "link/shared_reader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "link/framing.h"

namespace tolvane {

struct SharedReader::Reading {
    std::shared_ptr<MessageQueue> queue;
    std::shared_ptr<ReaderSession> session;
    std::shared_ptr<CaptureSlot> capture;
    StreamDecoder decoder;
    ChannelBytes got; // this pass's read, handed on once every channel is read
    bool gotBytes = false;
};

SharedReader::SharedReader(std::int64_t periodNs)
    : periodNs_(periodNs), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

SharedReader::~SharedReader()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool SharedReader::Add(std::shared_ptr<MessageQueue> queue, std::shared_ptr<ReaderSession> session,
                       std::shared_ptr<CaptureSlot> capture)
{
    if (wakeFd_ < 0) return false;
    auto reading = std::make_unique<Reading>();
    reading->queue = std::move(queue);
    reading->session = std::move(session);
    reading->capture = std::move(capture);
    {
        std::lock_guard lock(mutex_);
        // Started with the first link, so that a process that never opens
        // one has no thread.
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        held_.insert(reading->session.get());
        added_.push_back(std::move(reading));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    return true;
}

bool SharedReader::LetGo(const ReaderSession& session, std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    return letGo_.wait_for(lock, wait, [&] { return held_.count(&session) == 0; });
}

void SharedReader::Drop(std::unique_ptr<Reading> reading)
{
    const ReaderSession* session = reading->session.get();
    FinishReader(*reading->queue, *reading->session);
    reading.reset();
    // Only now: Close may then let the session go with the last reference,
    // and its descriptors close before Close returns.
    {
        std::lock_guard lock(mutex_);
        held_.erase(session);
    }
    letGo_.notify_all();
}

void SharedReader::Run()
{
    std::vector<std::unique_ptr<Reading>> readings;
    std::vector<pollfd> fds;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (quit_) break;
            for (auto& reading : added_) readings.push_back(std::move(reading));
            added_.clear();
        }
        // The thread's own wake, then each reading's channel and wake.
        fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
        for (const auto& r : readings) {
            fds.push_back({r->session->channel->Descriptor(), r->session->channel->Events(), 0});
            fds.push_back({r->session->wakeFd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            // Out of memory, say: the links see their channels end, and
            // those reopened later are read again.
            for (auto& r : readings) Drop(std::move(r));
            readings.clear();
            continue;
        }
        const auto passStart = std::chrono::steady_clock::now();
        if (fds[0].revents != 0) {
            std::uint64_t count;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < readings.size(); ++i) {
            Reading& r = *readings[i];
            const short channelEvents = fds[1 + 2 * i].revents;
            const bool stopped = fds[2 + 2 * i].revents != 0 && WokenToStop(*r.queue, *r.session);
            const ChannelRead read =
                stopped ? ChannelRead::Ended
                        : channelEvents != 0 ? ReadBytes(*r.session, channelEvents, r.got) : ChannelRead::Nothing;
            if (read == ChannelRead::Ended) {
                Drop(std::move(readings[i]));
                continue;
            }
            r.gotBytes = read == ChannelRead::Bytes;
            if (kept != i) readings[kept] = std::move(readings[i]);
            ++kept;
        }
        readings.resize(kept);
        // The messages of a pass are queued together, after its reads: the
        // threads that take them wake once for the pass, not once for each
        // link whose messages came while they were already at work.
        for (const auto& r : readings)
            if (r->gotBytes) HandOn(*r->queue, *r->session, *r->capture, r->decoder, r->got);
        // What comes meanwhile waits for the next pass, read with the rest.
        std::this_thread::sleep_until(passStart + std::chrono::nanoseconds(periodNs_));
    }
    // Links still open when the reader goes (the process ends): their
    // Close finds them finished.
    for (auto& r : readings) Drop(std::move(r));
}

} // namespace tolvane
