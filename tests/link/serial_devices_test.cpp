// The device list on a made-up /dev and sysfs, with a real pseudo-terminal
// behind one node; and what the receivers and the link count.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/framing.h"
#include "link/serial_devices.h"
#include "link/serial_link.h"

namespace tolvane {
namespace {
namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

class MadeUpTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(::testing::TempDir()) / ("devices-" + std::to_string(::getpid()));
        fs::remove_all(root);
        roots = {(root / "dev").string(), (root / "sys").string()};
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        char name[64];
        ASSERT_EQ(::ttyname_r(slave, name, sizeof name), 0);
        pty = name;
    }
    void TearDown() override
    {
        ::close(master);
        ::close(slave);
        fs::remove_all(root);
    }
    void Node(const std::string& name) { Write(root / "dev" / name, ""); }
    void Link(const fs::path& at, const fs::path& to)
    {
        fs::create_directories(at.parent_path());
        fs::create_symlink(to, at);
    }

    fs::path root;
    DeviceRoots roots;
    int master = -1;
    int slave = -1;
    std::string pty;
};

TEST_F(MadeUpTree, ListsRealPortsWithTheirStableNamesAndMakers)
{
    // Listed, in this order, or left out (an on-board port without a UART,
    // names that only start like a serial port).
    for (const char* name :
         {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "rfcomm0", "ttySAC0", "tty0", "ttyUSB"})
        Node(name);
    Write(root / "sys/class/tty/ttyS0/type", "4");
    Write(root / "sys/class/tty/ttyS1/type", "0");
    // An FTDI adapter on ttyUSB2 and a real pseudo-terminal as ttyUSB3,
    // each with a stable name.
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-2";
    Write(usb / "idVendor", "0403");
    Write(usb / "manufacturer", "FTDI");
    Write(usb / "product", "FT232R USB UART");
    Write(usb / "serial", "A12345");
    fs::create_directories(usb / "1-2:1.0/ttyUSB2");
    Link(root / "sys/class/tty/ttyUSB2/device", usb / "1-2:1.0/ttyUSB2");
    Link(root / "dev/ttyUSB3", pty);
    Link(root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "../../ttyUSB2");
    Link(root / "dev/serial/by-id/usb-Compass_Bridge-if00", pty);

    const std::string dev = roots.dev;
    const std::vector<SerialDevice> expected = {
        {dev + "/ttyACM0", "", "", "", ""},
        {dev + "/ttyS0", "", "", "", ""},
        {dev + "/ttyUSB2", dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "FTDI",
         "FT232R USB UART", "A12345"},
        {dev + "/ttyUSB3", dev + "/serial/by-id/usb-Compass_Bridge-if00", "", "", ""},
        {dev + "/ttyUSB10", "", "", "", ""},
        {dev + "/rfcomm0", "", "", "", ""},
    };
    const std::vector<SerialDevice> found = ListSerialDevices(roots);
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i], expected[i]) << found[i].node;
    EXPECT_EQ(found[2].Path(), expected[2].stablePath);
    EXPECT_EQ(found[2].Description(), "FTDI FT232R USB UART, serial A12345 (" + dev + "/ttyUSB2)");
    EXPECT_EQ(found[0].Path(), dev + "/ttyACM0");
    EXPECT_EQ(found[0].Description(), dev + "/ttyACM0");

    // No /dev at all: nothing, and no exception.
    EXPECT_TRUE(ListSerialDevices({(root / "nowhere").string(), (root / "nowhere").string()}).empty());
}

// Good frame, bad checksum, impossible length, good and bad sentences.
TEST(ReceiverCounts, CountsWhatTheStreamHeld)
{
    std::uint8_t frame[16];
    const std::uint8_t payload[] = {1, 2, 3};
    const std::size_t n = EncodeBinaryFrame(0x44, payload, 3, frame);
    std::string stream(reinterpret_cast<const char*>(frame), n);
    std::string bad = stream;
    bad.back() = static_cast<char>(bad.back() + 1);
    stream += bad + std::string("\r\n~\x44\xF0", 5) + "$GPHDT,1.0,T*34\r\n$GPHDT,1.0,T*00\r\n" + stream;

    StreamDecoder decoder;
    int delivered = 0;
    decoder.Feed(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(), 0,
                 [&](const DeviceMessage&) { ++delivered; });
    const ReceiverCounts c = decoder.Counts();
    EXPECT_EQ(delivered, 3);
    EXPECT_EQ(c.frames, 2u);
    EXPECT_EQ(c.checksumFailures, 1u);
    EXPECT_EQ(c.resyncs, 1u);
    EXPECT_EQ(c.nmeaGood, 1u);
    EXPECT_EQ(c.nmeaBad, 1u);
}

// The link's counters start at the open and stop being read at the close.
TEST_F(MadeUpTree, LinkCountsSinceThePortOpened)
{
    PortMap ports;
    ports.SetPath(1, pty);
    SerialLink link;
    link.SetPortMap(ports);
    link.SetLockDirectories({root.string()});
    fs::create_directories(root);
    ASSERT_EQ(link.Open(1, 9600), 1);
    std::uint8_t frame[16];
    const std::size_t n = EncodeBinaryFrame(0x44, nullptr, 0, frame);
    ASSERT_EQ(::write(master, "xx", 2), 2);
    ASSERT_EQ(::write(master, frame, n), static_cast<ssize_t>(n));
    for (int i = 0; i < 200 && link.Counters().frames == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const LinkCounters c = link.Counters();
    EXPECT_EQ(c.bytes, n + 2);
    EXPECT_EQ(c.frames, 1u);
    EXPECT_NE(c.lastValidMs, -1);
    link.DiscardInput();
    DeviceMessage message;
    EXPECT_EQ(link.TakeMessage(message), DeviceLink::kEmpty);
    ASSERT_EQ(link.Open(1, 19200), 1);
    LinkCounters reopened = link.Counters();
    EXPECT_GE(reopened.openedMs, c.openedMs);
    reopened.openedMs = -1;
    EXPECT_EQ(reopened, LinkCounters{});
    link.Close();
    EXPECT_EQ(link.Counters(), LinkCounters{});
}

} // namespace
} // namespace tolvane
