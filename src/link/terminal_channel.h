// A serial device as the link's channel: the path resolved to its device
// (a /dev/serial/by-id name and the node it names are one port), opened,
// locked against other programs (flock, exclusive mode, and no live UUCP
// lock file), its line set raw 8N1 at the rate asked for, and its line
// settings as found restored when the link lets go of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/byte_channel.h"

namespace tolvane {

// The open channel, or null with `why` telling the cause. Lock files are
// looked for in `lockDirectories` (empty: the default ones).
std::unique_ptr<ByteChannel> OpenTerminal(const std::string& path, int baud,
                                          const std::vector<std::string>& lockDirectories, PortProbe& why);

// Opens and locks the device at `path` as OpenTerminal would, then lets go
// at once: whether it could be used, and why not.
PortProbe ExamineTerminal(const std::string& path, const std::vector<std::string>& lockDirectories);

} // namespace tolvane
