#include "link/serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "link/clock.h"
#include "link/framing.h"
#include "link/network_connect.h"
#include "link/telnet.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

constexpr auto kReaderStopWait = 2000ms;
constexpr auto kWriteTimeout = 2000ms;
// How long an RFC 2217 server has to confirm a baud rate.
constexpr auto kBaudAckWait = 500ms;
// A network port's writes never wait: what the socket does not take at once
// waits in the session, up to this much for requests. The reader stops
// reading while half of it waits, so a peer that does not read is held back.
constexpr std::size_t kMaxOutgoing = 64 * 1024;

const std::vector<std::string>& DefaultLockDirectories()
{
    static const std::vector<std::string> dirs{"/run/lock", "/var/lock"};
    return dirs;
}

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

// A UUCP lock file holds the owner's pid either as ASCII (usually "%10d\n")
// or as a native 4-byte int, the older Kermit style. 0 when neither.
long LockFilePid(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buf[64];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0) return 0;
    const auto size = static_cast<std::size_t>(n);

    std::size_t i = 0;
    while (i < size && (buf[i] == ' ' || buf[i] == '\t')) ++i;
    long pid = 0;
    std::size_t digits = 0;
    while (i < size && buf[i] >= '0' && buf[i] <= '9' && digits < 10) {
        pid = pid * 10 + (buf[i] - '0');
        ++i;
        ++digits;
    }
    while (i < size && (buf[i] == ' ' || buf[i] == '\t' || buf[i] == '\n' || buf[i] == '\r')) ++i;
    if (digits > 0 && i == size) return pid;

    if (size == sizeof(std::int32_t)) {
        std::int32_t binary;
        std::memcpy(&binary, buf, sizeof binary);
        return binary;
    }
    return 0;
}

// The live holder of a UUCP lock file on `device`, or 0.
long LockFileHolder(const std::string& device, const std::vector<std::string>& lockDirectories)
{
    const auto& dirs = lockDirectories.empty() ? DefaultLockDirectories() : lockDirectories;
    const auto slash = device.rfind('/');
    const std::string name = "LCK.." + device.substr(slash == std::string::npos ? 0 : slash + 1);
    for (const auto& dir : dirs) {
        const long pid = LockFilePid(dir + "/" + name);
        if (pid <= 0 || pid > INT_MAX) continue; // stale or unreadable: not ours to judge
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) return pid;
    }
    return 0;
}

// Who holds the flock on the open device `fd`, as /proc/locks lists it; 0
// when that cannot be told.
long FlockHolderOf(int fd)
{
    struct stat st{};
    if (::fstat(fd, &st) != 0) return 0;
    const int locks = ::open("/proc/locks", O_RDONLY | O_CLOEXEC);
    if (locks < 0) return 0;
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(locks, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(locks);
    return FlockHolder(text, ::major(st.st_dev), ::minor(st.st_dev), st.st_ino);
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

// The queue the readers fill and the user-interface thread empties. Shared
// with every reader so that one outliving the link still has a valid lock.
struct MessageQueue {
    // A queue without room would lose every message.
    explicit MessageQueue(std::size_t capacity) : slots(std::max<std::size_t>(capacity, 1)) {}

    std::mutex mutex;
    std::condition_variable room; // a network reader waits on it while the queue is full
    std::vector<DeviceMessage> slots; // ring, allocated once
    std::size_t head = 0;
    std::size_t count = 0;
    bool droppedSinceTake = false;
    std::uint64_t dropped = 0;
};

// One open of a device. The reader holds a reference, so the descriptors stay
// valid for as long as it may poll them, even after Close stopped waiting.
struct Session {
    Session(int deviceFd, int stopEventFd, const termios& savedSettings, std::function<void()> notifyFn,
            bool isTerminal = true)
        : fd(deviceFd), wakeFd(stopEventFd), saved(savedSettings), notify(std::move(notifyFn)), terminal(isTerminal)
    {
    }
    ~Session()
    {
        ::close(fd);
        ::close(wakeFd);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const int fd;
    const int wakeFd;
    const termios saved;
    const std::function<void()> notify; // copied at open: the reader never reads the link's
    const bool terminal;                 // false for a network port

    // RFC 2217: the reader decodes and answers the negotiation; both it and
    // Send write to the socket, one at a time, never waiting.
    std::unique_ptr<TelnetClient> telnet;
    std::mutex writeMutex;
    std::vector<std::uint8_t> outgoing;     // network: what the socket has not taken yet
    std::atomic<std::size_t> waiting{0};    // its size, for the reader's poll
    std::atomic<std::uint32_t> baudReported{0};
    std::atomic<bool> comPortRefused{false};
    std::atomic<bool> spokeTelnet{false};   // the server answered the negotiation
    std::atomic<bool> raw{false};           // no Telnet after all: a plain relay

    bool stop = false; // guarded by MessageQueue::mutex
    std::atomic<bool> running{true};

    // Written by the reader after each read, read by the user-interface thread.
    std::uint64_t droppedAtOpen = 0;
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> checksumFailures{0};
    std::atomic<std::uint64_t> resyncs{0};
    std::atomic<std::uint64_t> nmeaGood{0};
    std::atomic<std::uint64_t> nmeaBad{0};
    std::atomic<std::int32_t> lastValidMs{-1};
    // The user-interface thread's: a rate changed on a live connection
    // counts from then on, as a reopened port does.
    std::int32_t openedMs = NowMs();
    LinkCounters countedBefore;

    std::mutex finishMutex;
    std::condition_variable finishCv;
    bool finished = false;
};

// Shared with every reader, as the queue is, so that a reader outliving
// its session never sees a sink that SetCapture has let go.
struct CaptureSlot {
    std::mutex mutex;
    CaptureSink* sink = nullptr;
};

void Deliver(MessageQueue& queue, Session& session, const DeviceMessage& message)
{
    // The stop check and the notify share the queue lock with Close, so
    // once Close has returned this session neither queues nor notifies. The
    // callback therefore runs under the lock and must not call into the link.
    std::unique_lock lock(queue.mutex);
    // A serial line cannot be held back: what finds the queue full is lost,
    // and counted. A socket can: its reader waits for room, reading nothing
    // meanwhile, and TCP holds the rest at the server.
    if (!session.terminal && queue.count == queue.slots.size())
        queue.room.wait(lock, [&] { return session.stop || queue.count < queue.slots.size(); });
    if (session.stop) return;
    if (queue.count == queue.slots.size()) {
        ++queue.dropped;
        queue.droppedSinceTake = true;
        return;
    }
    // Copied whole: the receivers have already zeroed the bytes past the length.
    queue.slots[(queue.head + queue.count) % queue.slots.size()] = message;
    ++queue.count;
    if (session.notify) session.notify();
}

// Counters are published once per read, never per byte.
void Publish(Session& session, const ReceiverCounts& counts, std::size_t bytes, std::int32_t validAt)
{
    constexpr auto relaxed = std::memory_order_relaxed;
    session.bytes.fetch_add(bytes, relaxed);
    session.frames.store(counts.frames, relaxed);
    session.checksumFailures.store(counts.checksumFailures, relaxed);
    session.resyncs.store(counts.resyncs, relaxed);
    session.nmeaGood.store(counts.nmeaGood, relaxed);
    session.nmeaBad.store(counts.nmeaBad, relaxed);
    if (validAt != -1) session.lastValidMs.store(validAt, relaxed);
}

// Writes all of `bytes` within kWriteTimeout; false on an error or a timeout.
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size)
{
    const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;

        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
    }
    return true;
}

// Writes what the socket takes now of what waits; false on an error.
// Called with the write lock held. MSG_NOSIGNAL: a connection the server
// closed fails the write instead of raising SIGPIPE.
bool FlushOutgoing(Session& session)
{
    std::size_t sent = 0;
    const std::size_t size = session.outgoing.size();
    bool ok = true;
    while (sent < size) {
        const ssize_t n = ::send(session.fd, &session.outgoing[sent], size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ok = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        break;
    }
    session.outgoing.erase(session.outgoing.begin(), session.outgoing.begin() + static_cast<std::ptrdiff_t>(sent));
    session.waiting.store(session.outgoing.size());
    return ok;
}

// A network port's write: whatever the socket does not take at once waits
// for the reader to write it as room comes. False, with nothing added,
// when more than `limit` would wait (the peer has stopped reading), or on
// a write error.
bool WriteToSocket(Session& session, const std::uint8_t* bytes, std::size_t size, std::size_t limit = SIZE_MAX)
{
    std::lock_guard lock(session.writeMutex);
    if (session.outgoing.size() + size > limit) return false;
    const bool nothingWaited = session.outgoing.empty();
    session.outgoing.insert(session.outgoing.end(), bytes, bytes + size);
    if (!FlushOutgoing(session)) return false;
    // The reader polls for room only while something waits: it is told.
    if (nothingWaited && !session.outgoing.empty()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto woken = ::write(session.wakeFd, &one, sizeof one);
    }
    return true;
}

bool WriteToSocket(Session& session, const std::vector<std::uint8_t>& bytes)
{
    return WriteToSocket(session, bytes.data(), bytes.size());
}

// What a network reader polls its socket for: room while something waits
// to be written, and data while not too much does.
short SocketEvents(const Session& session)
{
    const std::size_t waiting = session.waiting.load(std::memory_order_relaxed);
    return static_cast<short>((waiting < kMaxOutgoing / 2 ? POLLIN : 0) | (waiting > 0 ? POLLOUT : 0));
}

// The wake descriptor is signalled by Close, and for a network port by a
// write that left something waiting: true for the former.
bool Stopping(MessageQueue& queue, Session& session)
{
    std::uint64_t signals;
    [[maybe_unused]] const auto n = ::read(session.wakeFd, &signals, sizeof signals);
    std::lock_guard lock(queue.mutex);
    return session.stop;
}

void RunReader(const std::shared_ptr<MessageQueue>& queue, const std::shared_ptr<Session>& session,
               const std::shared_ptr<CaptureSlot>& capture)
{
    StreamDecoder decoder;
    std::uint8_t raw[256];
    std::vector<std::uint8_t> decoded;
    std::vector<std::uint8_t> replies;
    pollfd fds[2] = {{session->fd, POLLIN, 0}, {session->wakeFd, POLLIN, 0}};

    for (;;) {
        if (!session->terminal) fds[0].events = SocketEvents(*session);
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0 && Stopping(*queue, *session)) break;
        const short events = fds[0].revents;
        if ((events & (POLLERR | POLLNVAL)) != 0) break;
        if ((events & POLLOUT) != 0) {
            std::lock_guard lock(session->writeMutex);
            if (!FlushOutgoing(*session)) break;
        }
        if ((events & (POLLIN | POLLHUP)) == 0) continue;

        // On a hang-up, whatever is still buffered is read before giving up.
        ssize_t n = ::read(session->fd, raw, sizeof raw);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && (events & POLLHUP) == 0) continue;
            break;
        }
        // Over RFC 2217 only the serial port's bytes go on; everything else
        // is the Telnet conversation.
        const std::uint8_t* buffer = raw;
        if (session->telnet && !session->raw.load(std::memory_order_relaxed)) {
            decoded.clear();
            replies.clear();
            session->telnet->Receive(raw, static_cast<std::size_t>(n), decoded, replies);
            if (!replies.empty() && !WriteToSocket(*session, replies)) break;
            session->baudReported.store(session->telnet->BaudRateReported());
            if (session->telnet->ComPortRefused()) session->comPortRefused.store(true);
            if (session->telnet->Negotiated()) session->spokeTelnet.store(true);
            if (decoded.empty()) continue;
            buffer = decoded.data();
            n = static_cast<ssize_t>(decoded.size());
        }
        const std::int32_t now = NowMs();
        {
            std::lock_guard lock(capture->mutex);
            if (capture->sink) capture->sink->Received(buffer, static_cast<std::size_t>(n), now);
        }
        bool delivered = false;
        decoder.Feed(buffer, static_cast<std::size_t>(n), now, [&](const DeviceMessage& message) {
            delivered = true;
            Deliver(*queue, *session, message);
        });
        Publish(*session, decoder.Counts(), static_cast<std::size_t>(n), delivered ? now : -1);
    }

    session->running.store(false);
    {
        // Under the queue lock, as Deliver, so that Close either sees no
        // call or waits for this one; a reader stopped by Close stays quiet.
        std::lock_guard lock(queue->mutex);
        if (!session->stop && session->notify) session->notify();
    }
    {
        std::lock_guard lock(session->finishMutex);
        session->finished = true;
    }
    session->finishCv.notify_all();
}

} // namespace

// ---------------------------------------------------------------- PortMap

PortMap::PortMap()
{
    for (int port = kFirstPort; port <= kLastPort; ++port) paths_[port - kFirstPort] = DefaultPath(port);
}

std::string PortMap::DefaultPath(int port)
{
    if (port < kFirstPort || port > kLastPort) return {};
    if (port <= 2) return "/dev/ttyS" + std::to_string(port - 1);
    if (port <= 6) return "/dev/ttyUSB" + std::to_string(port - 3);
    return "/dev/ttyACM" + std::to_string(port - 7);
}

const std::string& PortMap::Path(int port) const
{
    static const std::string none;
    if (port < kFirstPort || port > kLastPort) return none;
    return paths_[port - kFirstPort];
}

void PortMap::SetPath(int port, std::string path)
{
    if (port < kFirstPort || port > kLastPort) return;
    paths_[port - kFirstPort] = std::move(path);
}

// ---------------------------------------------------------------- SerialLink

struct SerialLink::Impl {
    explicit Impl(std::size_t capacity)
        : queue(std::make_shared<MessageQueue>(capacity)), capture(std::make_shared<CaptureSlot>())
    {
    }

    PortMap ports;
    std::vector<std::string> lockDirectories;
    std::function<void()> notify;
    std::shared_ptr<MessageQueue> queue;
    std::shared_ptr<CaptureSlot> capture;
    std::shared_ptr<Session> session;
    std::thread reader;
    int portNumber = -1;
    int baud = 0;
    std::function<void()> waitHook;
    bool opening = false;       // an open is waiting on the network
    bool closedWhileOpening = false;
    std::string notice;
    std::string noticedFor; // one notice per network port, not one per reconnection
};

SerialLink::SerialLink(std::size_t queueCapacity) : impl_(std::make_unique<Impl>(queueCapacity)) {}

SerialLink::~SerialLink()
{
    Close();
}

void SerialLink::SetPortMap(const PortMap& map)
{
    impl_->ports = map;
}

const PortMap& SerialLink::Ports() const
{
    return impl_->ports;
}

void SerialLink::SetPortPath(int port, std::string path)
{
    impl_->ports.SetPath(port, std::move(path));
}

void SerialLink::SetWaitHook(std::function<void()> hook)
{
    impl_->waitHook = std::move(hook);
}

std::string SerialLink::TakeNotice()
{
    // Kept for a connection that lasts: one the server closed at once has nothing to tell about its line.
    if (!impl_->session || !impl_->session->running.load()) return {};
    return std::exchange(impl_->notice, std::string());
}

void SerialLink::SetLockDirectories(std::vector<std::string> directories)
{
    impl_->lockDirectories = std::move(directories);
}

PortProbe SerialLink::Probe(int port) const
{
    return ExaminePort(impl_->ports, port, impl_->lockDirectories);
}

void SerialLink::SetNotify(std::function<void()> notify)
{
    impl_->notify = std::move(notify);
}

void SerialLink::SetCapture(CaptureSink* sink)
{
    std::lock_guard lock(impl_->capture->mutex);
    impl_->capture->sink = sink;
}

int SerialLink::Open(int port, int baud, PortProbe* why)
{
    // Every failure says why, as a probe of the port would.
    const auto fail = [why](PortProbe reason) {
        if (why) *why = reason;
        return -1;
    };
    // A call from the wait hook while an open waits on the network.
    if (impl_->opening) return fail(ProbeResult::Busy);
    speed_t speed;
    if (port >= kFirstPort && port <= kLastPort && SpeedFor(baud, speed) &&
        LooksLikeNetworkPort(impl_->ports.Path(port)))
        return OpenNetwork(port, baud, why);
    Close();
    if (port < kFirstPort || port > kLastPort) return fail(ProbeResult::Missing);
    if (!SpeedFor(baud, speed)) return fail(ProbeResult::NotATerminal);

    termios saved{};
    PortProbe found;
    const int fd = OpenDevice(impl_->ports.Path(port), impl_->lockDirectories, saved, found);
    if (fd < 0) return fail(found);
    if (!ConfigureLine(fd, saved, speed)) {
        ::tcsetattr(fd, TCSANOW, &saved);
        ReleaseDevice(fd);
        return fail(ProbeResult::NotATerminal);
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::tcsetattr(fd, TCSANOW, &saved);
        ReleaseDevice(fd);
        return fail(ProbeResult::NotATerminal);
    }

    // From here the session owns both descriptors.
    std::shared_ptr<Session> session;
    try {
        session = std::make_shared<Session>(fd, wakeFd, saved, impl_->notify);
        {
            std::lock_guard lock(impl_->queue->mutex);
            session->droppedAtOpen = impl_->queue->dropped;
        }
        impl_->reader = std::thread([queue = impl_->queue, session, capture = impl_->capture] {
            RunReader(queue, session, capture);
        });
    } catch (...) {
        ::tcsetattr(fd, TCSANOW, &saved);
        ::ioctl(fd, TIOCNXCL);
        ::flock(fd, LOCK_UN);
        if (!session) {
            ::close(fd);
            ::close(wakeFd);
        }
        return fail(ProbeResult::NotATerminal);
    }
    impl_->session = std::move(session);
    impl_->portNumber = port;
    impl_->baud = baud;
    if (why) *why = PortProbe(ProbeResult::Free);
    return port;
}

int SerialLink::OpenNetwork(int port, int baud, PortProbe* why)
{
    Impl& d = *impl_;
    const auto fail = [why](PortProbe reason) {
        if (why) *why = reason;
        return -1;
    };
    const std::string path = d.ports.Path(port);
    const std::optional<NetworkPort> address = ParseNetworkPort(path);
    // The same port, still connected: only the rate changes, on the live
    // connection (a raw TCP port's rate is the server's own), and the
    // counts start again as at an open.
    if (address && d.session && d.portNumber == port && d.session->running.load()) {
        RestartCounts();
        if (d.session->telnet && !d.session->raw.load()) SetRemoteRate(baud);
        // Lost while the server confirmed the rate: the window's events,
        // which ran meanwhile, have closed it and watch for it.
        if (!d.session) return fail(Unreachable(*address, "the connection was lost"));
        RestartCounts();
        d.baud = baud;
        if (why) *why = PortProbe(ProbeResult::Free);
        return port;
    }
    Close();
    if (!address) {
        PortProbe bad(ProbeResult::Missing);
        bad.detail = NetworkPortProblem(path);
        return fail(bad);
    }

    d.opening = true;
    d.closedWhileOpening = false;
    PortProbe found;
    const int fd = ConnectToNetworkPort(*address, d.waitHook, found);
    d.opening = false;
    if (fd < 0) return fail(found);
    const int wakeFd = d.closedWhileOpening ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::close(fd);
        return fail(ProbeResult::Missing);
    }
    std::shared_ptr<Session> session;
    std::vector<std::uint8_t> telnetStart;
    try {
        session = std::make_shared<Session>(fd, wakeFd, termios{}, d.notify, false);
        if (address->rfc2217) {
            session->telnet = std::make_unique<TelnetClient>();
            telnetStart = session->telnet->Start(); // before the reader, whose client it is from then on
        }
        {
            std::lock_guard lock(d.queue->mutex);
            session->droppedAtOpen = d.queue->dropped;
        }
        d.reader = std::thread([queue = d.queue, session, capture = d.capture] { RunReader(queue, session, capture); });
    } catch (...) {
        if (!session) {
            ::close(fd);
            ::close(wakeFd);
        }
        return fail(ProbeResult::NotATerminal);
    }
    d.session = std::move(session);
    d.baud = baud;
    // The port counts as open only once the server has had its say: the
    // window's events run meanwhile, and a connection closed at once must
    // not look like a port lost after it opened.
    if (d.session->telnet) StartTelnet(port, baud, path, std::move(telnetStart));
    if (!d.session || !d.session->running.load()) {
        Close();
        return fail(Unreachable(*address, "the server closed the connection at once"));
    }
    d.portNumber = port;
    if (why) *why = PortProbe(ProbeResult::Free);
    return port;
}

void SerialLink::StartTelnet(int port, int baud, const std::string& path, std::vector<std::uint8_t> start)
{
    Impl& d = *impl_;
    const std::shared_ptr<Session> session = d.session;
    // The line as a local port is set: the rate, 8N1, DTR and RTS off.
    for (const auto& part :
         {TelnetClient::SetLine(static_cast<std::uint32_t>(baud)), TelnetClient::SetModemLines(false)})
        start.insert(start.end(), part.begin(), part.end());
    WriteToSocket(*session, start);
    if (SetRemoteRate(baud) || !session->running.load() || d.noticedFor == path) return;
    // A server that answered none of the negotiation is a plain relay: its
    // bytes are the module's own, 0xFF included, and so are ours to it.
    const bool plain = !session->spokeTelnet.load();
    if (plain) session->raw.store(true);
    d.noticedFor = path;
    d.notice = "COM" + std::to_string(port) + " (" + path + "): the server does not set the line (RFC 2217); " +
               (plain ? "the link is used as raw TCP." : "the line stays as the server has it.");
}

bool SerialLink::SetRemoteRate(int baud)
{
    Impl& d = *impl_;
    const std::shared_ptr<Session> session = d.session;
    if (!session || !session->telnet) return false;
    // Only SET-BAUDRATE is answered for sure: a server in front of a
    // pseudo-terminal never confirms SET-CONTROL.
    const auto wanted = static_cast<std::uint32_t>(baud);
    if (d.baud != baud) WriteToSocket(*session, TelnetClient::SetLine(wanted));
    d.opening = true;
    const bool confirmed = WaitWithHook(
        [&] {
            return session->baudReported.load() == wanted || session->comPortRefused.load() ||
                   !session->running.load();
        },
        d.waitHook, kBaudAckWait);
    d.opening = false;
    return confirmed && session->baudReported.load() == wanted && !session->comPortRefused.load();
}

void SerialLink::RestartCounts()
{
    Session& session = *impl_->session;
    session.countedBefore = LinkCounters{};
    session.countedBefore = Counters();
    session.openedMs = NowMs();
    std::lock_guard lock(impl_->queue->mutex);
    session.droppedAtOpen = impl_->queue->dropped;
}

void SerialLink::Close()
{
    if (impl_->opening) impl_->closedWhileOpening = true;
    impl_->portNumber = -1;
    if (!impl_->session) return;
    const std::shared_ptr<Session> session = std::move(impl_->session);

    {
        std::lock_guard lock(impl_->queue->mutex);
        session->stop = true;
    }
    impl_->queue->room.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto signalled = ::write(session->wakeFd, &one, sizeof one);

    bool finished;
    {
        std::unique_lock lock(session->finishMutex);
        finished = session->finishCv.wait_for(lock, kReaderStopWait, [&] { return session->finished; });
    }
    // A reader that has not ended keeps its own reference to the session and
    // can no longer queue anything, so it is left to finish on its own.
    if (finished)
        impl_->reader.join();
    else
        impl_->reader.detach();

    if (!session->terminal) return;
    ::tcflush(session->fd, TCIOFLUSH);
    ::tcsetattr(session->fd, TCSANOW, &session->saved);
    ::ioctl(session->fd, TIOCNXCL);
    ::flock(session->fd, LOCK_UN);
}

std::int32_t SerialLink::Send(const OutgoingRequest& request)
{
    if (!impl_->session) return -1;
    if (request.length > kMaxSentPayload) return -1;

    std::uint8_t frame[kMaxSentFrame];
    const std::size_t size = EncodeBinaryFrame(static_cast<std::uint8_t>(request.type & 0xFF), request.payload,
                                               request.length, frame);
    Session& session = *impl_->session;
    const std::int32_t started = NowMs();
    if (session.terminal) {
        std::lock_guard lock(session.writeMutex);
        if (!WriteAll(session.fd, frame, size)) return -1;
    } else if (session.telnet && !session.raw.load()) {
        std::vector<std::uint8_t> escaped;
        TelnetClient::Escape(frame, size, escaped);
        if (!WriteToSocket(session, escaped.data(), escaped.size(), kMaxOutgoing)) return -1;
    } else if (!WriteToSocket(session, frame, size, kMaxOutgoing)) {
        return -1;
    }
    {
        std::lock_guard lock(impl_->capture->mutex);
        if (impl_->capture->sink) impl_->capture->sink->Sent(frame, size, started);
    }
    return started;
}

DeviceLink::TakeResult SerialLink::TakeMessage(DeviceMessage& message)
{
    MessageQueue& queue = *impl_->queue;
    std::lock_guard lock(queue.mutex);
    if (queue.count == 0) return kEmpty;
    message = queue.slots[queue.head];
    queue.head = (queue.head + 1) % queue.slots.size();
    if (queue.count-- == queue.slots.size()) queue.room.notify_one();
    const bool dropped = std::exchange(queue.droppedSinceTake, false);
    return dropped ? kTakenAfterDrops : kTaken;
}

int SerialLink::PortNumber() const
{
    return impl_->portNumber;
}

bool SerialLink::ReaderRunning() const
{
    return impl_->session && impl_->session->running.load();
}

std::uint64_t SerialLink::DroppedCount() const
{
    std::lock_guard lock(impl_->queue->mutex);
    return impl_->queue->dropped;
}

LinkCounters SerialLink::Counters() const
{
    LinkCounters c;
    const std::shared_ptr<Session>& session = impl_->session;
    if (!session) return c;
    constexpr auto relaxed = std::memory_order_relaxed;
    c.bytes = session->bytes.load(relaxed);
    c.frames = session->frames.load(relaxed);
    c.checksumFailures = session->checksumFailures.load(relaxed);
    c.resyncs = session->resyncs.load(relaxed);
    c.nmeaGood = session->nmeaGood.load(relaxed);
    c.nmeaBad = session->nmeaBad.load(relaxed);
    c.lastValidMs = session->lastValidMs.load(relaxed);
    c.openedMs = session->openedMs;
    const LinkCounters& before = session->countedBefore;
    for (auto [count, counted] : {std::pair{&c.bytes, before.bytes}, std::pair{&c.frames, before.frames},
                                  std::pair{&c.checksumFailures, before.checksumFailures},
                                  std::pair{&c.resyncs, before.resyncs}, std::pair{&c.nmeaGood, before.nmeaGood},
                                  std::pair{&c.nmeaBad, before.nmeaBad}})
        *count -= counted;
    if (c.Valid() == 0) c.lastValidMs = -1;
    std::lock_guard lock(impl_->queue->mutex);
    c.dropped = impl_->queue->dropped - session->droppedAtOpen;
    return c;
}

void SerialLink::DiscardInput()
{
    if (impl_->session && impl_->session->terminal) ::tcflush(impl_->session->fd, TCIFLUSH);
    std::lock_guard lock(impl_->queue->mutex);
    impl_->queue->count = 0;
    impl_->queue->droppedSinceTake = false;
    impl_->queue->room.notify_all();
}

// ---------------------------------------------------------------- probing

PortProbe ExaminePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories)
{
    if (port < kFirstPort || port > kLastPort) return ProbeResult::Missing;
    // A network port is not tried before it is opened: that would take a
    // server's only connection, or seconds.
    if (LooksLikeNetworkPort(map.Path(port)))
        return ParseNetworkPort(map.Path(port)) ? ProbeResult::Free : ProbeResult::Missing;
    termios saved{};
    PortProbe why;
    const int fd = OpenDevice(map.Path(port), lockDirectories, saved, why);
    if (fd >= 0) ReleaseDevice(fd);
    return why;
}

ProbeResult ProbePortReason(const PortMap& map, int port, const std::vector<std::string>& lockDirectories)
{
    return ExaminePort(map, port, lockDirectories).reason;
}

bool ProbePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories)
{
    return ProbePortReason(map, port, lockDirectories) == ProbeResult::Free;
}

long FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, unsigned long inode)
{
    // "1: FLOCK  ADVISORY  WRITE 12345 00:05:1234 0 EOF": the pid, then the
    // filesystem's device in hex and the inode in decimal. Waiters on a lock
    // show "->" after the number and hold nothing.
    const auto number = [](std::string_view text, int base, auto& out) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
        return error == std::errc() && end == text.data() + text.size();
    };
    while (!procLocks.empty()) {
        const auto eol = procLocks.find('\n');
        const std::string_view line = procLocks.substr(0, eol);
        procLocks = eol == std::string_view::npos ? std::string_view() : procLocks.substr(eol + 1);

        std::vector<std::string_view> fields;
        for (std::size_t at = 0; at < line.size();) {
            const auto start = line.find_first_not_of(' ', at);
            if (start == std::string_view::npos) break;
            const auto stop = std::min(line.find(' ', start), line.size());
            fields.push_back(line.substr(start, stop - start));
            at = stop;
        }
        if (fields.size() < 6 || fields[1] != "FLOCK") continue;
        const std::string_view file = fields[5];
        const auto colon1 = file.find(':');
        const auto colon2 = file.find(':', colon1 == std::string_view::npos ? 0 : colon1 + 1);
        if (colon1 == std::string_view::npos || colon2 == std::string_view::npos) continue;
        unsigned fileMajor = 0, fileMinor = 0;
        unsigned long fileInode = 0;
        long pid = 0;
        if (!number(file.substr(0, colon1), 16, fileMajor) ||
            !number(file.substr(colon1 + 1, colon2 - colon1 - 1), 16, fileMinor) ||
            !number(file.substr(colon2 + 1), 10, fileInode) || !number(fields[4], 10, pid))
            continue;
        if (fileMajor == major && fileMinor == minor && fileInode == inode && pid > 0) return pid;
    }
    return 0;
}

} // namespace tolvane
