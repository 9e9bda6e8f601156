// A network port as the link's channel: a TCP connection carrying the
// module's bytes as they are ("tcp://HOST:PORT"). Writes never wait: what
// the socket does not take at once waits here and goes out as room comes,
// and the reader stops reading while much waits, so that a peer that does
// not read is held back too.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <vector>

#include "link/byte_channel.h"
#include "link/network_port.h"

namespace tolvane {

// What may wait for the socket before a request is refused.
inline constexpr std::size_t kMaxOutgoing = 64 * 1024;

class TcpChannel : public ByteChannel {
public:
    // Takes the connected, nonblocking socket `fd` to `address`.
    TcpChannel(int fd, NetworkPort address);
    ~TcpChannel() override;
    TcpChannel(const TcpChannel&) = delete;
    TcpChannel& operator=(const TcpChannel&) = delete;

    int Descriptor() const override { return fd_; }
    // Room while something waits to be written, and data while not too much does.
    short Events() const override;
    ChannelRead Read(short revents, ChannelBytes& got) override;
    bool HoldsBack() const override { return true; }

    void SetWake(std::function<void()> wake) override { wake_ = std::move(wake); }
    // A connection the server closed at once is no open port.
    PortProbe Begin(int baud, const ChannelWait& wait, std::string& notice) override;
    // Another network address keeps the connection: a raw port's rate is the server's own.
    bool CanRetune(std::string_view path) const override;
    PortProbe Retune(int baud, const ChannelWait& wait) override;
    bool Write(const std::uint8_t* frame, std::size_t size) override { return Queue(frame, size, kMaxOutgoing); }

protected:
    // Writes what the socket takes now and keeps the rest waiting, in
    // order. False, with nothing added, when more than `limit` would wait
    // (the peer has stopped reading), or on a write error.
    bool Queue(const std::uint8_t* bytes, std::size_t size, std::size_t limit = SIZE_MAX);
    bool Queue(const std::vector<std::uint8_t>& bytes) { return Queue(bytes.data(), bytes.size()); }
    const NetworkPort& Address() const { return address_; }

private:
    // Writes what the socket takes now of what waits; false on an error.
    // Called with the write lock held.
    bool Flush();

    const int fd_;
    const NetworkPort address_;
    std::function<void()> wake_;
    std::mutex writeMutex_;               // the reader (its flushes, Telnet answers) and requests both write
    std::vector<std::uint8_t> outgoing_;  // what the socket has not taken yet
    std::atomic<std::size_t> waiting_{0}; // its size, for the reader's poll
    std::uint8_t buffer_[kReadChunk];
};

} // namespace tolvane
