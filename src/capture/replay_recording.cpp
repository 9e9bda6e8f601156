#include "capture/replay_recording.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <utility>

#include "link/framing.h"

namespace tolvane {

struct ReplayRecording::Shared {
    std::string path;
    bool raw = false;
    int baud = 0;
    std::uint64_t dataStart = 0;
    std::uint64_t size = 0;
    Clock clock;
    std::int64_t baseMs = 0;
    std::int64_t tailMs = -1;

    // The player, shared with the channel playing now.
    mutable std::mutex mutex;
    ReplayPacer pacer;
    bool ended = false;
    int timerFd = -1;            // the playing channel's, to wake it after a change
    std::uint64_t malformed = 0; // lines skipped up to `readTo`
    std::uint64_t readTo = 0;    // the furthest offset a channel has read

    // The index, filled by its own thread.
    mutable std::mutex indexMutex;
    ReplayIndex index;
    std::atomic<std::uint64_t> indexed{0};
    std::atomic<bool> indexDone{false};
    std::atomic<bool> cancel{false};
    std::thread indexer;

    std::int64_t Now() const { return clock(); }
    ReplayIndex::Entry Before(std::int64_t ms) const
    {
        std::lock_guard lock(indexMutex);
        return index.Before(ms, dataStart);
    }
    // Under `mutex`: the playing channel reads again at once.
    void Wake() const
    {
        if (timerFd < 0) return;
        const itimerspec soon{{0, 0}, {0, 1}};
        ::timerfd_settime(timerFd, 0, &soon, nullptr);
    }
};

namespace {

// The recording played on the link's reader: the descriptor is a timer
// armed for when the next chunk falls due (at once as fast as possible),
// and the bytes go out stamped with their recorded times.
class ReplayChannel : public ByteChannel {
public:
    ReplayChannel(std::shared_ptr<ReplayRecording::Shared> shared, std::int64_t fromMs,
                  ReplayRecording::Events events)
        : shared_(std::move(shared)), fromMs_(fromMs), events_(std::move(events)),
          timerFd_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK))
    {
        opened_ = file_.Open(shared_->path, error_);
        if (opened_) file_.SeekTo(file_.Raw() ? 0 : shared_->Before(fromMs).offset);
        std::lock_guard lock(shared_->mutex);
        shared_->timerFd = timerFd_;
        shared_->Wake();
    }
    ~ReplayChannel() override
    {
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->timerFd == timerFd_) shared_->timerFd = -1;
        }
        ::close(timerFd_);
    }

    int Descriptor() const override { return timerFd_; }
    // Nothing is lost as fast as possible: the reader waits for room.
    bool HoldsBack() const override { return true; }
    // Nothing reaches a module from a recording.
    bool Write(const std::uint8_t*, std::size_t) override { return false; }

    // The timer, once expired, is left unread while chunks fall due: it
    // stays readable, and playing as fast as possible costs no call on it.
    ChannelRead Read(short, ChannelBytes& got) override
    {
        std::unique_lock lock(shared_->mutex);
        if (shared_->ended) return Wait(-1);
        if (!have_ && !NextChunk()) {
            End(lock);
            return ChannelRead::Nothing;
        }
        const std::int64_t wait = shared_->pacer.WaitFor(chunk_.ms, shared_->Now());
        if (wait != 0) return Wait(wait);
        have_ = false;
        shared_->pacer.Delivered(chunk_.ms);
        if (chunk_.kind == ChunkKind::Gap) {
            restart_ = true;
            if (events_) events_({ReplayEvent::Kind::Gap, chunk_.lost, {}});
            return ChannelRead::Nothing;
        }
        got.bytes = chunk_.bytes.data();
        got.count = chunk_.bytes.size();
        got.atMs = shared_->baseMs + chunk_.ms;
        got.restart = std::exchange(restart_, false);
        return ChannelRead::Bytes;
    }

private:
    // Under the mutex: the next chunk to play; sent lines and what comes
    // before the point sought are passed over.
    bool NextChunk()
    {
        if (!opened_) return false;
        for (;;) {
            const std::uint64_t malformed = file_.Malformed();
            const bool got = file_.Next(chunk_);
            // Lines read again after a seek back are counted once.
            if (file_.Offset() > shared_->readTo) {
                shared_->malformed += file_.Malformed() - malformed;
                shared_->readTo = file_.Offset();
            }
            if (!got) {
                error_ = file_.Error();
                return false;
            }
            if (chunk_.kind == ChunkKind::Sent || chunk_.ms < fromMs_) continue;
            have_ = true;
            return true;
        }
    }

    // Paused at the end, which is told once the messages before it are queued.
    void End(std::unique_lock<std::mutex>& lock)
    {
        shared_->ended = true;
        const std::int64_t now = shared_->Now();
        shared_->pacer.Start(std::max(shared_->tailMs, fromMs_), now);
        shared_->pacer.SetPaused(true, now);
        Wait(-1);
        lock.unlock();
        if (events_) events_({ReplayEvent::Kind::Ended, 0, error_});
    }

    // -1: until woken. Arming the timer anew also clears its expiry.
    ChannelRead Wait(std::int64_t ms)
    {
        itimerspec when{};
        if (ms > 0) {
            when.it_value.tv_sec = static_cast<time_t>(ms / 1000);
            when.it_value.tv_nsec = static_cast<long>(ms % 1000) * 1000000;
        }
        ::timerfd_settime(timerFd_, 0, &when, nullptr);
        return ChannelRead::Nothing;
    }

    std::shared_ptr<ReplayRecording::Shared> shared_;
    std::int64_t fromMs_;
    ReplayRecording::Events events_;
    int timerFd_;
    ReplayFile file_;
    bool opened_ = false;
    std::string error_;
    CaptureChunk chunk_;
    bool have_ = false;
    bool restart_ = false;
};

} // namespace

std::unique_ptr<ReplayRecording> ReplayRecording::Open(const std::string& path, std::string& error, Clock clock)
{
    ReplayFile file;
    if (!file.Open(path, error)) return nullptr;
    std::unique_ptr<ReplayRecording> recording(new ReplayRecording);
    auto shared = std::make_shared<Shared>();
    shared->path = path;
    shared->raw = file.Raw();
    shared->baud = file.Header().baud;
    shared->dataStart = file.DataStart();
    shared->size = file.Size();
    shared->clock = std::move(clock);
    shared->baseMs = shared->Now();
    shared->tailMs = LastChunkMs(path);
    shared->pacer.Start(0, shared->Now());
    shared->indexer = std::thread([s = shared.get()] {
        ReplayIndex index;
        std::string failed;
        // Built apart and handed over in steps, so that a seek never waits on a whole pass.
        const auto progress = [&](std::uint64_t offset) {
            s->indexed.store(offset);
            std::lock_guard lock(s->indexMutex);
            s->index = index;
        };
        IndexRecording(s->path, index, progress, [s] { return s->cancel.load(); }, failed);
        std::lock_guard lock(s->indexMutex);
        s->index = std::move(index);
        s->indexDone.store(true);
    });
    recording->shared_ = std::move(shared);
    return recording;
}

ReplayRecording::~ReplayRecording()
{
    shared_->cancel.store(true);
    if (shared_->indexer.joinable()) shared_->indexer.join();
}

const std::string& ReplayRecording::Path() const { return shared_->path; }
bool ReplayRecording::Raw() const { return shared_->raw; }
int ReplayRecording::Baud() const { return shared_->baud; }
std::int64_t ReplayRecording::BaseMs() const { return shared_->baseMs; }

std::int64_t ReplayRecording::LengthMs() const
{
    std::int64_t length = std::max<std::int64_t>(shared_->tailMs, 0);
    if (shared_->indexDone.load()) {
        std::lock_guard lock(shared_->indexMutex);
        length = std::max(length, shared_->index.LastMs());
    }
    return length;
}

std::unique_ptr<ByteChannel> ReplayRecording::ChannelAt(std::int64_t ms, Events events)
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->ended = false;
        shared_->pacer.Start(ms, shared_->Now());
    }
    return std::make_unique<ReplayChannel>(shared_, ms, std::move(events));
}

void ReplayRecording::SetPaused(bool paused)
{
    std::lock_guard lock(shared_->mutex);
    shared_->pacer.SetPaused(paused, shared_->Now());
    shared_->Wake();
}

bool ReplayRecording::Paused() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->pacer.Paused();
}

void ReplayRecording::SetSpeed(int speed)
{
    std::lock_guard lock(shared_->mutex);
    shared_->pacer.SetSpeed(speed, shared_->Now());
    shared_->Wake();
}

int ReplayRecording::Speed() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->pacer.Speed();
}

std::int64_t ReplayRecording::PositionMs() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->pacer.Position(shared_->Now());
}

bool ReplayRecording::Ended() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->ended;
}

std::uint64_t ReplayRecording::Malformed() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->malformed;
}

double ReplayRecording::IndexedFraction() const
{
    if (shared_->indexDone.load() || shared_->size == 0) return 1.0;
    return static_cast<double>(shared_->indexed.load()) / static_cast<double>(shared_->size);
}

bool ReplayRecording::Indexed() const { return shared_->indexDone.load(); }

void ReplayRecording::Decode(std::int64_t fromMs, std::int64_t toMs,
                             const std::function<void(const DeviceMessage&)>& each) const
{
    ReplayFile file;
    std::string error;
    if (!file.Open(shared_->path, error) || file.Raw()) return;
    file.SeekTo(shared_->Before(fromMs).offset);
    StreamDecoder decoder;
    CaptureChunk chunk;
    while (file.Next(chunk) && chunk.ms < toMs) {
        if (chunk.kind == ChunkKind::Gap) decoder.Reset();
        if (chunk.kind != ChunkKind::Received || chunk.ms < fromMs) continue;
        decoder.Feed(chunk.bytes.data(), chunk.bytes.size(), shared_->baseMs + chunk.ms,
                     [&each](const DeviceMessage& message) { each(message); });
    }
}

} // namespace tolvane
