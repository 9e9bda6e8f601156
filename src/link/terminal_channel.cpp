#include "link/terminal_channel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "link/port_locks.h"

namespace tolvane {
namespace {

constexpr auto kWriteTimeout = std::chrono::milliseconds(2000);

bool SpeedFor(int baud, speed_t& speed)
{
    switch (baud) {
    case 4800: speed = B4800; return true;
    case 9600: speed = B9600; return true;
    case 19200: speed = B19200; return true;
    case 38400: speed = B38400; return true;
    default: return false;
    }
}

// Undoes what OpenDevice set up, apart from the line settings.
void ReleaseDevice(int fd)
{
    // Clearing exclusive mode lets non-root users reopen a port whose other
    // end (a simulator's pty slave, say) is still held open.
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

// Opens, locks and claims the device at `configuredPath`, reading its line
// settings into `saved`. The descriptor, or -1 with nothing left open and
// `why` telling the cause.
int OpenDevice(const std::string& configuredPath, const std::vector<std::string>& lockDirectories,
               termios& saved, PortProbe& why)
{
    why = ProbeResult::Missing;
    if (configuredPath.empty()) return -1;
    char* resolved = ::realpath(configuredPath.c_str(), nullptr);
    if (resolved == nullptr) {
        // A path the user may not even look through is still a permission problem.
        if (errno == EACCES) why = ProbeResult::NoPermission;
        return -1;
    }
    const std::string device(resolved);
    std::free(resolved);

    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) why = ProbeResult::NoPermission;
        else if (errno == EBUSY) why = ProbeResult::Busy; // another's exclusive mode
        else if (errno != ENOENT && errno != ENXIO && errno != ENODEV) why = ProbeResult::NotATerminal;
        return -1;
    }
    why = ProbeResult::Busy;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        why.holderPid = FlockHolderOf(fd);
        ::close(fd);
        return -1;
    }
    why.holderPid = LockFileHolder(device, lockDirectories);
    if (why.holderPid != 0) {
        ReleaseDevice(fd);
        return -1;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        if (errno == ENOTTY || errno == EINVAL) why = ProbeResult::NotATerminal;
        ReleaseDevice(fd);
        return -1;
    }
    if (::tcgetattr(fd, &saved) != 0) {
        why = ProbeResult::NotATerminal;
        ReleaseDevice(fd);
        return -1;
    }
    why = ProbeResult::Free;
    return fd;
}

bool ConfigureLine(int fd, const termios& saved, speed_t speed)
{
    termios t = saved;
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    // The descriptor is nonblocking and poll does the waiting.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) return false;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;

    // A pseudo-terminal has no modem lines and refuses this; that is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    return true;
}

class TerminalChannel : public ByteChannel {
public:
    TerminalChannel(int fd, const termios& saved) : fd_(fd), saved_(saved) {}
    ~TerminalChannel() override { ::close(fd_); }
    TerminalChannel(const TerminalChannel&) = delete;
    TerminalChannel& operator=(const TerminalChannel&) = delete;

    int Descriptor() const override { return fd_; }
    ChannelRead Read(short revents, ChannelBytes& got) override
    {
        return ReadDescriptor(fd_, revents, buffer_, got);
    }

    // The whole frame within kWriteTimeout, waiting for room in the line.
    bool Write(const std::uint8_t* frame, std::size_t size) override
    {
        const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
        std::size_t written = 0;
        while (written < size) {
            const ssize_t n = ::write(fd_, frame + written, size - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;

            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLOUT, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) return false;
            if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
        }
        return true;
    }

    void DiscardInput() override { ::tcflush(fd_, TCIFLUSH); }

    void Release() override
    {
        ::tcflush(fd_, TCIOFLUSH);
        ::tcsetattr(fd_, TCSANOW, &saved_);
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
    }

private:
    const int fd_;
    const termios saved_;
    std::uint8_t buffer_[kReadChunk];
};

} // namespace

std::unique_ptr<ByteChannel> OpenTerminal(const std::string& path, int baud,
                                          const std::vector<std::string>& lockDirectories, PortProbe& why)
{
    speed_t speed;
    if (!SpeedFor(baud, speed)) {
        why = ProbeResult::NotATerminal;
        return nullptr;
    }
    termios saved{};
    const int fd = OpenDevice(path, lockDirectories, saved, why);
    if (fd < 0) return nullptr;
    if (!ConfigureLine(fd, saved, speed)) {
        ::tcsetattr(fd, TCSANOW, &saved);
        ReleaseDevice(fd);
        why = ProbeResult::NotATerminal;
        return nullptr;
    }
    try {
        return std::make_unique<TerminalChannel>(fd, saved);
    } catch (...) {
        ::tcsetattr(fd, TCSANOW, &saved);
        ReleaseDevice(fd);
        why = ProbeResult::NotATerminal;
        return nullptr;
    }
}

PortProbe ExamineTerminal(const std::string& path, const std::vector<std::string>& lockDirectories)
{
    termios saved{};
    PortProbe why;
    const int fd = OpenDevice(path, lockDirectories, saved, why);
    if (fd >= 0) ReleaseDevice(fd);
    return why;
}

} // namespace tolvane
