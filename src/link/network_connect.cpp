#include "link/network_connect.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

// A resolution the waiting side may give up on: the thread keeps its own
// reference and frees the result when nobody else wants it.
struct Resolution {
    std::mutex mutex;
    bool done = false;
    int error = 0;
    addrinfo* result = nullptr;
    ~Resolution()
    {
        if (result) ::freeaddrinfo(result);
    }
};

std::string Where(const NetworkPort& port)
{
    const bool v6 = port.host.find(':') != std::string::npos;
    return (v6 ? "[" + port.host + "]" : port.host) + ":" + port.port;
}

// A dropped network (a cable, a Wi-Fi link) is noticed within about 11 s
// instead of the system's two hours.
void KeepAlive(int fd)
{
    const int on = 1, idle = 5, interval = 2, count = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

PortProbe Unreachable(const NetworkPort& port, const std::string& reason)
{
    PortProbe why(ProbeResult::Unreachable);
    why.detail = Where(port) + ": " + reason;
    return why;
}

bool WaitWithHook(const std::function<bool()>& done, const std::function<void()>& waitHook,
                  std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline) return done();
        if (waitHook) waitHook();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int ConnectToNetworkPort(const NetworkPort& port, const std::function<void()>& waitHook, PortProbe& why,
                         std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    const auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    };

    auto resolution = std::make_shared<Resolution>();
    try {
        std::thread([resolution, host = port.host, service = port.port] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
            addrinfo* result = nullptr;
            const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
            std::lock_guard lock(resolution->mutex);
            resolution->error = error;
            resolution->result = result;
            resolution->done = true;
        }).detach();
    } catch (const std::system_error&) {
        why = Unreachable(port, "no thread to resolve the name");
        return -1;
    }
    const auto resolved = [&] {
        std::lock_guard lock(resolution->mutex);
        return resolution->done;
    };
    if (!WaitWithHook(resolved, waitHook, left())) {
        why = Unreachable(port, "the name could not be resolved in time");
        return -1;
    }
    std::lock_guard lock(resolution->mutex);
    if (resolution->error != 0) {
        why = Unreachable(port, resolution->error == EAI_SYSTEM ? std::strerror(errno)
                                                                : ::gai_strerror(resolution->error));
        return -1;
    }

    std::string lastReason = "no address";
    for (const addrinfo* a = resolution->result; a != nullptr; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastReason = std::strerror(errno);
            continue;
        }
        int error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            const auto connected = [&] {
                pollfd p{fd, POLLOUT, 0};
                return ::poll(&p, 1, 0) > 0;
            };
            if (!WaitWithHook(connected, waitHook, left())) {
                ::close(fd);
                why = Unreachable(port, "no answer within " + std::to_string(timeout.count() / 1000) + " s");
                return -1;
            }
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        }
        if (error == 0) {
            KeepAlive(fd);
            why = PortProbe(ProbeResult::Free);
            return fd;
        }
        lastReason = std::strerror(error);
        ::close(fd);
    }
    why = Unreachable(port, lastReason);
    return -1;
}

} // namespace tolvane
