#include "link/serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/clock.h"
#include "link/framing.h"
#include "support/unprivileged.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 2000ms)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

Bytes Frame(std::uint8_t type, const Bytes& payload)
{
    Bytes out(payload.size() + kFrameOverhead);
    EncodeBinaryFrame(type, payload.data(), payload.size(), out.data());
    return out;
}

std::string Sentence(const std::string& body)
{
    std::uint8_t sum = 0;
    for (char c : body) sum = static_cast<std::uint8_t>(sum ^ static_cast<std::uint8_t>(c));
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + body + tail;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

DeviceMessage Filled(std::uint8_t b)
{
    DeviceMessage m;
    m.type = m.length = b;
    m.timestamp = b;
    std::fill(std::begin(m.payload), std::end(m.payload), b);
    return m;
}

int OpenFdCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// A pseudo-terminal: the link opens the slave by path, the test plays the
// device on the master and keeps its own slave descriptor for inspection.
struct Pty {
    Pty()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        path = ::ptsname(master);
    }
    ~Pty()
    {
        CloseMaster();
        ::close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void CloseMaster()
    {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void Write(const Bytes& bytes) const
    {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Whatever arrives on the master within `limit`, up to `count` bytes.
    Bytes Read(std::size_t count, std::chrono::milliseconds limit = 1000ms) const
    {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            std::uint8_t buf[256];
            const ssize_t n = ::read(master, buf, std::min(sizeof buf, count - out.size()));
            if (n > 0) out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    termios Settings() const
    {
        termios t{};
        ::tcgetattr(slave, &t);
        return t;
    }

    int master = -1;
    int slave = -1;
    std::string path;
};

class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/tolvane-link-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        lockDir = dir / "lock";
        fs::create_directory(lockDir);
        // Through a link, as /dev/serial/by-id names are.
        fs::create_symlink(pty.path, dir / "com1");
        map.SetPath(1, (dir / "com1").string());
        lockName = "LCK.." + fs::path(pty.path).filename().string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<SerialLink> MakeLink(std::size_t capacity = kDefaultQueueCapacity)
    {
        auto link = std::make_unique<SerialLink>(capacity);
        link->SetPortMap(map);
        link->SetLockDirectories({lockDir.string()});
        link->SetNotify([this] { ++notifications; });
        return link;
    }

    void WriteLockFile(const std::string& content) const
    {
        std::ofstream(lockDir / lockName, std::ios::binary) << content;
    }

    Pty pty;
    fs::path dir;
    fs::path lockDir;
    std::string lockName;
    PortMap map;
    std::atomic<int> notifications{0};
};

TEST(PortMapTest, DefaultsAndOutOfRange)
{
    const PortMap map;
    const char* expected[] = {"/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyUSB0", "/dev/ttyUSB1",
                              "/dev/ttyUSB2", "/dev/ttyUSB3", "/dev/ttyACM0", "/dev/ttyACM1"};
    for (int port = 1; port <= 8; ++port) EXPECT_EQ(map.Path(port), expected[port - 1]) << port;
    EXPECT_EQ(map.Path(0), "");
    EXPECT_EQ(map.Path(9), "");
    EXPECT_EQ(PortMap::DefaultPath(9), "");
}

TEST_F(SerialLinkTest, DeliversFramesAndSentencesAmidGarbageOncePerNotification)
{
    auto link = MakeLink();
    ASSERT_EQ(link->Open(1, 9600), 1);
    EXPECT_TRUE(link->ReaderRunning());

    const std::int32_t before = NowMs();
    Bytes badChecksum = Frame(0x07, {1, 2});
    badChecksum.back() ^= 0xFF;
    pty.Write(Concat({Text("xx\r~"), Frame(0x05, {1, 2, 3}), Text("junk$GP*"), Text(Sentence("HCHDG,101.1,,,,")),
                      Text("\r\n"), badChecksum, Frame(0xFF, {}), Bytes{0x00, 0x11, 0x13}}));
    ASSERT_TRUE(WaitFor([&] { return notifications == 3; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(notifications, 3);

    DeviceMessage m;
    ASSERT_EQ(link->TakeMessage(m), SerialLink::kTaken);
    EXPECT_EQ(m.type, 0x05);
    ASSERT_EQ(m.length, 3);
    EXPECT_EQ(Bytes(m.payload, m.payload + 3), (Bytes{1, 2, 3}));
    EXPECT_GE(m.timestamp, before);
    EXPECT_LE(m.timestamp, NowMs());

    ASSERT_EQ(link->TakeMessage(m), SerialLink::kTaken);
    EXPECT_EQ(m.type, kNmeaType);
    const std::string text = Sentence("HCHDG,101.1,,,,");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.payload), m.length), text);

    ASSERT_EQ(link->TakeMessage(m), SerialLink::kTaken);
    EXPECT_EQ(m.type, 0xFF);
    EXPECT_EQ(m.length, 0);
    for (std::uint8_t b : m.payload) EXPECT_EQ(b, 0);

    EXPECT_EQ(link->TakeMessage(m), SerialLink::kEmpty);
    EXPECT_EQ(link->DroppedCount(), 0u);
}

TEST_F(SerialLinkTest, SendsFramesByteExactAndInOrder)
{
    auto link = MakeLink();
    OutgoingRequest first;
    first.type = 0x1234; // only the low byte goes out
    first.length = 3;
    first.payload[0] = 0x0D;
    first.payload[1] = 0x11;
    first.payload[2] = 0x7E;
    OutgoingRequest longest;
    longest.type = 0x40;
    longest.length = 66;
    for (std::uint8_t i = 0; i < 66; ++i) longest.payload[i] = i;

    EXPECT_EQ(link->Send(first), -1); // closed
    ASSERT_EQ(link->Open(1, 19200), 1);

    const std::int32_t before = NowMs();
    const std::int32_t sentAt = link->Send(first);
    EXPECT_GE(sentAt, before);
    EXPECT_LE(sentAt, NowMs());
    EXPECT_GE(link->Send(longest), 0);

    const Bytes expected = Concat({Frame(0x34, {0x0D, 0x11, 0x7E}), Frame(0x40, Bytes(longest.payload, longest.payload + 66))});
    EXPECT_EQ(pty.Read(expected.size() + 1, 300ms), expected);

    OutgoingRequest tooLong = longest;
    tooLong.length = 67;
    EXPECT_EQ(link->Send(tooLong), -1);
    tooLong.length = 0xFFFF;
    EXPECT_EQ(link->Send(tooLong), -1);
    link->Close();
    EXPECT_EQ(link->Send(first), -1);
    EXPECT_TRUE(pty.Read(1, 100ms).empty());
}

TEST_F(SerialLinkTest, ConfiguresRawLineAndRestoresSettingsOnClose)
{
    termios odd = pty.Settings();
    ::cfsetispeed(&odd, B1200);
    ::cfsetospeed(&odd, B1200);
    odd.c_lflag |= ICANON | ECHO;
    odd.c_iflag |= IXON | ICRNL;
    odd.c_cflag = (odd.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CSTOPB;
    odd.c_cc[VMIN] = 5;
    ASSERT_EQ(::tcsetattr(pty.slave, TCSANOW, &odd), 0);
    const termios before = pty.Settings();

    auto link = MakeLink();
    EXPECT_EQ(link->Open(1, 115200), -1);
    const struct {
        int baud;
        speed_t speed;
    } rates[] = {{4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400}};
    for (const auto& rate : rates) {
        SCOPED_TRACE(rate.baud);
        ASSERT_EQ(link->Open(1, rate.baud), 1);
        const termios t = pty.Settings();
        EXPECT_EQ(::cfgetispeed(&t), rate.speed);
        EXPECT_EQ(::cfgetospeed(&t), rate.speed);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);

        link->Close();
        const termios after = pty.Settings();
        EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(0, std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc));
    }
}

TEST_F(SerialLinkTest, ReaderEndsOnHangUpAndCloseStillWorks)
{
    auto link = MakeLink();
    ASSERT_EQ(link->Open(1, 9600), 1);
    pty.Write(Frame(0x03, {9}));
    ASSERT_TRUE(WaitFor([&] { return notifications == 1; }));

    pty.CloseMaster();
    EXPECT_TRUE(WaitFor([&] { return !link->ReaderRunning(); }));
    EXPECT_TRUE(WaitFor([&] { return notifications == 2; })); // once more, for the end
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(link->PortNumber(), 1); // still counts as open
    OutgoingRequest request;
    request.type = 1;
    EXPECT_EQ(link->Send(request), -1);

    link->Close();
    EXPECT_EQ(link->PortNumber(), -1);
    DeviceMessage m;
    EXPECT_EQ(link->TakeMessage(m), SerialLink::kTaken); // the queue outlives the port
    EXPECT_EQ(m.type, 0x03);
    EXPECT_EQ(notifications, 2);
}

TEST_F(SerialLinkTest, ReaderStoppedByCloseDoesNotNotify)
{
    auto link = MakeLink();
    ASSERT_EQ(link->Open(1, 9600), 1);
    link->Close();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(notifications, 0);
}

TEST_F(SerialLinkTest, OpenWhileOpenClosesFirstPort)
{
    Pty other;
    termios odd = other.Settings();
    odd.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::cfsetospeed(&odd, B2400);
    ::tcsetattr(other.slave, TCSANOW, &odd);
    const termios before = other.Settings();
    map.SetPath(2, other.path);

    auto link = MakeLink();
    ASSERT_EQ(link->Open(2, 9600), 2);
    ASSERT_EQ(link->Open(1, 9600), 1);
    const termios after = other.Settings();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(::cfgetospeed(&after), B2400);
    EXPECT_TRUE(ProbePort(map, 2, {lockDir.string()}));

    // Only the port now open is read.
    other.Write(Frame(0x22, {}));
    pty.Write(Frame(0x11, {}));
    ASSERT_TRUE(WaitFor([&] { return notifications == 1; }));
    std::this_thread::sleep_for(50ms);
    DeviceMessage m;
    ASSERT_EQ(link->TakeMessage(m), SerialLink::kTaken);
    EXPECT_EQ(m.type, 0x11);
    EXPECT_EQ(link->TakeMessage(m), SerialLink::kEmpty);
}

TEST_F(SerialLinkTest, OpenFailuresLeaveLinkClosedAndNothingOpen)
{
    fs::create_directory(dir / "folder");
    std::ofstream(dir / "plain") << "not a tty";
    fs::create_symlink(dir / "gone", dir / "dangling");
    const std::string pidText = std::to_string(::getpid());
    const std::int32_t pidBinary = ::getpid();
    const std::string viaLink = (dir / "com1").string(); // the lock names the real device

    const struct {
        const char* name;
        int port;
        std::string path;
        std::function<void()> arrange;
    } cases[] = {
        {"port 0", 0, pty.path, {}},
        {"port 9", 9, pty.path, {}},
        {"missing", 1, (dir / "nothing").string(), {}},
        {"dangling link", 1, (dir / "dangling").string(), {}},
        {"directory", 1, (dir / "folder").string(), {}},
        {"regular file", 1, (dir / "plain").string(), {}},
        {"ascii lock", 1, viaLink, [&] { WriteLockFile("     " + pidText + "\n"); }},
        {"bare ascii lock", 1, viaLink, [&] { WriteLockFile(pidText); }},
        {"binary lock", 1, viaLink,
         [&] { WriteLockFile(std::string(reinterpret_cast<const char*>(&pidBinary), sizeof pidBinary)); }},
    };
    auto link = MakeLink();
    const int fdsBefore = OpenFdCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(lockDir / lockName);
        ASSERT_EQ(link->Open(1, 9600), 1) << "a good open first, to see the failure close it";
        PortMap paths = map;
        paths.SetPath(1, c.path);
        link->SetPortMap(paths);
        if (c.arrange) c.arrange();
        EXPECT_EQ(link->Open(c.port, 9600), -1);
        EXPECT_EQ(link->PortNumber(), -1);
        EXPECT_FALSE(link->ReaderRunning());
        EXPECT_EQ(OpenFdCount(), fdsBefore);
        link->SetPortMap(map);
    }
}

TEST_F(SerialLinkTest, StaleOrUnreadableLockFilesDoNotBlock)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);

    auto link = MakeLink();
    for (const std::string& content : {std::to_string(child) + "\n", std::string("garbage"), std::string("0\n")}) {
        SCOPED_TRACE(content);
        WriteLockFile(content);
        EXPECT_EQ(link->Open(1, 9600), 1);
        link->Close();
    }
}

TEST_F(SerialLinkTest, BurstBeyondCapacityKeepsOldestAndCountsDrops)
{
    auto link = MakeLink(64);
    ASSERT_EQ(link->Open(1, 38400), 1);
    Bytes burst;
    for (std::uint8_t i = 0; i < 200; ++i) {
        const Bytes f = Frame(0x30, {i});
        burst.insert(burst.end(), f.begin(), f.end());
    }
    pty.Write(burst);
    ASSERT_TRUE(WaitFor([&] { return link->DroppedCount() == 136; }));
    EXPECT_EQ(notifications, 64);

    DeviceMessage m;
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(link->TakeMessage(m), i == 0 ? SerialLink::kTakenAfterDrops : SerialLink::kTaken) << i;
        EXPECT_EQ(m.payload[0], i);
    }
    EXPECT_EQ(link->TakeMessage(m), SerialLink::kEmpty);

    m = Filled(0x5A);
    EXPECT_EQ(link->TakeMessage(m), SerialLink::kEmpty);
    const DeviceMessage untouched = Filled(0x5A);
    EXPECT_EQ(0, std::memcmp(&m, &untouched, sizeof m));

    // Room again: the next message is queued and reported as a plain take.
    pty.Write(Frame(0x31, {}));
    ASSERT_TRUE(WaitFor([&] { return notifications == 65; }));
    EXPECT_EQ(link->TakeMessage(m), SerialLink::kTaken);
    EXPECT_EQ(link->DroppedCount(), 136u);
}

TEST_F(SerialLinkTest, CloseIsQuickAndHarmlessTwice)
{
    auto link = MakeLink();
    link->Close();
    ASSERT_EQ(link->Open(1, 9600), 1);
    const auto start = std::chrono::steady_clock::now();
    link->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_EQ(link->PortNumber(), -1);
    EXPECT_FALSE(link->ReaderRunning());
    link->Close();
    EXPECT_EQ(link->PortNumber(), -1);
    EXPECT_TRUE(ProbePort(map, 1, {lockDir.string()}));
}

TEST_F(SerialLinkTest, ProbeAndOpenRefuseALockedDeviceAndReleaseAFreeOne)
{
    const std::vector<std::string> locks{lockDir.string()};
    EXPECT_TRUE(ProbePort(map, 1, locks));
    EXPECT_TRUE(ProbePort(map, 1, locks)); // the first probe let go
    EXPECT_FALSE(ProbePort(map, 0, locks));
    PortMap missing = map;
    missing.SetPath(1, (dir / "nothing").string());
    EXPECT_FALSE(ProbePort(missing, 1, locks));

    auto link = MakeLink();
    ASSERT_EQ(link->Open(1, 9600), 1);
    EXPECT_FALSE(ProbePort(map, 1, locks));
    link->Close();

    // Another open file description holding the flock.
    const int holder = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const int fdsBefore = OpenFdCount();
    EXPECT_EQ(link->Open(1, 9600), -1);
    EXPECT_EQ(link->PortNumber(), -1);
    EXPECT_FALSE(ProbePort(map, 1, locks));
    EXPECT_EQ(OpenFdCount(), fdsBefore);
    ::close(holder);
    EXPECT_EQ(link->Open(1, 9600), 1);
    link->Close();

    WriteLockFile(std::to_string(::getpid()));
    EXPECT_FALSE(ProbePort(map, 1, locks));
}

TEST(FlockHolder, FindsTheHolderOfTheFileInProcLocks)
{
    struct Case {
        const char* locks;
        long holder; // of inode 1234 on device 0:5 (after the first row: 253:1)
    };
    const Case cases[] = {
        {"1: FLOCK  ADVISORY  WRITE 12345 00:05:1234 0 EOF\n", 12345},
        {"1: FLOCK  ADVISORY  WRITE 12345 00:05:12345 0 EOF\n"
         "2: POSIX  ADVISORY  WRITE 777 fd:01:1234 0 EOF\n"
         "3: FLOCK  ADVISORY  WRITE 42 fd:01:1234 0 EOF",
         42},
        {"1: FLOCK  ADVISORY  WRITE 42 fd:10:1234 0 EOF\n2: FLOCK  ADVISORY  WRITE 42 01:fd:1234 0 EOF\n", 0},
        {"1: FLOCK  ADVISORY  WRITE 0 fd:01:1234 0 EOF\n1: -> FLOCK  ADVISORY  WRITE 9 fd:01:1234 0 EOF\n", 0},
        {"1: FLOCK  ADVISORY  WRITE x fd:01:1234 0 EOF\n1: FLOCK  ADVISORY  WRITE 9 fd:01\n\n", 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].locks);
        EXPECT_EQ(FlockHolder(cases[i].locks, i == 0 ? 0 : 253, i == 0 ? 5 : 1, 1234), cases[i].holder);
    }
}

TEST_F(SerialLinkTest, ProbeTellsWhyAPortCannotBeUsed)
{
    const std::vector<std::string> locks{lockDir.string()};
    EXPECT_EQ(ProbePortReason(map, 1, locks), ProbeResult::Free);
    EXPECT_EQ(ProbePortReason(map, 9, locks), ProbeResult::Missing);
    PortMap other = map;
    other.SetPath(1, (dir / "nothing").string());
    EXPECT_EQ(ProbePortReason(other, 1, locks), ProbeResult::Missing);
    std::ofstream(dir / "plain") << "x";
    other.SetPath(1, (dir / "plain").string());
    EXPECT_EQ(ProbePortReason(other, 1, locks), ProbeResult::NotATerminal);

    // Either lock names its holder: this process.
    const int holder = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(ProbePortReason(map, 1, locks), ProbeResult::Busy);
    EXPECT_EQ(ExaminePort(map, 1, locks).holderPid, ::getpid());
    ::close(holder);
    WriteLockFile(std::to_string(::getpid()));
    EXPECT_EQ(ProbePortReason(map, 1, locks), ProbeResult::Busy);
    EXPECT_EQ(ExaminePort(map, 1, locks).holderPid, ::getpid());
    fs::remove(lockDir / lockName);

    // A device the user may not open.
    ::chmod(dir.c_str(), 0755);
    ::chmod(pty.path.c_str(), 0);
    const test::Unprivileged user;
    if (!test::Unprivileged::Effective()) GTEST_SKIP() << "cannot act as an unprivileged user";
    EXPECT_EQ(ProbePortReason(map, 1, locks), ProbeResult::NoPermission);
}

} // namespace
} // namespace tolvane
