// Who holds a port: the process a UUCP lock file names, and the holder of
// a flock as /proc/locks lists it.
#include "link/port_locks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace tolvane {
namespace {

std::string Native(std::int32_t pid)
{
    std::string bytes(sizeof pid, '\0');
    std::memcpy(bytes.data(), &pid, sizeof pid);
    return bytes;
}

TEST(PortLocks, ReadsTheProcessALockFileNames)
{
    const std::pair<std::string, long> cases[] = {
        {"     4242\n", 4242}, {"4242", 4242}, {" 12 \r\n", 12}, {"19\n", 19}, // every digit read
        {"123\n", 123},                        // four bytes, but digits: ASCII first
        {Native(4242), 4242},                  // the older binary form
        {"0000004242", 4242}, {"00000004242", 0}, // ten digits at most
        {"2147483648\n", 0}, {Native(-1), 0}, // no process; -1 would be every one
        {"0\n", 0}, {"garbage", 0}, {"12x", 0}, {"", 0}, {std::string(64, ' '), 0},
    };
    for (const auto& [content, pid] : cases) EXPECT_EQ(LockFileOwner(content), pid) << content;
}

// Holders of inode 1234 on device 0:5 (first row) or 253:1 (the others).
TEST(PortLocks, FindsTheFlockHolderInProcLocks)
{
    const std::pair<const char*, long> cases[] = {
        {"1: FLOCK  ADVISORY  WRITE 12345 00:05:1234 0 EOF\n", 12345},
        {"1: FLOCK  ADVISORY  WRITE 12345 00:05:12345 0 EOF\n2: POSIX  ADVISORY  WRITE 777 fd:01:1234 0 EOF\n"
         "3: FLOCK  ADVISORY  WRITE 42 fd:01:1234 0 EOF", 42},
        {"1: FLOCK  ADVISORY  WRITE 42 fd:10:1234 0 EOF\n2: FLOCK  ADVISORY  WRITE 42 01:fd:1234 0 EOF\n", 0},
        {"1: FLOCK  ADVISORY  WRITE 0 fd:01:1234 0 EOF\n1: -> FLOCK  ADVISORY  WRITE 9 fd:01:1234 0 EOF\n", 0},
        {"1: FLOCK  ADVISORY  WRITE x fd:01:1234 0 EOF\n1: FLOCK  ADVISORY  WRITE 9 fd:01\n\n", 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(FlockHolder(cases[i].first, i ? 253 : 0, i ? 1 : 5, 1234), cases[i].second) << cases[i].first;
}

} // namespace
} // namespace tolvane
