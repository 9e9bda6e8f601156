#include "link/serial_devices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

namespace tolvane {
namespace fs = std::filesystem;

namespace {

// The node names listed, each a prefix followed by a number.
constexpr const char* kKinds[] = {"ttyACM", "ttyS", "ttyUSB", "rfcomm"};

// The kind's index and the number of a listed node name, or false.
bool ParseNodeName(const std::string& name, std::size_t& kind, unsigned long& number)
{
    for (std::size_t k = 0; k < std::size(kKinds); ++k) {
        const std::string prefix = kKinds[k];
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) {
                return std::isdigit(c) != 0;
            }))
            return false;
        kind = k;
        number = std::stoul(digits);
        return true;
    }
    return false;
}

// The first line of a sysfs attribute, without its line end; empty when unreadable.
std::string ReadAttribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// An 8250 driver registers ttyS ports whether or not a UART answers; those
// without one report type 0 (unknown) and are no use to anybody.
bool HasUart(const fs::path& sysTty)
{
    const std::string type = ReadAttribute(sysTty / "type");
    return !type.empty() && type != "0";
}

// The USB device above a tty in sysfs (the folder with idVendor), or empty.
fs::path UsbDeviceOf(const fs::path& sysTty, const fs::path& sysRoot)
{
    std::error_code error;
    fs::path dir = fs::canonical(sysTty / "device", error);
    if (error) return {};
    const fs::path root = fs::weakly_canonical(sysRoot, error);
    for (int depth = 0; depth < 8 && !dir.empty() && dir != root && dir != dir.root_path(); ++depth) {
        if (fs::exists(dir / "idVendor", error)) return dir;
        dir = dir.parent_path();
    }
    return {};
}

} // namespace

std::string SerialDevice::Description() const
{
    std::string text = maker;
    if (!product.empty()) text += (text.empty() ? "" : " ") + product;
    if (!serialNumber.empty()) text += (text.empty() ? "serial " : ", serial ") + serialNumber;
    return text.empty() ? node : text + " (" + node + ")";
}

std::vector<SerialDevice> ListSerialDevices(const DeviceRoots& roots)
{
    const fs::path dev(roots.dev);
    const fs::path sysTty = fs::path(roots.sys) / "class" / "tty";
    std::error_code error;

    // Stable names by the node they lead to; the first in name order wins.
    std::map<fs::path, std::string> stableNames;
    const fs::path byId = dev / "serial" / "by-id";
    for (const auto& entry : fs::directory_iterator(byId, error)) {
        std::error_code resolveError;
        const fs::path target = fs::canonical(entry.path(), resolveError);
        if (resolveError) continue;
        const std::string name = entry.path().string();
        auto [it, added] = stableNames.emplace(target, name);
        if (!added && name < it->second) it->second = name;
    }

    std::vector<std::tuple<std::size_t, unsigned long, SerialDevice>> found;
    for (const auto& entry : fs::directory_iterator(dev, error)) {
        const std::string name = entry.path().filename().string();
        std::size_t kind;
        unsigned long number;
        if (!ParseNodeName(name, kind, number)) continue;
        if (std::string(kKinds[kind]) == "ttyS" && !HasUart(sysTty / name)) continue;

        SerialDevice device;
        device.node = entry.path().string();
        std::error_code resolveError;
        const auto stable = stableNames.find(fs::canonical(entry.path(), resolveError));
        if (!resolveError && stable != stableNames.end()) device.stablePath = stable->second;
        if (const fs::path usb = UsbDeviceOf(sysTty / name, roots.sys); !usb.empty()) {
            device.maker = ReadAttribute(usb / "manufacturer");
            device.product = ReadAttribute(usb / "product");
            device.serialNumber = ReadAttribute(usb / "serial");
        }
        found.emplace_back(kind, number, std::move(device));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });

    std::vector<SerialDevice> devices;
    devices.reserve(found.size());
    for (auto& f : found) devices.push_back(std::move(std::get<2>(f)));
    return devices;
}

std::vector<std::string> SerialDeviceFolders(const DeviceRoots& roots)
{
    return {roots.dev, (fs::path(roots.dev) / "serial" / "by-id").string()};
}

} // namespace tolvane
