#include "pty_port.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvane::sim {
namespace {

speed_t SpeedOf(int baud)
{
    switch (baud) {
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    default: return B9600;
    }
}

int BaudOf(speed_t speed)
{
    switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

} // namespace

PtyPort::~PtyPort()
{
    Unplug();
}

bool PtyPort::Open(int baud, const std::string& link, std::string& error)
{
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&raw, SpeedOf(baud));
    ::cfsetospeed(&raw, SpeedOf(baud));
    char name[256];
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    // Readable and writable by the user's programs, as a serial device is.
    ::chmod(name, 0660);
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }

    if (!link.empty()) {
        struct stat st{};
        if (::lstat(link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = link + " exists and is not a symbolic link";
                Unplug();
                return false;
            }
            ::unlink(link.c_str()); // left by an earlier run
        }
        if (::symlink(name, link.c_str()) != 0) {
            error = "cannot link " + link + ": " + std::strerror(errno);
            Unplug();
            return false;
        }
        link_ = link;
    }
    return true;
}

void PtyPort::Unplug()
{
    if (!link_.empty()) ::unlink(link_.c_str());
    link_.clear();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    if (watch_ >= 0) ::close(watch_);
    slave_ = master_ = watch_ = -1;
    opens_ = 0;
}

std::size_t PtyPort::Read(std::uint8_t* buffer, std::size_t size)
{
    if (master_ < 0) return 0;
    const ssize_t n = ::read(master_, buffer, size);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void PtyPort::Write(const std::uint8_t* bytes, std::size_t count)
{
    std::size_t done = 0;
    while (master_ >= 0 && done < count) {
        const ssize_t n = ::write(master_, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return; // full: the rest is lost
        }
    }
}

int PtyPort::HostBaud() const
{
    termios t{};
    if (slave_ < 0 || ::tcgetattr(slave_, &t) != 0) return 0;
    return BaudOf(::cfgetospeed(&t));
}

bool PtyPort::HostConnected()
{
    if (master_ < 0) return false;
    if (watch_ < 0) return true; // cannot tell: keep sending
    alignas(inotify_event) char events[1024];
    for (ssize_t n; (n = ::read(watch_, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->mask & IN_OPEN) {
                // Whatever reached the terminal while nobody listened is stale.
                if (opens_++ == 0) ::tcflush(slave_, TCIFLUSH);
            }
            if ((e->mask & IN_CLOSE) && opens_ > 0) --opens_;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return opens_ > 0;
}

} // namespace tolvane::sim
