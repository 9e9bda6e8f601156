// The device list on a made-up /dev and sysfs, with a real pseudo-terminal
// behind one node.
#include "link/serial_devices.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/test_data.h"

namespace tolvane {
namespace {
namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

void Link(const fs::path& at, const fs::path& to)
{
    fs::create_directories(at.parent_path());
    fs::create_symlink(to, at);
}

TEST(SerialDevices, ListsRealPortsWithTheirStableNamesAndMakers)
{
    const test::TempDir tree;
    const fs::path root = tree.path;
    const DeviceRoots roots{(root / "dev").string(), (root / "sys").string()};
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string pty = ::ttyname(slave);
    // Listed, in this order, or left out (an on-board port without a UART,
    // names that only start like a serial port).
    for (const char* name :
         {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "rfcomm0", "ttySAC0", "tty0", "ttyUSB"})
        Write(root / "dev" / name, "");
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
    ::close(master);
    ::close(slave);
}

} // namespace
} // namespace tolvane
