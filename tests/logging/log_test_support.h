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

namespace tolvane::log_test {

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

// A folder in `parent` the log may not create files in, and, while an
// object lives, a process that is not root: root writes anywhere, and CI
// runs as root. The folder is given write permission back on destruction
// so that it can be removed.
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

class Unprivileged {
public:
    Unprivileged()
    {
        constexpr uid_t kNobody = 65534;
        dropped_ = ::geteuid() == 0 && ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~Unprivileged()
    {
        if (dropped_ && (::seteuid(0) != 0 || ::setegid(0) != 0)) std::abort();
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    // Whether the process may not write in a folder without permission.
    static bool Effective() { return ::geteuid() != 0; }

private:
    bool dropped_ = false;
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
