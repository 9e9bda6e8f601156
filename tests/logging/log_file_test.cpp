// The orientation log: its line formats, the sections it writes, the next
// names Bump takes, and what happens when the disk refuses. What messages
// do to it is tested with the catalogue's effects.
#include "logging/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "log_test_support.h"
#include "support/golden.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace log_test;
using ::testing::ElementsAre;

std::tm At(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year, t.tm_mon = month, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
    return t;
}

// logging_formats.txt: record lines under the header, each value's last
// digit under the last letter of its header word (the time "??" when it
// cannot be had); date-time lines; the next names Bump takes ("": none).
TEST(LogFormat, RecordDateTimeAndBumpNames)
{
    const std::tm early = At(126, 11, 6, 3, 58, 29), late = At(126, 11, 6, 23, 59, 9);
    std::string made = std::string(kLogHeader) + "\n" + LogRecordLine(&early, 49389, -91, 218, 0, 2276) + "\n" +
                       LogRecordLine(&late, 0xFFFF, -32768, 32767, -32768, 2048) + "\n" +
                       LogRecordLine(nullptr, 16384, 182, -182, -2048, -16384) + "\n";
    for (const std::tm& t : {early, At(100, 0, 1, 23, 5, 9), At(-1, 8, 30, 0, 0, 0)}) made += LogDateTimeLine(t) + "\n";
    for (const char* name : {"CompassLog01.dta", "CompassLog01Y.dta", "CompassLog01Z.dta", "log_.dta", "Data1",
                             "Datay", "Dataz", "a.b.c", ".dta", ""})
        made += std::string("bump \"") + name + "\" -> \"" + NextBumpName(name) + "\"\n";
    test::ExpectGolden("logging_formats.txt", made);
}

using LogFileTest = LogTest;

// logging_session.dta: the bytes of a log opened, written, and reopened
// to append: a section starts with its date-time line and an empty line,
// the header goes before a section's first record only, each line ends in
// one CR LF (a line end in the text too). Each line is in the file at once.
// (Appending from the dialog, the name and the pane: see the Log Open
// dialog's tests.)
TEST_F(LogFileTest, ASessionsBytes)
{
    const std::string path = dir / "session.dta";
    EXPECT_FALSE(log.WriteLine("not logging"));
    ASSERT_TRUE(log.OpenPath(path, false));
    log.WriteRecord();
    log.azimuth = 0xC000;
    log.WriteRecord();
    for (const char* text : {static_cast<const char*>(nullptr), "", "abc", "abc\n", "a\nb"}) {
        const std::size_t before = ReadFile(path).size();
        EXPECT_TRUE(log.WriteLine(text));
        EXPECT_GT(ReadFile(path).size(), before) << "held back: " << (text ? text : "no text");
    }
    log.Close();
    ASSERT_TRUE(log.OpenPath(path, true));
    log.WriteRecord();
    test::ExpectGolden("logging_session.dta", ReadFile(path));
    EXPECT_FALSE(log.OpenPath(dir / "no such folder/x.dta", false));
}

// Bump goes on in the next name of the same folder, kept whole however
// long (the pane shows at most 20 characters of it); without a next name
// logging stops. (A next name that exists: see the Log Open dialog.)
TEST_F(LogFileTest, Bump)
{
    std::string deep = dir.path.string();
    while (deep.size() <= 220) deep += "/folder_with_a_rather_long_name";
    fs::create_directories(deep);
    ASSERT_TRUE(log.OpenPath(deep + "/ABCDEFGHIJKLMNOPQRSTLog01Z.dta", false));
    log.WriteRecord();
    ASSERT_EQ(log.Bump(), LogFile::BumpResult::Bumped);
    EXPECT_EQ(panes.back(), " Logging to ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(ReadFile(deep + "/ABCDEFGHIJKLMNOPQRSTLog01Z.dta"), std::string(kSection) + kHeader + kZeroRecord);
    EXPECT_EQ(ReadFile(deep + "/ABCDEFGHIJKLMNOPQRSTLog01ZA.dta"), kSection);

    ASSERT_TRUE(log.OpenPath(dir / ".dta", false));
    EXPECT_EQ(log.Bump(), LogFile::BumpResult::Stopped);
    EXPECT_EQ(log.FileName() + (log.Logging() ? " logging" : ""), ".dta");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);
}

// Points the log's descriptor for `target` at `replacement` instead.
bool Redirect(const std::string& target, const std::string& replacement)
{
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) != target) continue;
        const int fd = std::stoi(entry.path().filename().string());
        const int other = ::open(replacement.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const bool done = other >= 0 && ::dup2(other, fd) == fd;
        ::close(other);
        return done;
    }
    return false;
}

// A failed write shows in the pane until a write succeeds again.
TEST_F(LogFileTest, AFullDeviceShowsInThePaneUntilAWriteSucceeds)
{
    ASSERT_TRUE(log.OpenPath(dir / "ABCDEFGHIJKLMNOPQRSTUVWXYZ.dta", false));
    ASSERT_TRUE(Redirect(dir / "ABCDEFGHIJKLMNOPQRSTUVWXYZ.dta", "/dev/full"));
    EXPECT_FALSE(log.WriteLine("lost"));
    EXPECT_TRUE(log.WriteFailing());
    log.WriteRecord();
    EXPECT_TRUE(log.Logging());
    EXPECT_THAT(panes, ElementsAre(" Logging to ABCDEFGHIJKLMNOPQRST", " Log write failed: ABCDEFGHIJKLMNOPQRST"));
    ASSERT_TRUE(Redirect("/dev/full", dir / "room.dta")); // room again
    EXPECT_TRUE(log.WriteLine("kept"));
    EXPECT_FALSE(log.WriteFailing());
    EXPECT_EQ(panes.back(), " Logging to ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(ReadFile(dir / "room.dta"), "kept\r\n");
    ASSERT_TRUE(log.OpenPath("/dev/full", false)); // failing from the section's first line
    EXPECT_THAT(std::vector(panes.end() - 2, panes.end()), ElementsAre(" Logging to full", " Log write failed: full"));
    log.Close();
    EXPECT_FALSE(log.WriteFailing()) << "a closed log has no failing writes";
}

// Any name the folder takes is opened as it stands; the pane shows its
// first 20 characters, never part of one.
TEST_F(LogFileTest, NamesOfAnyCharactersOpenAsTheyAre)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\u03A9\u03BC\u03AD\u03B3\u03B1-\u0394\u03BF\u03BA\u03B9\u03BC\u03AE-\u03A0\u03C5\u03BE\u03AF\u03B4\u03B1.dta",
         " Logging to \u03A9\u03BC\u03AD\u03B3\u03B1-\u0394\u03BF\u03BA\u03B9\u03BC\u03AE-\u03A0\u03C5\u03BE\u03AF"
         "\u03B4\u03B1."},
        {"a\x01\x1b\tb.dta", " Logging to a\x01\x1b\tb.dta"},
    };
    for (const auto& [name, pane] : cases) {
        ASSERT_TRUE(log.OpenPath(dir / name, false));
        EXPECT_EQ(panes.back(), pane);
        EXPECT_EQ(ReadFile(dir / name), kSection);
        log.Close();
    }
}

} // namespace
} // namespace tolvane
