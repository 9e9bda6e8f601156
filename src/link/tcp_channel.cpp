#include "link/tcp_channel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "link/network_connect.h"

namespace tolvane {

TcpChannel::TcpChannel(int fd, NetworkPort address) : fd_(fd), address_(std::move(address)) {}

TcpChannel::~TcpChannel()
{
    ::close(fd_);
}

short TcpChannel::Events() const
{
    const std::size_t waiting = waiting_.load(std::memory_order_relaxed);
    return static_cast<short>((waiting < kMaxOutgoing / 2 ? POLLIN : 0) | (waiting > 0 ? POLLOUT : 0));
}

ChannelRead TcpChannel::Read(short revents, ChannelBytes& got)
{
    if ((revents & POLLOUT) != 0) {
        std::lock_guard lock(writeMutex_);
        if (!Flush()) return ChannelRead::Ended;
    }
    return ReadDescriptor(fd_, revents, buffer_, got);
}

PortProbe TcpChannel::Begin(int, const ChannelWait& wait, std::string&)
{
    // The port counts as open only once the server has had its say: a
    // connection closed at once must not look like a port lost after it opened.
    return wait.ended() ? Unreachable(address_, "the server closed the connection at once") : ProbeResult::Free;
}

bool TcpChannel::CanRetune(std::string_view path) const
{
    return ParseNetworkPort(path).has_value();
}

PortProbe TcpChannel::Retune(int, const ChannelWait& wait)
{
    // Closed while the server confirmed the rate: the window's events, which
    // ran meanwhile, have closed the link and watch for the port.
    return wait.closed() ? Unreachable(address_, "the connection was lost") : ProbeResult::Free;
}

bool TcpChannel::Queue(const std::uint8_t* bytes, std::size_t size, std::size_t limit)
{
    std::lock_guard lock(writeMutex_);
    if (outgoing_.size() + size > limit) return false;
    const bool nothingWaited = outgoing_.empty();
    outgoing_.insert(outgoing_.end(), bytes, bytes + size);
    if (!Flush()) return false;
    // The reader polls for room only while something waits: it is told.
    if (nothingWaited && !outgoing_.empty() && wake_) wake_();
    return true;
}

bool TcpChannel::Flush()
{
    // MSG_NOSIGNAL: a connection the server closed fails the write instead of raising SIGPIPE.
    std::size_t sent = 0;
    const std::size_t size = outgoing_.size();
    bool ok = true;
    while (sent < size) {
        const ssize_t n = ::send(fd_, &outgoing_[sent], size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ok = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        break;
    }
    outgoing_.erase(outgoing_.begin(), outgoing_.begin() + static_cast<std::ptrdiff_t>(sent));
    waiting_.store(outgoing_.size());
    return ok;
}

} // namespace tolvane
