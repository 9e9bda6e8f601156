// Helpers of the log tests: a fixed clock, a scratch folder, whole-file
// reads and writes.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "support/unprivileged.h"

namespace tolvane::log_test {

using test::Unprivileged;

// Local time 12/6/26 3:58:29.
inline bool FixedNow(std::tm& out)
{
    out = std::tm{};
    out.tm_year = 126, out.tm_mon = 11, out.tm_mday = 6, out.tm_hour = 3, out.tm_min = 58, out.tm_sec = 29;
    return true;
}

inline constexpr char kSection[] = "12/6/26 3:58:29\r\n\r\n";
inline constexpr char kHeader[] = " WinTime   Azim   Pitch    Roll  MtOfst   MDecl\r\n";
inline constexpr char kZeroRecord[] = " 3:58:29    0.0     0.0     0.0     0.0     0.0\r\n";

struct ScratchFolder {
    ScratchFolder()
    {
        char pattern[] = "/tmp/tolvane-log-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) path = pattern;
    }
    ~ScratchFolder()
    {
        if (!path.empty()) std::filesystem::remove_all(path);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// A folder in `parent` the log may not create files in once locked, for a
// process that is not root (see support/unprivileged.h). It is given write
// permission back on destruction so that it can be removed.
class FolderWithoutWritePermission {
public:
    FolderWithoutWritePermission(const std::string& parent, const std::string& name) : path(parent + "/" + name)
    {
        ::chmod(parent.c_str(), 0755); // the unprivileged user must reach it
        ::mkdir(path.c_str(), 0755);
    }
    ~FolderWithoutWritePermission() { ::chmod(path.c_str(), 0755); }
    // Takes the write permission away; files made before stay writable.
    bool Lock() const { return ::chmod(path.c_str(), 0555) == 0; }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    const std::string path;
};

// Through a descriptor of its own, so nothing the log holds back is seen.
inline std::string ReadFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "<missing>";
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return bytes;
}

inline bool WriteFile(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return ok;
}

} // namespace tolvane::log_test
