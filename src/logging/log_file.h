// The orientation log: a text file of CR LF lines, one section per opening
// (date-time line, empty line, then the column header and one record per
// orientation), written a line at a time and flushed at once so that what
// was logged survives a crash of the program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace tolvane {

// 47 characters; each word ends over the last column of its record value.
inline constexpr char kLogHeader[] = " WinTime   Azim   Pitch    Roll  MtOfst   MDecl";
inline constexpr char kNotLoggingText[] = " Not logging";

// "12/6/26 3:58:29": month/day/two-digit year, then the 24-hour time.
std::string LogDateTimeLine(const std::tm& local);

// One 47-character record from raw binary-angle counts; `local` null gives
// "   ??   " for the time column.
std::string LogRecordLine(const std::tm* local, std::uint16_t azimuth, std::int16_t pitch, std::int16_t roll,
                          std::int16_t mountOffset, std::int16_t declination);

// The name Bump moves to: the character before the first '.' (or the last
// one) steps to the next letter, or gains an 'A' after it. Empty when there
// is no such character.
std::string NextBumpName(const std::string& fileName);

class LogFile {
public:
    // Fills the local time now; false when it cannot be had.
    using LocalTime = std::function<bool(std::tm&)>;
    using PaneText = std::function<void(const std::string&)>;

    // Folder: the working folder; name "CompassLog01.dta"; not logging.
    LogFile();
    LogFile(std::string folder, LocalTime localTime);
    // Closes the log without touching the pane: the window may be gone.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Raw counts, written by dispatch and by the message effects.
    std::int16_t roll = 0;
    std::int16_t pitch = 0;
    std::uint16_t azimuth = 0;
    std::int16_t mountOffset = 0;
    std::int16_t declination = 0;
    // The column header goes before the next record.
    bool headerPending = false;

    bool Logging() const { return file_ != nullptr; }
    // True while the last line written failed (a full disk).
    bool WriteFailing() const { return writeFailed_; }
    const std::string& Folder() const { return folder_; }
    const std::string& FileName() const { return fileName_; }

    // The logging pane of the frame; called whenever its text changes.
    void SetPaneText(PaneText paneText);
    void SetLocalTime(LocalTime localTime);

    // Writes `text` (none or empty: an empty line) and a line end unless it
    // ends with one. False when not logging or the write failed.
    bool WriteLine(const char* text = nullptr);
    // The header first when pending, then the record from the fields.
    void WriteRecord();
    void Close();

    // The name the Open dialog proposes: "Compass0%d.dta" with a known
    // serial number, else the last name.
    std::string ProposedName(bool versionKnown, std::uint32_t serial) const;

    // The dialog's open of the chosen file: appends or truncates; replaces
    // a log already open. False when the file will not open.
    bool OpenStream(const std::string& path, bool append);
    // After the dialog: takes folder and name from `fullPath` and starts a
    // section in the stream that OpenStream opened.
    void StartSection(const std::string& fullPath);
    // Both at once.
    bool OpenPath(const std::string& fullPath, bool append);

    enum class BumpResult {
        Bumped,      // logging into the next name
        Stopped,     // not logging, or no next name: the log stays closed
        NeedsDialog, // the next name exists or cannot be created: run Open
    };
    // Closes the log and continues in the next name in the same folder,
    // created exclusively.
    BumpResult Bump();

private:
    bool Put(const std::string& bytes);
    void SetPane(const std::string& text);
    void ShowLogging();
    void WriteSectionStart();

    std::string folder_;
    std::string fileName_ = "CompassLog01.dta";
    std::FILE* file_ = nullptr;
    bool writeFailed_ = false;
    LocalTime localTime_;
    PaneText paneText_;
};

} // namespace tolvane
