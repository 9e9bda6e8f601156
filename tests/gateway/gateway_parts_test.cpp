// The gateway's status lines, its recordings' names and its event loop.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "gateway/event_loop.h"
#include "gateway/recording_names.h"
#include "gateway/status_line.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

TEST(StatusLine, KeysInOrderNullsUntilKnown)
{
    ModuleIdentity identity;
    identity.versionMajor = 1, identity.versionMinor = 4, identity.serialNumber = 24601;
    GatewayModuleStatus status{"bow", ModuleState::Open, "/dev/ttyUSB0", &identity, 12345, 9.96, 2, 1, 3,
                        "/l/b.log", "/c/b.tcap"};
    EXPECT_EQ(ModuleStatusLine(status),
              R"({"module":"bow","state":"open","port":"/dev/ttyUSB0","serial":24601,"version":"1.04",)"
              R"("messages":12345,"rate":10.0,"dropped":2,"checksum_errors":1,"clients":3,"log":"/l/b.log",)"
              R"("capture":"/c/b.tcap"})" "\n");
    status = {"24601", ModuleState::Lost, "tcp://pi:2000", nullptr, 0, 0.04, 0, 0, 0, "", "", 7};
    EXPECT_EQ(ModuleStatusLine(status),
              R"({"module":"24601","state":"lost","port":"tcp://pi:2000","serial":null,"version":null,)"
              R"("messages":0,"rate":0.0,"dropped":0,"checksum_errors":0,"clients":0,"log":null,"capture":null,)"
              R"("mqtt_dropped":7})" "\n");
    EXPECT_EQ(std::string(StateName(ModuleState::Opening)) + StateName(ModuleState::Closed), "openingclosed");
}

// Escapes, and UTF-8 kept where it is valid: each bad byte of a sequence
// is one U+FFFD, beside near misses that are valid.
TEST(StatusLine, JsonStrings)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a\"b\\c/d", R"("a\"b\\c/d")"},
        {std::string("\n\r\t\b\f\x01\x1f\x7f ", 9), R"("\n\r\t\b\f\u0001\u001f)" "\x7f" R"( ")"},
        {std::string("\0", 1), R"("\u0000")"},
        {"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xE0\xA0\x80",
         "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xE0\xA0\x80\""},
        {"\xFF", R"("\ufffd")"}, {"\xC3", R"("\ufffd")"}, {"\xC3" "a", R"("\ufffda")"},
        {"\xC0\x80", R"("\ufffd\ufffd")"}, {"\xE0\x9F\xBF", R"("\ufffd\ufffd\ufffd")"},
        {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"}, {"\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
    };
    for (const auto& [text, json] : cases) {
        std::string out;
        AppendJsonString(text, out);
        EXPECT_EQ(out, json);
    }
}

// A name that exists moves the pair to the next stem free in both folders;
// a folder not given gets no file; a failure leaves nothing behind.
TEST(RecordingNames, NeverOverAFile)
{
    std::tm start{};
    start.tm_year = 126, start.tm_mon = 11, start.tm_mday = 7, start.tm_hour = 3, start.tm_min = 5, start.tm_sec = 9;
    const std::string stem = RecordingStem(ModuleName("", 24601), start);
    EXPECT_EQ(stem, "24601-20261207-030509");
    EXPECT_EQ(ModuleName("bow", 24601), "bow");

    const test::TempDir logs, captures;
    const std::string l = logs.path.string(), c = captures.path.string() + "/";
    RecordingPaths paths;
    std::string error;
    ASSERT_TRUE(CreateRecordingFiles(l, c, "bow", paths, error)) << error;
    EXPECT_EQ(paths.log, l + "/bow.log");
    EXPECT_EQ(paths.capture, c + "bow.tcap");
    ASSERT_TRUE(CreateRecordingFiles(l, c, "bow", paths, error));
    EXPECT_EQ(paths.log, l + "/bow-2.log");
    EXPECT_EQ(paths.capture, c + "bow-2.tcap");
    ::close(::creat((c + "bow-3.tcap").c_str(), 0666));
    ASSERT_TRUE(CreateRecordingFiles(l, c, "bow", paths, error));
    EXPECT_EQ(paths.log, l + "/bow-4.log");
    EXPECT_EQ(paths.capture, c + "bow-4.tcap");
    ASSERT_TRUE(CreateRecordingFiles("", c, "bow", paths, error));
    EXPECT_EQ(paths.log, "");
    EXPECT_EQ(paths.capture, c + "bow-5.tcap");

    EXPECT_FALSE(CreateRecordingFiles(l, c + "gone", "mast", paths, error));
    EXPECT_EQ(error, "cannot create " + c + "gone/mast.tcap: No such file or directory");
    EXPECT_EQ(::access((l + "/mast.log").c_str(), F_OK), -1);
}

// Timers run by time, ties in the order set; a cancelled one never runs; a
// timer set by a running one waits for the next pass; a repeating timer
// late by more than its period runs once.
TEST(EventLoop, TimerOrderOnAnInjectedClock)
{
    std::int64_t now = 0;
    EventLoop loop([&] { return now; });
    std::string ran;
    const auto note = [&](const char* name) { return [&ran, name] { ran += name; }; };
    for (const auto& [due, name] : {std::pair{30, "a"}, {10, "b"}, {20, "c"}, {10, "d"}}) loop.At(due, note(name));
    loop.Every(15, note("e"));
    loop.Cancel(loop.At(25, note("x")));
    EventLoop::TimerId late = 0;
    loop.At(19, [&] { loop.Cancel(late); ran += "f"; loop.At(0, note("g")); });
    late = loop.At(20, note("y"));
    for (std::int64_t t : {9, 10, 35, 35, 49, 50}) {
        now = t;
        loop.RunOnce(0);
        ran += "|";
    }
    EXPECT_EQ(ran, "|bd|efca|g||e|");
}

// SIGHUP reopens and the loop goes on; SIGTERM ends it with its number;
// wakes from another thread run the wake task on the loop's thread, once
// for those before a pass.
TEST(EventLoop, SignalsAndWakes)
{
    EventLoop loop;
    int reopened = 0, woken = 0;
    std::string error;
    ASSERT_TRUE(loop.WatchSignals([&] { ++reopened; }, error)) << error;
    ASSERT_TRUE(loop.SetWakeTask([&] { ++woken; }, error)) << error;
    ::kill(::getpid(), SIGHUP);
    loop.RunOnce(10000);
    EXPECT_EQ(reopened, 1);
    std::thread([&] { loop.Wake(); loop.Wake(); }).join();
    loop.RunOnce(10000);
    EXPECT_EQ(woken, 1);
    // A wake after the task has run is a new one.
    std::thread([&] { loop.Wake(); }).join();
    loop.RunOnce(10000);
    EXPECT_EQ(woken, 2);
    ::kill(::getpid(), SIGTERM);
    EXPECT_EQ(loop.Run(), SIGTERM);
    EXPECT_EQ(reopened, 1);
}

} // namespace
} // namespace tolvane
