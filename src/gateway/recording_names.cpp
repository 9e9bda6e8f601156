#include "gateway/recording_names.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tolvane {
namespace {

// Enough for a name restarted every second of the same second's stem; a
// folder that has them all is refused rather than searched further.
constexpr int kMostStems = 1000;

enum class Made { Created, Exists, Failed };

Made CreateEmpty(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::close(fd);
        return Made::Created;
    }
    if (errno == EEXIST) return Made::Exists;
    error = "cannot create " + path + ": " + std::strerror(errno);
    return Made::Failed;
}

std::string PathIn(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return {};
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

} // namespace

std::string ModuleName(const std::string& configuredName, std::uint32_t serialNumber)
{
    return configuredName.empty() ? std::to_string(serialNumber) : configuredName;
}

std::string RecordingStem(const std::string& moduleName, const std::tm& local)
{
    char when[80]; // room for any int fields
    std::snprintf(when, sizeof when, "-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return moduleName + when;
}

bool CreateRecordingFiles(const std::string& logDir, const std::string& captureDir, const std::string& stem,
                          RecordingPaths& paths, std::string& error)
{
    for (int n = 1; n <= kMostStems; ++n) {
        const std::string name = n == 1 ? stem : stem + "-" + std::to_string(n);
        const RecordingPaths candidate{PathIn(logDir, name + kLogSuffix), PathIn(captureDir, name + kCaptureSuffix)};
        Made log = Made::Created;
        if (!candidate.log.empty()) log = CreateEmpty(candidate.log, error);
        if (log == Made::Failed) return false;
        if (log == Made::Exists) continue;
        Made capture = Made::Created;
        if (!candidate.capture.empty()) capture = CreateEmpty(candidate.capture, error);
        if (capture == Made::Created) {
            paths = candidate;
            return true;
        }
        if (!candidate.log.empty()) ::unlink(candidate.log.c_str());
        if (capture == Made::Failed) return false;
    }
    error = "cannot create " + PathIn(logDir.empty() ? captureDir : logDir, stem) + "-" +
            std::to_string(kMostStems) + "...: every name up to it is taken";
    return false;
}

} // namespace tolvane
