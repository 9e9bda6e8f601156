// COM1..COM8 and the device paths (or network addresses) they lead to.
#pragma once

#include <array>
#include <string>

namespace tolvane {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 8;

// The application fills it from its settings.
class PortMap {
public:
    PortMap(); // the default devices
    static std::string DefaultPath(int port);
    // Empty for a port outside 1..8.
    const std::string& Path(int port) const;
    void SetPath(int port, std::string path);

private:
    std::array<std::string, kLastPort> paths_;
};

} // namespace tolvane
