#include "link/port_locks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>

namespace tolvane {
namespace {

// Up to `limit` bytes of `file` (all of it when 0); empty when it cannot be read.
std::string ReadFile(const char* file, std::size_t limit)
{
    std::string text;
    const int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[4096];
    for (;;) {
        const std::size_t want = limit == 0 ? sizeof buf : std::min(sizeof buf, limit - text.size());
        const ssize_t n = ::read(fd, buf, want);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        if (limit != 0) break; // a lock file is read in one go
    }
    ::close(fd);
    return text;
}

bool Blank(char c, bool lineEnds)
{
    return c == ' ' || c == '\t' || (lineEnds && (c == '\n' || c == '\r'));
}

} // namespace

const std::vector<std::string>& DefaultLockDirectories()
{
    static const std::vector<std::string> dirs{"/run/lock", "/var/lock"};
    return dirs;
}

long LockFileOwner(std::string_view content)
{
    std::size_t i = 0;
    while (i < content.size() && Blank(content[i], false)) ++i;
    long pid = 0;
    std::size_t digits = 0;
    while (i < content.size() && content[i] >= '0' && content[i] <= '9' && digits < 10) {
        pid = pid * 10 + (content[i] - '0');
        ++i;
        ++digits;
    }
    while (i < content.size() && Blank(content[i], true)) ++i;
    if (digits == 0 || i != content.size()) {
        pid = 0;
        if (content.size() == sizeof(std::int32_t)) {
            std::int32_t binary;
            std::memcpy(&binary, content.data(), sizeof binary);
            pid = binary;
        }
    }
    return pid > 0 && pid <= INT_MAX ? pid : 0;
}

long LockFileHolder(const std::string& device, const std::vector<std::string>& lockDirectories)
{
    const auto& dirs = lockDirectories.empty() ? DefaultLockDirectories() : lockDirectories;
    const auto slash = device.rfind('/');
    const std::string name = "LCK.." + device.substr(slash == std::string::npos ? 0 : slash + 1);
    for (const auto& dir : dirs) {
        const long pid = LockFileOwner(ReadFile((dir + "/" + name).c_str(), 64));
        if (pid != 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return pid;
    }
    return 0;
}

long FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, unsigned long inode)
{
    // "1: FLOCK  ADVISORY  WRITE 12345 00:05:1234 0 EOF": the pid, then the
    // filesystem's device in hex and the inode in decimal. Waiters on a lock
    // show "->" after the number and hold nothing.
    const auto number = [](std::string_view text, int base, auto& out) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
        return error == std::errc() && end == text.data() + text.size();
    };
    while (!procLocks.empty()) {
        const auto eol = procLocks.find('\n');
        const std::string_view line = procLocks.substr(0, eol);
        procLocks = eol == std::string_view::npos ? std::string_view() : procLocks.substr(eol + 1);

        std::vector<std::string_view> fields;
        for (std::size_t at = 0; at < line.size();) {
            const auto start = line.find_first_not_of(' ', at);
            if (start == std::string_view::npos) break;
            const auto stop = std::min(line.find(' ', start), line.size());
            fields.push_back(line.substr(start, stop - start));
            at = stop;
        }
        if (fields.size() < 6 || fields[1] != "FLOCK") continue;
        const std::string_view file = fields[5];
        const auto colon1 = file.find(':');
        const auto colon2 = file.find(':', colon1 == std::string_view::npos ? 0 : colon1 + 1);
        if (colon1 == std::string_view::npos || colon2 == std::string_view::npos) continue;
        unsigned fileMajor = 0, fileMinor = 0;
        unsigned long fileInode = 0;
        long pid = 0;
        if (!number(file.substr(0, colon1), 16, fileMajor) ||
            !number(file.substr(colon1 + 1, colon2 - colon1 - 1), 16, fileMinor) ||
            !number(file.substr(colon2 + 1), 10, fileInode) || !number(fields[4], 10, pid))
            continue;
        if (fileMajor == major && fileMinor == minor && fileInode == inode && pid > 0) return pid;
    }
    return 0;
}

long FlockHolderOf(int fd)
{
    struct stat st{};
    if (::fstat(fd, &st) != 0) return 0;
    return FlockHolder(ReadFile("/proc/locks", 0), ::major(st.st_dev), ::minor(st.st_dev), st.st_ino);
}

} // namespace tolvane
