#include "logging/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "logging/printf_text.h"
#include "protocol/angles.h"

namespace tolvane {
namespace {

bool SystemLocalTime(std::tm& out)
{
    const std::time_t now = std::time(nullptr);
    return now != static_cast<std::time_t>(-1) && ::localtime_r(&now, &out) != nullptr;
}

std::string WorkingFolder()
{
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    return error ? std::string(".") : cwd.string();
}

} // namespace

std::string LogDateTimeLine(const std::tm& local)
{
    return PrintfText("%d/%d/%02d %d:%02d:%02d", local.tm_mon + 1, local.tm_mday, (local.tm_year % 100 + 100) % 100,
                      local.tm_hour, local.tm_min, local.tm_sec);
}

std::string LogRecordLine(const std::tm* local, std::uint16_t azimuth, std::int16_t pitch, std::int16_t roll,
                          std::int16_t mountOffset, std::int16_t declination)
{
    std::string line = local != nullptr
                           ? PrintfText("%2d:%02d:%02d", local->tm_hour, local->tm_min, local->tm_sec)
                           : std::string("   ??   ");
    // The five column formats back to back give the same text as one call each.
    line += PrintfText("  %5.1f  %6.1f  %6.1f  %6.1f  %6.1f", UnsignedAngleDegrees(azimuth), SignedAngleDegrees(pitch),
                       SignedAngleDegrees(roll), SignedAngleDegrees(mountOffset), SignedAngleDegrees(declination));
    return line;
}

std::string NextBumpName(const std::string& fileName)
{
    const std::size_t dot = fileName.find('.');
    const std::size_t end = dot == std::string::npos ? fileName.size() : dot;
    if (end == 0) return {};
    std::string next = fileName;
    const char c = next[end - 1];
    // ASCII ranges on purpose: the rule must not depend on the locale.
    if ((c >= 'a' && c < 'z') || (c >= 'A' && c < 'Z'))
        next[end - 1] = static_cast<char>(c + 1);
    else
        next.insert(end, 1, 'A');
    return next;
}

LogFile::LogFile() : LogFile(WorkingFolder(), SystemLocalTime) {}

LogFile::LogFile(std::string folder, LocalTime localTime)
    : folder_(std::move(folder)), localTime_(std::move(localTime))
{
}

LogFile::~LogFile()
{
    if (file_ != nullptr) std::fclose(file_);
}

void LogFile::SetPaneText(PaneText paneText) { paneText_ = std::move(paneText); }

void LogFile::SetLocalTime(LocalTime localTime) { localTime_ = std::move(localTime); }

void LogFile::SetPane(const std::string& text)
{
    if (paneText_) paneText_(text);
}

void LogFile::ShowLogging()
{
    // At most 20 characters of the name, whole: a UTF-8 name cut inside a
    // character would show as a broken one.
    std::size_t end = 0;
    for (int characters = 0; end < fileName_.size() && characters < 20; ++characters) {
        ++end;
        while (end < fileName_.size() && (static_cast<unsigned char>(fileName_[end]) & 0xC0) == 0x80) ++end;
    }
    const std::string shown = fileName_.substr(0, end);
    SetPane(writeFailed_ ? PrintfText(" Log write failed: %s", shown.c_str())
                         : PrintfText(" Logging to %s", shown.c_str()));
}

bool LogFile::Put(const std::string& bytes)
{
    const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    // Flushed even after a short write, so no tail of this line lingers in
    // the buffer to land in the middle of a later one.
    const bool flushed = std::fflush(file_) == 0;
    const bool ok = wrote && flushed;
    if (ok == writeFailed_) {
        writeFailed_ = !ok;
        ShowLogging();
    }
    return ok;
}

bool LogFile::WriteLine(const char* text)
{
    if (!Logging()) return false;
    std::string bytes;
    if (text != nullptr && *text != '\0') {
        // Line ends inside the text become CR LF, as a text-mode stream writes them.
        for (const char* p = text; *p != '\0'; ++p) {
            if (*p == '\n') bytes += '\r';
            bytes += *p;
        }
        if (bytes.back() == '\n') return Put(bytes);
    }
    bytes += "\r\n";
    return Put(bytes);
}

void LogFile::WriteRecord()
{
    if (!Logging()) return;
    if (headerPending) {
        WriteLine(kLogHeader);
        headerPending = false;
    }
    std::tm local{};
    const bool known = localTime_ && localTime_(local);
    WriteLine(LogRecordLine(known ? &local : nullptr, azimuth, pitch, roll, mountOffset, declination).c_str());
}

void LogFile::Close()
{
    if (!Logging()) return;
    std::fclose(file_);
    file_ = nullptr;
    writeFailed_ = false;
    SetPane(kNotLoggingText);
}

std::string LogFile::ProposedName(bool versionKnown, std::uint32_t serial) const
{
    if (versionKnown && serial != 0xFFFFFFFFu) return PrintfText("Compass0%d.dta", static_cast<int>(serial));
    return fileName_;
}

bool LogFile::OpenStream(const std::string& path, bool append)
{
    Close();
    std::FILE* file = std::fopen(path.c_str(), append ? "ae" : "we");
    if (file == nullptr) return false;
    file_ = file;
    writeFailed_ = false;
    return true;
}

void LogFile::WriteSectionStart()
{
    std::tm local{};
    const bool known = localTime_ && localTime_(local);
    WriteLine(known ? LogDateTimeLine(local).c_str() : "   ??   ");
    WriteLine();
    headerPending = true;
}

void LogFile::StartSection(const std::string& fullPath)
{
    const std::size_t slash = fullPath.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : fullPath.substr(0, slash);
    folder_ = std::move(folder);
    fileName_ = slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
    ShowLogging();
    if (!Logging()) return;
    // An append to a file with data sets the new section apart.
    if (std::fseek(file_, 0, SEEK_END) == 0 && std::ftell(file_) > 0) WriteLine();
    WriteSectionStart();
}

bool LogFile::OpenPath(const std::string& fullPath, bool append)
{
    if (!OpenStream(fullPath, append)) return false;
    StartSection(fullPath);
    return true;
}

LogFile::BumpResult LogFile::Bump()
{
    if (!Logging()) return BumpResult::Stopped;
    Close();
    std::string next = NextBumpName(fileName_);
    if (next.empty()) return BumpResult::Stopped;
    fileName_ = std::move(next);
    // Folder and name whole: a shortened path would write somewhere else.
    const std::string path = folder_ + '/' + fileName_;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return BumpResult::NeedsDialog;
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        ::close(fd);
        return BumpResult::NeedsDialog;
    }
    file_ = file;
    writeFailed_ = false;
    ShowLogging();
    WriteSectionStart();
    return BumpResult::Bumped;
}

} // namespace tolvane
