// A recording opened for playing back: the file, its index built on a
// thread of its own, and the player's state (paused, speed, position)
// shared with the channel that plays it on the link's reader. A seek is a
// new channel from the point sought, so the framing starts there afresh
// and nothing queued before it is taken for what follows.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/replay.h"
#include "link/byte_channel.h"
#include "link/device_message.h"

namespace tolvane {

// What the channel tells from the reader's thread, in order with the
// messages it queues.
struct ReplayEvent {
    enum class Kind { Gap, Ended };
    Kind kind = Kind::Ended;
    std::uint64_t lost = 0; // bytes a gap line says were not captured
    std::string error;      // why the file could not be read to its end; empty at its end
};

class ReplayRecording {
public:
    using Clock = std::function<std::int64_t()>;
    using Events = std::function<void(const ReplayEvent&)>;

    // Null with `error` naming the file and the reason when it cannot be
    // read. `clock` is the link's (NowMs). Indexing starts at once.
    static std::unique_ptr<ReplayRecording> Open(const std::string& path, std::string& error, Clock clock);
    ~ReplayRecording(); // stops indexing
    ReplayRecording(const ReplayRecording&) = delete;
    ReplayRecording& operator=(const ReplayRecording&) = delete;

    const std::string& Path() const;
    bool Raw() const;
    int Baud() const;
    // The time of the last chunk: known from the file's tail at once, and
    // from the index once it is built.
    std::int64_t LengthMs() const;

    // A channel playing from `ms` on (what comes before it is passed
    // over), its bytes stamped at BaseMs() + their time. `events` runs on
    // the reader's thread. The player's position moves to `ms`.
    std::unique_ptr<ByteChannel> ChannelAt(std::int64_t ms, Events events);
    // The link's time of the recording's time 0, so that the plot's times
    // are the recording's.
    std::int64_t BaseMs() const;

    void SetPaused(bool paused);
    bool Paused() const;
    void SetSpeed(int speed); // 0: as fast as possible
    int Speed() const;
    std::int64_t PositionMs() const;
    // Played to its end (or to where the file could no longer be read).
    bool Ended() const;
    // Malformed lines skipped so far.
    std::uint64_t Malformed() const;

    // Indexing: how far (0 to 1) and whether it has finished.
    double IndexedFraction() const;
    bool Indexed() const;

    // The messages received from `fromMs` up to `toMs`, decoded from the
    // file at once (the plot's span before a point sought), stamped as the
    // channel stamps them.
    void Decode(std::int64_t fromMs, std::int64_t toMs, const std::function<void(const DeviceMessage&)>& each) const;

    struct Shared;

private:
    ReplayRecording() = default;
    std::shared_ptr<Shared> shared_;
};

} // namespace tolvane
