// One transport under the link: a byte stream to and from the module. The
// link's one reader thread polls the channel's descriptor and reads through
// it; the user-interface thread writes requests through it. A channel owns
// its descriptor and closes it when destroyed.
//
// The reader calls Events and Read once per poll, never once per byte.
// Anything that can be polled fits: a terminal (terminal_channel), a socket
// (TcpChannel, Rfc2217Channel), or a source the program paces itself (a
// timerfd, or a pipe it fills), which may stamp its bytes with times of its
// own and start the framing afresh.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "link/device_link.h"

namespace tolvane {

// At most this much is read at once: a capture's received line holds one read.
inline constexpr std::size_t kReadChunk = 256;

// What one read gave the reader.
struct ChannelBytes {
    const std::uint8_t* bytes = nullptr; // the module's bytes, valid until the next read
    std::size_t count = 0;
    std::int64_t atMs = -1; // when they count as received; -1: the link's clock now
    bool restart = false;   // they do not follow on from the bytes before: framing starts afresh
};

enum class ChannelRead {
    Bytes,   // `count` bytes for the receivers
    Nothing, // nothing for them this time (a Telnet negotiation, a write, a spurious wake-up)
    Ended,   // a read error, a hang-up or the end of the stream: the reader ends
};

// How the user-interface thread waits on a channel while it opens or
// changes rate: `hook` keeps the window alive every few milliseconds;
// `ended` turns true once the reader has ended (the peer hung up, or the
// link was closed from the hook), `closed` only for the latter.
struct ChannelWait {
    std::function<void()> hook;
    std::function<bool()> ended;
    std::function<bool()> closed;
};

class ByteChannel {
public:
    virtual ~ByteChannel() = default;

    // ---- the reader's side
    // The descriptor to poll, and what for, asked before each poll.
    virtual int Descriptor() const = 0;
    virtual short Events() const { return POLLIN; }
    // After a poll that reported `revents` (neither POLLERR nor POLLNVAL)
    // on the descriptor.
    virtual ChannelRead Read(short revents, ChannelBytes& got) = 0;
    // True when the source can wait while the link's queue is full (TCP
    // holds the rest at the server), so that nothing is lost; a serial
    // line cannot wait, and what finds the queue full is dropped.
    virtual bool HoldsBack() const { return false; }

    // ---- the user-interface thread's side
    // Before the reader starts: `wake` makes the reader ask Events again.
    virtual void SetWake(std::function<void()> /*wake*/) {}
    // Once the reader runs: whatever opening still takes (an RFC 2217
    // server is given the line and asked to confirm it). Free when the
    // port now counts as open, or why not; `notice` may get something the
    // user should hear once about this port.
    virtual PortProbe Begin(int /*baud*/, const ChannelWait& /*wait*/, std::string& /*notice*/)
    {
        return ProbeResult::Free;
    }
    // True when opening `path` anew at another rate can keep this live
    // channel and only change its rate with Retune; a terminal is closed
    // and opened again.
    virtual bool CanRetune(std::string_view /*path*/) const { return false; }
    virtual PortProbe Retune(int /*baud*/, const ChannelWait& /*wait*/) { return ProbeResult::Free; }
    // Writes one whole request frame, in order with those before; false
    // when that cannot be done.
    virtual bool Write(const std::uint8_t* frame, std::size_t size) = 0;
    // Drops what was received and not yet read.
    virtual void DiscardInput() {}
    // After the reader has stopped (or been given up on): undoes what
    // opening changed (a terminal's line settings and locks).
    virtual void Release() {}
};

// The read of a channel whose descriptor carries the module's bytes as
// they are (a terminal, a socket): up to kReadChunk bytes into `buffer`.
// On a hang-up what is still buffered is read before the end.
ChannelRead ReadDescriptor(int fd, short revents, std::uint8_t (&buffer)[kReadChunk], ChannelBytes& got);

} // namespace tolvane
