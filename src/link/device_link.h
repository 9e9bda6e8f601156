// The program's one connection to the compass, whatever carries it: the
// link (SerialLink) over a serial port or a network port in the program, a
// link in process in tests.
// Every member is called on the user-interface thread; the notify callback
// comes from the link's own reader.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/device_message.h"
#include "link/port_map.h"

namespace tolvane {

// Sees every chunk the reader reads and every frame Send writes, with the
// clock time of the read or of the write's start. Called on the reader
// thread and on the user-interface thread, one call at a time: it must
// copy and return without waiting on anything slow.
class ByteChannel;

class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    virtual void Received(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs) = 0;
    virtual void Sent(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs) = 0;
};

// Why a port can or cannot be used.
enum class ProbeResult {
    Free,
    Missing,      // no device, or a port outside 1..8
    NoPermission, // exists, but this user may not open it
    Busy,         // held by another program (flock, exclusive mode or a live UUCP lock)
    NotATerminal, // opened, but is no terminal, or failed otherwise
    Unreachable,  // a network port whose server could not be reached (refused, timed out, unknown host)
};

// What a probe found: why the port can or cannot be used and, for a busy
// port, the holder's process id where a lock reveals it (0 when unknown).
// A bare reason converts, for a probe that names no holder.
struct PortProbe {
    PortProbe(ProbeResult why = ProbeResult::Missing, long holder = 0) : reason(why), holderPid(holder) {}
    ProbeResult reason;
    long holderPid;
    std::string detail; // for an unreachable network port: "127.0.0.1:2000: Connection refused"
};

// What the link has seen since the port opened (or, on a live network
// connection, since its rate changed); all zero while closed.
struct LinkCounters {
    std::uint64_t bytes = 0;
    std::uint64_t frames = 0;           // binary frames with a good checksum
    std::uint64_t checksumFailures = 0;
    std::uint64_t resyncs = 0;          // frames given up before their checksum
    std::uint64_t nmeaGood = 0;
    std::uint64_t nmeaBad = 0;
    std::uint64_t dropped = 0;          // messages lost to a full queue
    std::int64_t lastValidMs = -1;      // clock time of the last good frame or sentence; -1 before the first
    std::int64_t openedMs = -1;         // clock time this port was opened; -1 when unknown

    std::uint64_t Valid() const { return frames + nmeaGood; }
    friend bool operator==(const LinkCounters&, const LinkCounters&) = default;
};

class DeviceLink {
public:
    enum TakeResult : int { kEmpty = 0, kTaken = 1, kTakenAfterDrops = 2 };

    virtual ~DeviceLink() = default;

    // Called once per queued message, and once more when the reader ends on
    // its own (a read error or hang-up), after ReaderRunning turned false.
    // It must be quick and must not call back into the link: post an event
    // and return. Set it before opening.
    virtual void SetNotify(std::function<void()> notify) = 0;
    // Sees the raw bytes both ways; null stops capturing. Once it returns
    // the previous sink gets no further call.
    virtual void SetCapture(CaptureSink* sink) = 0;

    // Where ports 1..8 lead, and whether each can be used now.
    virtual const PortMap& Ports() const = 0;
    // Port 1..8 leads to `path` from its next open on.
    virtual void SetPortPath(int port, std::string path) = 0;
    virtual PortProbe Probe(int port) const = 0;

    // Opens port 1..8 at 4800, 9600, 19200 or 38400 baud, closing any open
    // port first. The port number, or -1 with the link closed and `why`,
    // when given, telling the cause as a probe would.
    virtual int Open(int port, int baud, PortProbe* why) = 0;
    int Open(int port, int baud) { return Open(port, baud, nullptr); }
    // Opens a channel the program made itself (a recording played back)
    // as `port`, closing any open port first.
    virtual int OpenChannel(std::unique_ptr<ByteChannel> channel, int port, PortProbe* why = nullptr) = 0;
    // Harmless when closed.
    virtual void Close() = 0;
    // Writes the whole frame before returning; a network port never waits,
    // and what its connection cannot take at once is written in order later.
    // The clock time at which the write started, or -1 when closed, when the
    // payload exceeds 66 bytes (nothing is written) or when the write cannot
    // complete (for a network port: 64 KB are waiting already).
    virtual std::int64_t Send(const OutgoingRequest& request) = 0;
    // Takes the oldest queued message into `message`; on kEmpty `message`
    // is untouched.
    virtual TakeResult TakeMessage(DeviceMessage& message) = 0;

    // 1..8 while open, -1 while closed.
    virtual int PortNumber() const = 0;
    // False once the reader has ended on its own; the port still counts as
    // open until closed.
    virtual bool ReaderRunning() const = 0;
    // Messages lost to a full queue since the link was created; a network
    // port loses none: it stops reading until there is room.
    virtual std::uint64_t DroppedCount() const = 0;
    // Read by the user-interface thread while the reader counts.
    virtual LinkCounters Counters() const = 0;
    // Called every few milliseconds while an open waits on the network, so
    // that the window stays alive; calls into the link from it are refused.
    virtual void SetWaitHook(std::function<void()> hook) = 0;
    // Something the user should hear about the link once (a network server
    // that does not set the line); empty when there is nothing new.
    virtual std::string TakeNotice() = 0;
    // Drops what was received and not yet taken: the bytes waiting in the
    // device and the queued messages.
    virtual void DiscardInput() = 0;
};

} // namespace tolvane
