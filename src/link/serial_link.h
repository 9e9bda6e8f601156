// The program's one connection to the compass: opens a numbered port on
// its configured device, runs the reader thread that turns the byte stream
// into messages, queues them for the user-interface thread and writes
// requests. Every member is called on the user-interface thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_message.h"

namespace tolvane {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 8;

// COM1..COM8 to device paths. The application fills it from its settings.
class PortMap {
public:
    PortMap(); // the default devices
    static std::string DefaultPath(int port);
    // Empty for a port outside 1..8.
    const std::string& Path(int port) const;
    void SetPath(int port, std::string path);

private:
    std::array<std::string, kLastPort> paths_;
};

// Sees every chunk the reader reads and every frame Send writes, with the
// clock time of the read or of the write's start. Called on the reader
// thread and on the user-interface thread, one call at a time: it must
// copy and return without waiting on anything slow.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    virtual void Received(const std::uint8_t* bytes, std::size_t count, std::int32_t nowMs) = 0;
    virtual void Sent(const std::uint8_t* bytes, std::size_t count, std::int32_t nowMs) = 0;
};

// Bound of the message queue unless the link is built with another.
inline constexpr std::size_t kDefaultQueueCapacity = 256;

class SerialLink {
public:
    enum TakeResult : int { kEmpty = 0, kTaken = 1, kTakenAfterDrops = 2 };

    explicit SerialLink(std::size_t queueCapacity = kDefaultQueueCapacity);
    ~SerialLink(); // closes
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    void SetPortMap(const PortMap& map);
    const PortMap& Ports() const;
    // Folders searched for UUCP lock files; /run/lock and /var/lock by default.
    void SetLockDirectories(std::vector<std::string> directories);
    // Empty: the defaults.
    const std::vector<std::string>& LockDirectories() const;
    // Called on the reader thread once per queued message, with the queue's
    // lock held so that no call comes after Close returns: it must be quick
    // and must not call back into the link (post an event and return). Set
    // it before opening; it takes effect at the next Open. Also called once
    // more when the reader ends on its own (a read error or hang-up), after
    // ReaderRunning has turned false.
    void SetNotify(std::function<void()> notify);

    // Null stops capturing. Takes effect at once, open or closed; once it
    // returns the previous sink gets no further call.
    void SetCapture(CaptureSink* sink);

    // Opens port 1..8 at 4800, 9600, 19200 or 38400 baud, closing any open
    // port first. Returns the port number, or -1 with the link closed.
    int Open(int port, int baud);
    // Stops the reader (waiting at most 2000 ms), restores the line settings
    // found at open and closes the device. Harmless when closed.
    void Close();
    // Writes the whole frame before returning. Returns the clock time at
    // which the write started, or -1 when closed, when the payload exceeds
    // 66 bytes (nothing is written) or when the write cannot complete.
    std::int32_t Send(const OutgoingRequest& request);
    // Takes the oldest queued message into `message`; see TakeResult. On
    // kEmpty `message` is untouched.
    int TakeMessage(DeviceMessage& message);

    // 1..8 while open, -1 while closed.
    int PortNumber() const;
    // False once the reader has ended on a read error (the port still
    // counts as open until closed).
    bool ReaderRunning() const;
    // Messages lost to a full queue since the link was created.
    std::uint64_t DroppedCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Why a port can or cannot be used.
enum class ProbeResult {
    Free,
    Missing,      // no device, or a port outside 1..8
    NoPermission, // exists, but this user may not open it
    Busy,         // held by another program (flock, exclusive mode or a live UUCP lock)
    NotATerminal, // opened, but is no terminal, or failed otherwise
};

// What a probe found: why the port can or cannot be used and, for a busy
// port, the holder's process id where a lock reveals it (0 when unknown).
// A bare reason converts, for a probe that names no holder.
struct PortProbe {
    PortProbe(ProbeResult why = ProbeResult::Missing, long holder = 0) : reason(why), holderPid(holder) {}
    ProbeResult reason;
    long holderPid;
};

// Opens and locks the device of `port` as Open would, then closes it at
// once.
PortProbe ExaminePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});
ProbeResult ProbePortReason(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});
// True when the port could be used.
bool ProbePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});

// The process holding a whole-file lock (flock) on the file `inode` of the
// filesystem on device `major`:`minor`, from the text of /proc/locks; 0
// when none is listed or its holder is not visible from here.
long FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, unsigned long inode);

} // namespace tolvane
