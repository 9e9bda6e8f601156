#include "logging/log_file.h"

#include <signal.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "log_test_support.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace log_test;
using ::testing::ElementsAre;

std::tm At(int hour, int minute, int second)
{
    std::tm t{};
    FixedNow(t);
    t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
    return t;
}

TEST(LogFormat, RecordColumnsEndUnderTheirHeaderWords)
{
    const struct {
        bool timeKnown;
        std::tm time;
        std::uint16_t azimuth;
        std::int16_t pitch, roll, mountOffset, declination;
        const char* expected;
    } cases[] = {
        {true, At(3, 58, 29), 49389, -91, 218, 0, 2276, " 3:58:29  271.3    -0.5     1.2     0.0    12.5"},
        {true, At(23, 59, 9), 0xFFFF, -32768, 32767, -32768, 2048, "23:59:09  360.0  -180.0   180.0  -180.0    11.2"},
        {false, {}, 16384, 182, -182, -2048, -16384, "   ??      90.0     1.0    -1.0   -11.2   -90.0"},
    };
    auto runEnds = [](const std::string& s) {
        std::vector<std::size_t> ends;
        for (std::size_t i = 0; i < s.size(); ++i)
            if (s[i] != ' ' && (i + 1 == s.size() || s[i + 1] == ' ')) ends.push_back(i);
        return ends;
    };
    ASSERT_EQ(std::string(kLogHeader).size(), 47u);
    for (const auto& c : cases) {
        const std::string line =
            LogRecordLine(c.timeKnown ? &c.time : nullptr, c.azimuth, c.pitch, c.roll, c.mountOffset, c.declination);
        EXPECT_EQ(line, c.expected);
        if (c.timeKnown) {
            EXPECT_EQ(runEnds(line), runEnds(kLogHeader)) << line;
        }
    }
}

TEST(LogFormat, DateTimeLine)
{
    std::tm t = At(3, 58, 29);
    EXPECT_EQ(LogDateTimeLine(t), "12/6/26 3:58:29");
    t.tm_year = 100, t.tm_mon = 0, t.tm_mday = 1, t.tm_hour = 23, t.tm_min = 5, t.tm_sec = 9;
    EXPECT_EQ(LogDateTimeLine(t), "1/1/00 23:05:09");
}

TEST(LogFormat, BumpNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"CompassLog01.dta", "CompassLog01A.dta"}, {"CompassLog01A.dta", "CompassLog01B.dta"},
        {"CompassLog01Y.dta", "CompassLog01Z.dta"}, {"CompassLog01Z.dta", "CompassLog01ZA.dta"},
        {"Compass01234.dta", "Compass01234A.dta"}, {"Data1", "Data1A"},
        {"logz.dta", "logzA.dta"},                 {"log_.dta", "log_A.dta"},
        {"a.b.c", "b.b.c"},                        {".dta", ""},
        {"", ""},
    };
    for (const auto& [from, to] : cases) EXPECT_EQ(NextBumpName(from), to) << from;
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path.empty());
        log.SetPaneText([this](const std::string& text) { panes.push_back(text); });
    }

    ScratchFolder dir;
    LogFile log{"/nowhere", FixedNow};
    std::vector<std::string> panes;
};

TEST_F(LogFileTest, NewFileGetsDateLineAndEmptyLineThenHeaderBeforeFirstRecordOnly)
{
    ASSERT_TRUE(log.OpenPath(dir / "new.dta", false));
    EXPECT_EQ(log.Folder(), dir.path);
    EXPECT_EQ(log.FileName(), "new.dta");
    EXPECT_EQ(ReadFile(dir / "new.dta"), kSection);
    log.WriteRecord();
    log.azimuth = 0xC000;
    log.WriteRecord();
    EXPECT_EQ(ReadFile(dir / "new.dta"), std::string(kSection) + kHeader + kZeroRecord +
                                             " 3:58:29  270.0     0.0     0.0     0.0     0.0\r\n");
    log.Close();
    EXPECT_THAT(panes, ElementsAre(" Logging to new.dta", kNotLoggingText));
    EXPECT_EQ(log.FileName(), "new.dta");
}

TEST_F(LogFileTest, OpeningOverAnExistingFile)
{
    const struct {
        const char* before;
        bool append;
        std::string after;
    } cases[] = {
        {"old\r\n", true, std::string("old\r\n\r\n") + kSection},
        {"", true, kSection},
        {"old\r\n", false, kSection},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile(dir / "x.dta", c.before));
        ASSERT_TRUE(log.OpenPath(dir / "x.dta", c.append));
        log.Close();
        EXPECT_EQ(ReadFile(dir / "x.dta"), c.after) << c.before << c.append;
    }
}

TEST_F(LogFileTest, EachLineIsInTheFileAsSoonAsWrittenWithOneCrLf)
{
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, "\r\n"}, {"", "\r\n"}, {"abc", "abc\r\n"}, {"abc\n", "abc\r\n"}, {"a\nb", "a\r\nb\r\n"},
    };
    EXPECT_FALSE(log.WriteLine("not logging"));
    ASSERT_TRUE(log.OpenStream(dir / "w.dta", false));
    std::string expected;
    for (const auto& [text, bytes] : cases) {
        EXPECT_TRUE(log.WriteLine(text));
        expected += bytes;
        EXPECT_EQ(ReadFile(dir / "w.dta"), expected);
    }
}

TEST_F(LogFileTest, EverythingLoggedSurvivesACrash)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        LogFile dying{dir.path, FixedNow};
        dying.OpenPath(dir / "crash.dta", false);
        dying.WriteRecord();
        ::signal(SIGABRT, SIG_DFL);
        std::abort(); // no destructor, no stdio flush
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFile(dir / "crash.dta"), std::string(kSection) + kHeader + kZeroRecord);
}

TEST_F(LogFileTest, BumpContinuesInTheNextNameOfTheSameFolder)
{
    ASSERT_TRUE(log.OpenPath(dir / "ABCDEFGHIJKLMNOPQRSTLog01Z.dta", false));
    log.WriteRecord();
    ASSERT_EQ(log.Bump(), LogFile::BumpResult::Bumped);
    EXPECT_THAT(panes, ElementsAre(" Logging to ABCDEFGHIJKLMNOPQRST", kNotLoggingText,
                                   " Logging to ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(log.FileName(), "ABCDEFGHIJKLMNOPQRSTLog01ZA.dta");
    EXPECT_EQ(ReadFile(dir / "ABCDEFGHIJKLMNOPQRSTLog01Z.dta"), std::string(kSection) + kHeader + kZeroRecord);
    EXPECT_EQ(ReadFile(dir / "ABCDEFGHIJKLMNOPQRSTLog01ZA.dta"), kSection);
}

TEST_F(LogFileTest, BumpKeepsALongFolderWhole)
{
    std::string deep = dir.path;
    while (deep.size() <= 220) deep += "/folder_with_a_rather_long_name";
    fs::create_directories(deep);
    ASSERT_TRUE(log.OpenPath(deep + "/a_name_long_enough_to_matter_CompassLog01.dta", false));
    ASSERT_EQ(log.Bump(), LogFile::BumpResult::Bumped);
    EXPECT_EQ(ReadFile(deep + "/a_name_long_enough_to_matter_CompassLog01A.dta"), kSection);
}

TEST_F(LogFileTest, BumpThatCannotGoOnLeavesTheLogClosed)
{
    ASSERT_TRUE(WriteFile(dir / "CompassLog01A.dta", "keep"));
    ASSERT_TRUE(log.OpenPath(dir / "CompassLog01.dta", false));
    EXPECT_EQ(log.Bump(), LogFile::BumpResult::NeedsDialog);
    EXPECT_FALSE(log.Logging());
    EXPECT_EQ(log.FileName(), "CompassLog01A.dta"); // what the dialog then offers
    EXPECT_EQ(ReadFile(dir / "CompassLog01A.dta"), "keep");

    ASSERT_TRUE(log.OpenPath(dir / ".dta", false));
    EXPECT_EQ(log.Bump(), LogFile::BumpResult::Stopped);
    EXPECT_FALSE(log.Logging());
    EXPECT_EQ(log.FileName(), ".dta");
    EXPECT_EQ(log.Bump(), LogFile::BumpResult::Stopped);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 3);
}

TEST_F(LogFileTest, AFolderWithoutWritePermissionRefusesNewFilesOnly)
{
    const FolderWithoutWritePermission locked(dir.path, "locked");
    ASSERT_TRUE(WriteFile(locked / "CompassLog01.dta", "old\r\n"));
    ::chmod((locked / "CompassLog01.dta").c_str(), 0666);
    ASSERT_TRUE(locked.Lock());
    {
        const Unprivileged user;
        if (!Unprivileged::Effective()) GTEST_SKIP() << "cannot act as an unprivileged user";
        EXPECT_FALSE(log.OpenPath(locked / "new.dta", false));
        EXPECT_FALSE(log.Logging());
        ASSERT_TRUE(log.OpenPath(locked / "CompassLog01.dta", true)); // an existing file still takes records
        log.WriteRecord();
        EXPECT_EQ(log.Bump(), LogFile::BumpResult::NeedsDialog);
        EXPECT_FALSE(log.Logging());
    }
    EXPECT_EQ(ReadFile(locked / "CompassLog01.dta"), std::string("old\r\n\r\n") + kSection + kHeader + kZeroRecord);
    EXPECT_FALSE(fs::exists(locked / "new.dta"));
    EXPECT_FALSE(fs::exists(locked / "CompassLog01A.dta"));
}

// The descriptor the log writes through, found by what it names.
int DescriptorOf(const std::string& target)
{
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == target) return std::stoi(entry.path().filename().string());
    }
    return -1;
}

TEST_F(LogFileTest, AFullDeviceShowsInThePaneUntilAWriteSucceeds)
{
    ASSERT_TRUE(log.OpenPath("/dev/full", false));
    EXPECT_TRUE(log.WriteFailing());
    EXPECT_FALSE(log.WriteLine("lost"));
    log.WriteRecord();
    EXPECT_TRUE(log.Logging());
    EXPECT_THAT(panes, ElementsAre(" Logging to full", " Log write failed: full"));

    // Room again: the same stream now reaches a file.
    const int fd = DescriptorOf("/dev/full");
    const int file = ::open((dir / "room.dta").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_TRUE(fd >= 0 && file >= 0);
    ASSERT_EQ(::dup2(file, fd), fd);
    ::close(file);
    EXPECT_TRUE(log.WriteLine("kept"));
    EXPECT_FALSE(log.WriteFailing());
    EXPECT_EQ(panes.back(), " Logging to full");
    EXPECT_EQ(ReadFile(dir / "room.dta"), "kept\r\n");
}

TEST_F(LogFileTest, TheFailurePaneShowsTheFirst20Characters)
{
    ASSERT_TRUE(log.OpenPath(dir / "ABCDEFGHIJKLMNOPQRSTUVWXYZ.dta", false));
    const int fd = DescriptorOf(dir / "ABCDEFGHIJKLMNOPQRSTUVWXYZ.dta");
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_TRUE(fd >= 0 && full >= 0);
    ASSERT_EQ(::dup2(full, fd), fd);
    ::close(full);
    EXPECT_FALSE(log.WriteLine("x"));
    EXPECT_EQ(panes.back(), " Log write failed: ABCDEFGHIJKLMNOPQRST");
}

// The dialog hands over any name the folder takes: it is opened as it
// stands, and the pane shows its first 20 characters, never part of one.
TEST_F(LogFileTest, NamesOfAnyCharactersOpenAsTheyAre)
{
    const struct {
        const char *fault, *name, *pane;
    } cases[] = {
        {"two-byte characters", "\u03A9\u03BC\u03AD\u03B3\u03B1-\u0394\u03BF\u03BA\u03B9\u03BC\u03AE-"
                                "\u03A0\u03C5\u03BE\u03AF\u03B4\u03B1.dta",
         " Logging to \u03A9\u03BC\u03AD\u03B3\u03B1-\u0394\u03BF\u03BA\u03B9\u03BC\u03AE-"
         "\u03A0\u03C5\u03BE\u03AF\u03B4\u03B1."},
        {"three-byte characters", "\u7F57\u76D8\u8BB0\u5F55\u7F57\u76D8\u8BB0\u5F55\u7F57\u76D8\u8BB0"
                                  "\u5F55\u7F57\u76D8\u8BB0\u5F55\u7F57\u76D8\u8BB0\u5F55\u7F57.dta",
         " Logging to \u7F57\u76D8\u8BB0\u5F55\u7F57\u76D8\u8BB0\u5F55\u7F57\u76D8\u8BB0\u5F55\u7F57"
         "\u76D8\u8BB0\u5F55\u7F57\u76D8\u8BB0\u5F55"},
        {"control characters", "a\x01\x1b\tb.dta", " Logging to a\x01\x1b\tb.dta"},
        {"markup", "<b>x&amp;.dta", " Logging to <b>x&amp;.dta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_TRUE(log.OpenPath(dir / c.name, false));
        log.WriteRecord();
        EXPECT_EQ(panes.back(), c.pane);
        EXPECT_EQ(ReadFile(dir / c.name), std::string(kSection) + kHeader + kZeroRecord);
        log.Close();
    }
}

} // namespace
} // namespace tolvane
