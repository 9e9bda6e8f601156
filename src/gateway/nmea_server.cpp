#include "gateway/nmea_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvane {
namespace {

// What one read of a client takes: a client that floods cannot hold the
// loop longer than this per pass.
constexpr std::size_t kReadChunk = 16 * 1024;
// Connections waiting to be accepted: more than may stay, so that those
// past the 16th are accepted and closed rather than left hanging.
constexpr int kBacklog = 64;

std::string Failure(const SocketAddress& address)
{
    return address.Text() + ": " + std::strerror(errno);
}

} // namespace

NmeaServer::~NmeaServer()
{
    for (const Client& client : clients_) ::close(client.fd);
    for (int fd : {listenFd_, udp4Fd_, udp6Fd_})
        if (fd >= 0) ::close(fd);
}

bool NmeaServer::Listen(const SocketAddress& address, std::string& error)
{
    const int family = address.ipv6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_storage at{};
    const socklen_t length = address.ToSockaddr(at);
    // Reusing the address lets a restarted gateway listen while its last
    // connections linger; IPv6 only keeps [::] off the IPv4 port.
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        (address.ipv6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&at), length) != 0 ||
        ::listen(fd, kBacklog) != 0) {
        error = Failure(address);
        if (fd >= 0) ::close(fd);
        return false;
    }
    listenFd_ = fd;
    return true;
}

std::optional<SocketAddress> NmeaServer::ListeningOn() const
{
    sockaddr_storage at{};
    socklen_t length = sizeof at;
    if (listenFd_ < 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&at), &length) != 0) return std::nullopt;
    return FromSockaddr(at);
}

bool NmeaServer::AddDestination(const SocketAddress& destination, std::string& error)
{
    int& fd = destination.ipv6 ? udp6Fd_ : udp4Fd_;
    if (fd < 0) {
        fd = ::socket(destination.ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        // A broadcast address (192.168.1.255) is a destination like another.
        const int on = 1;
        if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            error = Failure(destination);
            return false;
        }
    }
    destinations_.push_back(destination);
    return true;
}

void NmeaServer::Publish(std::string_view sentences)
{
    for (std::size_t i = 0; i < clients_.size();) {
        Send(clients_[i], sentences);
        const Client& client = clients_[i];
        if (client.fd >= 0 && client.Waiting() <= kMaxQueue) {
            ++i;
            continue;
        }
        if (client.fd >= 0) ++droppedClients_;
        Close(i);
    }
    if (destinations_.empty()) return;
    for (std::size_t start = 0; start < sentences.size();) {
        const std::size_t end = sentences.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? sentences.size() : end + 1;
        const std::string_view sentence = sentences.substr(start, next - start);
        start = next;
        for (const SocketAddress& destination : destinations_) {
            sockaddr_storage to{};
            const socklen_t length = destination.ToSockaddr(to);
            const int fd = destination.ipv6 ? udp6Fd_ : udp4Fd_;
            if (::sendto(fd, sentence.data(), sentence.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                         reinterpret_cast<const sockaddr*>(&to), length) != static_cast<ssize_t>(sentence.size()))
                ++lostDatagrams_;
        }
    }
}

void NmeaServer::Send(Client& client, std::string_view bytes)
{
    if (client.Waiting() == 0) {
        const ssize_t n = ::send(client.fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            // Gone: the caller closes it without counting it as dropped.
            ::close(client.fd);
            client.fd = -1;
            return;
        }
        if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
        client.queue.clear();
        client.sent = 0;
    } else if (client.sent >= kMaxQueue) {
        // A client that keeps some waiting never empties its queue: what
        // it has taken goes from the front now and then.
        client.queue.erase(0, client.sent);
        client.sent = 0;
    }
    client.queue.append(bytes);
}

bool NmeaServer::Flush(Client& client)
{
    while (client.Waiting() > 0) {
        const ssize_t n = ::send(client.fd, client.queue.data() + client.sent, client.Waiting(),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        client.sent += static_cast<std::size_t>(n);
    }
    client.queue.clear();
    client.sent = 0;
    return true;
}

void NmeaServer::Close(std::size_t index)
{
    if (clients_[index].fd >= 0) ::close(clients_[index].fd);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}

NmeaServer::Client* NmeaServer::Find(int fd)
{
    for (Client& client : clients_)
        if (client.fd == fd) return &client;
    return nullptr;
}

void NmeaServer::Accept()
{
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (clients_.size() >= kMaxClients) {
            ::close(fd);
            ++refusedClients_;
            continue;
        }
        // Each publish is a sentence or two: sent at once, not held for more.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        clients_.push_back({fd, {}, 0});
    }
}

void NmeaServer::CollectFds(std::vector<pollfd>& fds) const
{
    if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
    for (const Client& client : clients_)
        fds.push_back({client.fd, static_cast<short>(POLLIN | (client.Waiting() > 0 ? POLLOUT : 0)), 0});
}

void NmeaServer::OnReadable(int fd)
{
    if (fd == listenFd_) {
        Accept();
        return;
    }
    Client* client = Find(fd);
    if (!client) return;
    char ignored[kReadChunk];
    const ssize_t n = ::recv(fd, ignored, sizeof ignored, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        Close(static_cast<std::size_t>(client - clients_.data()));
}

void NmeaServer::OnWritable(int fd)
{
    Client* client = Find(fd);
    if (client && !Flush(*client)) Close(static_cast<std::size_t>(client - clients_.data()));
}

} // namespace tolvane
