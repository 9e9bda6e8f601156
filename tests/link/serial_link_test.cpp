// SerialLink over real pseudo-terminals: the line settings, the reader
// thread, the queue, the locks and what a probe tells about a port; over a
// channel of the test's own; and the list of serial devices.
#include "link/serial_link.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>

#include "link/clock.h"
#include "link/serial_devices.h"
#include "link/shared_reader.h"
#include "support/golden.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using namespace test;
namespace fs = std::filesystem;

auto OpenFdCount() { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); }

termios Settings(int fd)
{
    termios t{};
    ::tcgetattr(fd, &t);
    return t;
}

// Two pseudo-terminals, ports 1 (through a symbolic link, as /dev/serial/by-id
// names are) and 2: the link opens the slaves by path, the test plays the
// devices on the masters and keeps slave descriptors to see the settings.
// Each case runs with the link's own reader thread and with one reader
// shared by the links (the gateway's, whose terminals it reads in passes).
class SerialLinkTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        fs::create_directory(lockDir);
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(::openpty(&master[i], &slave[i], nullptr, nullptr, nullptr), 0);
            ::fcntl(master[i], F_SETFL, ::fcntl(master[i], F_GETFL) | O_NONBLOCK);
            path[i] = ::ptsname(master[i]);
        }
        fs::create_symlink(path[0], dir / "com1");
        map.SetPath(1, dir / "com1");
        map.SetPath(2, path[1]);
        lockFile = lockDir / ("LCK.." + fs::path(path[0]).filename().string()); // of the device, not the link
    }
    void TearDown() override
    {
        for (int fd : {master[0], master[1], slave[0], slave[1]}) ::close(fd);
    }
    std::unique_ptr<SerialLink> Link(std::size_t capacity = kDefaultQueueCapacity)
    {
        auto link = std::make_unique<SerialLink>(capacity);
        link->SetPortMap(map);
        link->SetLockDirectories(locks);
        link->SetNotify([this] { ++notifications; });
        if (GetParam()) link->SetSharedReader(shared);
        return link;
    }
    void Write(const Bytes& b, int port = 1) { ASSERT_EQ(::write(master[port - 1], b.data(), b.size()), ssize(b)); }
    void WriteLockFile(const std::string& content) const { std::ofstream(lockFile, std::ios::binary) << content; }
    static DeviceMessage Take(SerialLink& link, int expected = SerialLink::kTaken)
    {
        DeviceMessage m;
        EXPECT_EQ(link.TakeMessage(m), expected);
        return m;
    }

    TempDir dir;
    fs::path lockDir = dir / "lock", lockFile;
    std::vector<std::string> locks{lockDir.string()};
    int master[2] = {-1, -1}, slave[2] = {-1, -1};
    std::string path[2];
    PortMap map;
    std::atomic<int> notifications{0};
    std::shared_ptr<SharedReader> shared = std::make_shared<SharedReader>();
};

INSTANTIATE_TEST_SUITE_P(OwnAndSharedReader, SerialLinkTest, ::testing::Bool());

// Opening port 1 while 2 is open closes 2 first (as Close does, whose
// restoring of the settings is tested below); then only port 1 is read,
// each message queued once, stamped on arrival, with one notification.
TEST_P(SerialLinkTest, OpenClosesThePortBeforeAndDeliversWhatTheOtherSends)
{
    auto link = Link();
    ASSERT_EQ(link->Open(2, 9600), 2);
    ASSERT_EQ(link->Open(1, 9600), 1);
    EXPECT_TRUE(ProbePort(map, 2, locks));
    const std::int64_t start = NowMs();
    Write(Frame(0x22, {}), 2);
    const Bytes sent = Cat({B("xx\r~"), Frame(5, {1, 2, 3}), B("junk$GP*" + Nmea("HCHDG") + "\r\n"), Frame(7, {1}, 1)});
    Write(sent);
    ASSERT_TRUE(WaitFor([&] { return notifications == 2 && link->Counters().checksumFailures == 1; }));
    const DeviceMessage m = Take(*link);
    EXPECT_EQ(std::make_tuple(m.type, Bytes(m.payload, m.payload + m.length)), std::make_tuple(0x05, Bytes{1, 2, 3}));
    EXPECT_TRUE(m.timestamp >= start && m.timestamp <= NowMs());
    // Counted since the open; the sentence still queued can be thrown away.
    const LinkCounters c = link->Counters();
    EXPECT_EQ(std::make_tuple(c.bytes, c.frames, c.nmeaGood, c.lastValidMs >= start),
              std::make_tuple(sent.size(), 1u, 1u, true));
    link->DiscardInput();
    Take(*link, SerialLink::kEmpty);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(std::make_tuple(notifications.load(), link->DroppedCount()), std::make_tuple(2, 0u));
    ASSERT_EQ(link->Open(1, 19200), 1);
    LinkCounters fresh = link->Counters();
    EXPECT_GE(fresh.openedMs, start);
    fresh.openedMs = -1;
    EXPECT_EQ(fresh, LinkCounters{});
    link->Close();
    EXPECT_EQ(link->Counters(), LinkCounters{});
}

TEST_P(SerialLinkTest, BurstBeyondCapacityKeepsOldestAndCountsDrops)
{
    auto link = Link(64);
    ASSERT_EQ(link->Open(1, 38400), 1);
    Bytes burst;
    for (std::uint8_t i = 0; i < 200; ++i) burst = Cat({burst, Frame(0x30, {i})});
    Write(burst);
    ASSERT_TRUE(WaitFor([&] { return link->DroppedCount() == 136; }));
    EXPECT_EQ(notifications, 64);
    ASSERT_EQ(Take(*link, SerialLink::kTakenAfterDrops).payload[0], 0);
    for (int i = 1; i < 64; ++i) ASSERT_EQ(Take(*link).payload[0], i);
    const DeviceMessage untouched{.type = 0x5A, .length = 3, .timestamp = 9, .payload = {1, 2, 3}};
    DeviceMessage m = untouched;
    EXPECT_EQ(link->TakeMessage(m), SerialLink::kEmpty);
    EXPECT_TRUE(m == untouched);
    // Room again: the next message is queued and reported as a plain take.
    Write(Frame(0x31, {}));
    ASSERT_TRUE(WaitFor([&] { return notifications == 65; }));
    Take(*link, SerialLink::kTaken);
    EXPECT_EQ(link->DroppedCount(), 136u);
}

// More than the terminal holds, read only once it is full: each Send waits
// for room and goes on where the write before stopped. Only the type's low
// byte goes out; a request too long, or sent while closed, writes nothing.
TEST_P(SerialLinkTest, SendsWholeFramesIntoAFullLine)
{
    auto link = Link();
    OutgoingRequest request{.type = 0x1240, .length = kMaxSentPayload};
    EXPECT_EQ(link->Send(request), -1);
    ASSERT_EQ(link->Open(1, 38400), 1);
    Bytes expected, got;
    std::thread reader([&] {
        std::this_thread::sleep_for(300ms);
        std::uint8_t buffer[4096];
        WaitFor([&] {
            for (ssize_t n; (n = ::read(master[0], buffer, sizeof buffer)) > 0;)
                got.insert(got.end(), buffer, buffer + n);
            return got.size() >= 1980 * (kMaxSentPayload + kFrameOverhead); // 20 refused
        }, 5s);
    });
    for (int i = 0; i < 2000; ++i) {
        std::memcpy(request.payload, Filled(kMaxSentPayload, static_cast<std::uint8_t>(i)).data(), kMaxSentPayload);
        request.length = i % 100 ? kMaxSentPayload : i % 200 ? 67 : 0xFFFF;
        const std::int64_t before = NowMs(), sentAt = link->Send(request);
        if (request.length == kMaxSentPayload) {
            EXPECT_TRUE(sentAt >= before && sentAt <= NowMs()) << i;
            const Bytes frame = Frame(0x40, Filled(kMaxSentPayload, static_cast<std::uint8_t>(i)));
            expected.insert(expected.end(), frame.begin(), frame.end()); // not a copy a frame: slow under TSan
        }
        EXPECT_EQ(sentAt == -1, request.length != kMaxSentPayload) << i;
    }
    reader.join();
    EXPECT_TRUE(got == expected) << got.size() << " bytes of " << expected.size();
    link->Close();
    EXPECT_EQ(link->Send(request), -1);
}

TEST_P(SerialLinkTest, ConfiguresRawLineAndRestoresSettingsOnClose)
{
    termios odd = Settings(slave[0]);
    ::cfsetspeed(&odd, B1200);
    odd.c_lflag |= ICANON | ECHO;
    odd.c_iflag |= IXON | ICRNL;
    odd.c_cflag = (odd.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CSTOPB;
    odd.c_cc[VMIN] = 5;
    ASSERT_EQ(::tcsetattr(slave[0], TCSANOW, &odd), 0);
    const termios before = Settings(slave[0]);
    auto link = Link();
    EXPECT_EQ(link->Open(1, 115200), -1);
    const std::pair<int, speed_t> rates[] = {{4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400}};
    for (const auto& [baud, speed] : rates) {
        ASSERT_EQ(link->Open(1, baud), 1);
        const termios t = Settings(slave[0]);
        EXPECT_EQ(std::make_tuple(::cfgetispeed(&t), ::cfgetospeed(&t)), std::make_tuple(speed, speed)) << baud;
        EXPECT_EQ(std::make_tuple(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
                                  t.c_iflag & (IXON | IXOFF | IXANY | ICRNL), t.c_lflag & (ICANON | ECHO),
                                  t.c_oflag & OPOST),
                  std::make_tuple(tcflag_t{CS8 | CLOCAL | CREAD}, 0u, 0u, 0u));
        link->Close();
        const termios after = Settings(slave[0]);
        EXPECT_EQ(0, std::memcmp(&after, &before, sizeof before)) << baud; // flags, speeds and control characters
    }
}

// A hang-up ends the reader with one last notification; the port counts as
// open until closed, and the queue outlives it. A reader stopped by Close
// gives none, and Close is quick and harmless twice.
TEST_P(SerialLinkTest, HangUpAndClose)
{
    auto link = Link();
    link->Close();
    ASSERT_EQ(link->Open(1, 9600), 1);
    Write(Frame(0x03, {9}));
    ASSERT_TRUE(WaitFor([&] { return notifications == 1; }));
    ::close(std::exchange(master[0], -1));
    EXPECT_TRUE(WaitFor([&] { return !link->ReaderRunning(); }));
    EXPECT_TRUE(WaitFor([&] { return notifications == 2; }));
    EXPECT_EQ(link->PortNumber(), 1);
    EXPECT_EQ(link->Send(OutgoingRequest{}), -1);
    ASSERT_EQ(link->Open(2, 9600), 2);
    EXPECT_EQ(Take(*link).type, 0x03);
    const auto start = std::chrono::steady_clock::now();
    link->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    link->Close();
    EXPECT_EQ(std::make_tuple(link->PortNumber(), link->ReaderRunning()), std::make_tuple(-1, false));
    EXPECT_TRUE(ProbePort(map, 2, locks));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(notifications, 2);
}

// Two links at once, each its own port (one reader serving both, in the
// shared case): each gets only its own messages; either closes at once
// while the other reads on, until its port hangs up.
TEST_P(SerialLinkTest, TwoLinksReadTheirOwnPortsAndEndApart)
{
    auto first = Link(), second = Link();
    ASSERT_EQ(first->Open(1, 38400), 1);
    ASSERT_EQ(second->Open(2, 38400), 2);
    Write(Frame(0x11, {1}), 1);
    Write(Frame(0x22, {2}), 2);
    ASSERT_TRUE(WaitFor([&] { return notifications == 2; }));
    EXPECT_EQ(Take(*first).type, 0x11);
    EXPECT_EQ(Take(*second).type, 0x22);
    const auto start = std::chrono::steady_clock::now();
    second->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    Write(Frame(0x33, {3}), 1);
    ASSERT_TRUE(WaitFor([&] { return notifications == 3; }));
    EXPECT_EQ(Take(*first).type, 0x33);
    ASSERT_EQ(second->Open(2, 38400), 2);
    Write(Frame(0x44, {4}), 2);
    ASSERT_TRUE(WaitFor([&] { return notifications == 4; }));
    first->Close();
    Write(Frame(0x55, {5}), 2);
    ASSERT_TRUE(WaitFor([&] { return notifications == 5; }));
    EXPECT_EQ(Take(*second).type, 0x44);
    EXPECT_EQ(Take(*second).type, 0x55);
    ::close(std::exchange(master[1], -1));
    EXPECT_TRUE(WaitFor([&] { return !second->ReaderRunning(); }));
}

// A channel the program makes itself is read as a port is, as a
// recording played back would be: its own times on the messages, and the
// framing started afresh where it says so (the frame cut short is gone).
TEST_P(SerialLinkTest, ReadsAChannelOfItsOwnWithItsTimesAndFreshStarts)
{
    static constexpr std::int64_t kFirstRead = std::int64_t{1} << 33;
    struct PipeChannel : ByteChannel {
        explicit PipeChannel(int readEnd) : fd(readEnd) {}
        ~PipeChannel() override { ::close(fd); }
        int Descriptor() const override { return fd; }
        ChannelRead Read(short revents, ChannelBytes& got) override
        {
            const ChannelRead read = ReadDescriptor(fd, revents, buffer, got);
            got.atMs = kFirstRead + reads;
            got.restart = reads == 1;
            if (read == ChannelRead::Bytes) ++reads;
            return read;
        }
        bool Write(const std::uint8_t*, std::size_t) override { return false; }
        int fd, reads = 0;
        std::uint8_t buffer[kReadChunk];
    };
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC | O_NONBLOCK), 0);
    auto link = Link();
    ASSERT_EQ(link->OpenChannel(std::make_unique<PipeChannel>(pipe[0]), 3), 3);
    const Bytes frame = Frame(0x31, {7});
    ASSERT_EQ(::write(pipe[1], Cat({frame, Bytes(frame.begin(), frame.begin() + 3)}).data(), 10), 10);
    ASSERT_TRUE(WaitFor([&] { return link->Counters().bytes == 10; }));
    ASSERT_EQ(::write(pipe[1], frame.data(), frame.size()), ssize(frame));
    ASSERT_TRUE(WaitFor([&] { return notifications == 2; }));
    const DeviceMessage first = Take(*link), second = Take(*link);
    EXPECT_EQ(std::make_tuple(first.timestamp, second.timestamp), std::make_tuple(kFirstRead, kFirstRead + 1));
    EXPECT_EQ(link->Send(OutgoingRequest{}), -1);
    ::close(pipe[1]);
    EXPECT_TRUE(WaitFor([&] { return !link->ReaderRunning(); }));
}

// A failed open leaves the link closed with nothing open, also after a
// good one; a lock file only blocks while its process lives (what a lock
// file may hold is read in the lock tests). A probe afterwards tells why
// (and lets go: the next good open needs the port).
TEST_P(SerialLinkTest, OpenFailuresProbesAndLockFiles)
{
    fs::create_directory(dir / "folder");
    std::ofstream(dir / "plain") << "not a tty";
    fs::create_symlink(dir / "gone", dir / "dangling");
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const std::string com1 = map.Path(1);
    // Port, device, lock file, why it cannot be used (Free: it opens).
    using enum ProbeResult;
    const std::tuple<int, std::string, std::optional<std::string>, ProbeResult> cases[] = {
        {0, com1, {}, Missing}, {9, com1, {}, Missing}, {1, dir / "nothing", {}, Missing},
        {1, dir / "dangling", {}, Missing}, {1, dir / "folder", {}, NotATerminal}, {1, dir / "plain", {}, NotATerminal},
        {1, com1, std::to_string(::getpid()) + "\n", Busy}, {1, com1, std::to_string(dead) + "\n", Free},
    };
    auto link = Link();
    const auto fdsBefore = OpenFdCount();
    for (const auto& [port, device, lock, reason] : cases) {
        fs::remove(lockFile);
        ASSERT_EQ(link->Open(1, 9600), 1);
        PortMap paths = map;
        paths.SetPath(1, device);
        link->SetPortMap(paths);
        if (lock) WriteLockFile(*lock);
        const int opened = reason == Free ? 1 : -1;
        EXPECT_EQ(link->Open(port, 9600), opened) << port << " " << device << " " << lock.value_or("");
        EXPECT_EQ(std::make_tuple(link->PortNumber(), link->ReaderRunning()), std::make_tuple(opened, opened > 0));
        link->Close();
        EXPECT_EQ(ProbePortReason(paths, port, locks), reason) << port << " " << device << " " << lock.value_or("");
        EXPECT_EQ(OpenFdCount(), fdsBefore);
        link->SetPortMap(map);
    }
}

// The link's own flock, another's, then a lock file: each busy, the latter
// two naming this process.
TEST_P(SerialLinkTest, ProbeNamesWhoHoldsAPort)
{
    auto link = Link();
    ASSERT_EQ(link->Open(1, 9600), 1);
    EXPECT_FALSE(ProbePort(map, 1, locks));
    link->Close();
    const int holder = ::open(path[0].c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto fdsBefore = OpenFdCount();
    EXPECT_EQ(link->Open(1, 9600), -1);
    EXPECT_EQ(OpenFdCount(), fdsBefore);
    EXPECT_EQ(std::make_tuple(ExaminePort(map, 1, locks).reason, ExaminePort(map, 1, locks).holderPid),
              std::make_tuple(ProbeResult::Busy, long{::getpid()}));
    ::close(holder);
    WriteLockFile(std::to_string(::getpid()));
    EXPECT_EQ(std::make_tuple(ExaminePort(map, 1, locks).reason, ExaminePort(map, 1, locks).holderPid),
              std::make_tuple(ProbeResult::Busy, long{::getpid()}));
}

// The device list on a made-up /dev and sysfs, with port 1's pseudo-terminal
// behind one node.
void WriteFile(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

void Symlink(const fs::path& at, const fs::path& to)
{
    fs::create_directories(at.parent_path());
    fs::create_symlink(to, at);
}

TEST_P(SerialLinkTest, ListsRealPortsWithTheirStableNamesAndMakers)
{
    const fs::path root = dir.path;
    const DeviceRoots roots{(root / "dev").string(), (root / "sys").string()};
    const std::string pty = path[0];
    // Listed, in this order, or left out (an on-board port without a UART,
    // names that only start like a serial port).
    for (const char* name :
         {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "rfcomm0", "ttySAC0", "tty0", "ttyUSB"})
        WriteFile(root / "dev" / name, "");
    WriteFile(root / "sys/class/tty/ttyS0/type", "4");
    WriteFile(root / "sys/class/tty/ttyS1/type", "0");
    // An FTDI adapter on ttyUSB2 and a real pseudo-terminal as ttyUSB3,
    // each with a stable name.
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-2";
    WriteFile(usb / "idVendor", "0403");
    WriteFile(usb / "manufacturer", "FTDI");
    WriteFile(usb / "product", "FT232R USB UART");
    WriteFile(usb / "serial", "A12345");
    fs::create_directories(usb / "1-2:1.0/ttyUSB2");
    Symlink(root / "sys/class/tty/ttyUSB2/device", usb / "1-2:1.0/ttyUSB2");
    Symlink(root / "dev/ttyUSB3", pty);
    Symlink(root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "../../ttyUSB2");
    Symlink(root / "dev/serial/by-id/usb-Compass_Bridge-if00", pty);

    // Each device found, in order: its fields, then what a port remembers and how it is shown.
    std::string listed;
    for (const SerialDevice& d : ListSerialDevices(roots)) {
        listed += d.node + "  stable=" + d.stablePath + "  maker=" + d.maker + "  product=" + d.product + "  serial=" +
                  d.serialNumber + "\n   remembered as " + d.Path() + ", shown as " + d.Description() + "\n";
    }
    ExpectGolden("link_serial_devices.txt", ReplaceAll(listed, root.string(), "<root>"));

    // No /dev at all: nothing, and no exception.
    EXPECT_TRUE(ListSerialDevices({(root / "nowhere").string(), (root / "nowhere").string()}).empty());
}

} // namespace
} // namespace tolvane
