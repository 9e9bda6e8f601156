// The serial devices present on this machine, as a user would pick one for
// a COM number: USB adapters (ttyUSB, ttyACM), Bluetooth ports (rfcomm) and
// on-board ports (ttyS) that have a UART behind them. Read from /dev and
// sysfs, whose roots are given so that tests can build a tree of their own.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

struct DeviceRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

struct SerialDevice {
    std::string node;       // "/dev/ttyUSB0"
    std::string stablePath; // "/dev/serial/by-id/usb-...", or empty when there is none
    std::string maker;      // from the USB device's descriptors, when known
    std::string product;
    std::string serialNumber;

    // What a COM number should remember: the stable name where there is
    // one, so that a replugged adapter is found under its new node.
    const std::string& Path() const { return stablePath.empty() ? node : stablePath; }
    // "FTDI FT232R USB UART, serial A12345 (/dev/ttyUSB0)"; the node alone
    // when nothing more is known.
    std::string Description() const;

    friend bool operator==(const SerialDevice&, const SerialDevice&) = default;
};

// The devices present, ordered by kind and then by number (ttyACM0,
// ttyACM1, ..., ttyS0, ..., ttyUSB2, ttyUSB10).
std::vector<SerialDevice> ListSerialDevices(const DeviceRoots& roots = {});

// The folders whose entries come and go with the devices: the device root
// and its serial/by-id folder.
std::vector<std::string> SerialDeviceFolders(const DeviceRoots& roots = {});

} // namespace tolvane
