// A SerialLink on a simulator's terminal and the messages it brings, for
// the tests that drive tolvane-sim as the program does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_link.h"

namespace tolvane::test {

// `device` opened as port 1, its lock files looked for in `lockDirectory`;
// `capture` sees the bytes from the start.
inline std::unique_ptr<SerialLink> OpenLink(const std::string& device, const std::string& lockDirectory,
                                            int baud = 9600, CaptureSink* capture = nullptr)
{
    auto link = std::make_unique<SerialLink>();
    PortMap map;
    map.SetPath(1, device);
    link->SetPortMap(map);
    link->SetLockDirectories({lockDirectory});
    link->SetCapture(capture);
    EXPECT_EQ(link->Open(1, baud), 1) << device;
    return link;
}

// The messages over `span`, ending early with one of type `until`, or once
// `count` have come.
inline std::vector<DeviceMessage> Collect(SerialLink& link, std::chrono::milliseconds span, int until = -1,
                                          std::size_t count = SIZE_MAX)
{
    std::vector<DeviceMessage> got;
    DeviceMessage m;
    const auto end = std::chrono::steady_clock::now() + span;
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        if (link.TakeMessage(m) == SerialLink::kEmpty) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        got.push_back(m);
        if (m.type == until) break;
    }
    return got;
}

} // namespace tolvane::test
