// What goes on the simulated line: its pace, the faults injected into it,
// the send times, the command line that configures them, and how the
// real tolvane-sim program starts and ends. Driving it through the link is
// the end-to-end tests' part.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/capture_format.h"
#include "faults.h"
#include "link/framing.h"
#include "paced_line.h"
#include "replay.h"
#include "send_times.h"
#include "sim_options.h"
#include "support/golden.h"
#include "support/sim_process.h"
#include "support/test_data.h"

namespace tolvane::sim {
namespace {

using test::Bytes;

Bytes Taken(PacedLine& line, std::int64_t nowNs)
{
    Bytes out;
    line.TakeDue(nowNs, out);
    return out;
}

TEST(PacedLine, BytesArriveOneByteTimeApartAndAnIdleLineGainsNoCredit)
{
    constexpr std::int64_t kByteNs = 1'041'666, t = 5'000'000; // at 9600 baud
    PacedLine line(9600);
    line.Enqueue({1, 2, 3}, t);
    line.Enqueue({4}, t + 500'000); // queued behind, not timed afresh
    for (std::int64_t k = 1; k <= 4; ++k) {
        EXPECT_TRUE(Taken(line, t + k * kByteNs - 1).empty()) << k;
        EXPECT_EQ(line.NextByteNs(), t + k * kByteNs);
        EXPECT_EQ(Taken(line, t + k * kByteNs), Bytes{static_cast<std::uint8_t>(k)});
    }
    EXPECT_TRUE(line.Idle());
    EXPECT_EQ(line.NextByteNs(), -1);
    // Idle for a second: the next bytes still take their full time; a late reader gets all due at once.
    line.Enqueue(Bytes(10, 7), 1'000'000'000);
    EXPECT_TRUE(Taken(line, 1'000'000'000 + kByteNs - 1).empty());
    EXPECT_EQ(Taken(line, 1'000'000'000 + 6 * kByteNs).size(), 6u);
}

// tolvane-sim --replay: a capture file gives what the module sent (not
// what it was sent), in order, and then ends; each chunk comes due at its
// time, scaled by the speed.
TEST(Replay, ACaptureFilesChunksComeDueAtTheirTimeScaledBySpeed)
{
    const test::TempDir dir;
    const std::uint8_t first[] = {1}, request[] = {9}, second[] = {2, 3}, third[] = {4};
    std::ofstream(dir / "c.cap", std::ios::binary)
        << FormatHeader({.baud = 9600, .startTime = "", .device = ""})
        << FormatChunkLine(ChunkKind::Received, 0, first, 1) << FormatChunkLine(ChunkKind::Sent, 5, request, 1)
        << FormatChunkLine(ChunkKind::Received, 100, second, 2) << FormatChunkLine(ChunkKind::Received, 250, third, 1);
    Replay::Source source;
    std::string error;
    ASSERT_TRUE(OpenReplay(dir / "c.cap", source, error)) << error;
    std::vector<ReplayChunk> chunks(1);
    while (chunks.size() < 6 && source(chunks.back())) chunks.emplace_back();
    chunks.pop_back();
    ASSERT_EQ(chunks.size(), 3u); // and then the end
    const std::tuple<double, std::int64_t, Bytes> table[] = { // speed, ns after the start, bytes due by then
        {1, 0, {1}},         {1, 99'999'999, {1}},  {1, 100'000'000, {1, 2, 3}}, {1, 250'000'000, {1, 2, 3, 4}},
        {2, 49'999'999, {1}}, {2, 50'000'000, {1, 2, 3}}, {2, 125'000'000, {1, 2, 3, 4}},
        {0.5, 499'999'999, {1, 2, 3}}, {0.5, 500'000'000, {1, 2, 3, 4}},
    };
    constexpr std::int64_t kStart = 7'000'000'000;
    for (const auto& [speed, atNs, due] : table) {
        Replay replay(chunks, speed);
        Bytes out;
        replay.TakeDue(kStart + atNs, out); // nothing before the host connects
        EXPECT_EQ(replay.NextDueNs(), -1);
        replay.Start(kStart);
        replay.TakeDue(kStart + atNs, out);
        replay.TakeDue(kStart + atNs, out); // nothing twice
        EXPECT_EQ(out, due) << speed << " at " << atNs;
        EXPECT_EQ(replay.Done(), due.size() == 4u);
        const double nextMs = due.size() == 1 ? 100 : 250; // the next chunk's time, scaled
        EXPECT_EQ(replay.NextDueNs(), replay.Done() ? -1 : kStart + static_cast<std::int64_t>(nextMs * 1e6 / speed));
    }
}

Outgoing OrientationFrame(int i)
{
    return {TypeByte(MessageType::Orientation), {static_cast<std::uint8_t>(i), 2, 3, 4, 5, 6}, false};
}

// A corrupted frame has one byte changed and is never delivered as sent;
// noise goes before a frame, which still decodes; garbling changes every
// byte; without faults a sentence goes as it is.
TEST(Faults, CorruptionNoiseAndGarble)
{
    SimOptions corrupt, noisy, none;
    corrupt.corrupt = noisy.noise = 1.0;
    Faults corrupting(corrupt), noise(noisy);
    Bytes stream;
    for (int i = 0; i < 300; ++i) {
        const Bytes clean = test::Frame(OrientationFrame(i).type, OrientationFrame(i).payload);
        const Bytes sent = corrupting.Encode(OrientationFrame(i));
        ASSERT_EQ(sent.size(), clean.size());
        std::vector<std::size_t> flipped;
        for (std::size_t k = 0; k < sent.size(); ++k)
            if (sent[k] != clean[k]) flipped.push_back(k);
        ASSERT_EQ(flipped.size(), 1u) << i;
        // A shortened length can leave a checksum that holds by chance, but never the frame as sent.
        BinaryReceiver receiver;
        for (std::uint8_t b : sent)
            EXPECT_TRUE(!receiver.Feed(b, 0) || (flipped[0] == 4 && receiver.Message().length != 6)) << i;
        const Bytes noisySent = noise.Encode(OrientationFrame(i));
        ASSERT_GT(noisySent.size(), clean.size());
        EXPECT_TRUE(std::equal(clean.begin(), clean.end(), noisySent.end() - static_cast<long>(clean.size())));
        stream.insert(stream.end(), noisySent.begin(), noisySent.end());
    }
    int seen = 0;
    StreamDecoder().Feed(stream.data(), stream.size(), 0, [&](const DeviceMessage& m) {
        EXPECT_TRUE(m.type != 0x70 || m.payload[0] == static_cast<std::uint8_t>(seen++)) << seen;
    });
    EXPECT_EQ(seen, 300);
    Bytes garbled = stream;
    noise.Garble(garbled.data(), garbled.size());
    for (std::size_t k = 0; k < stream.size(); ++k) ASSERT_NE(garbled[k], stream[k]) << k;
    EXPECT_EQ(Faults(none).Encode({0x20, test::B("$A*41\r\n"), true}), test::B("$A*41\r\n"));
}

TEST(SendTimes, AMessageIsTimedWhenItsLastByteIsWritten)
{
    const test::TempDir dir;
    const std::string path = dir / "times";
    {
        SendTimes times;
        std::string error;
        ASSERT_TRUE(times.Open(path, error)) << error;
        times.Queued({TypeByte(MessageType::Orientation), {0, 0, 0, 0, 0x34, 0x12}, false}, 11);
        times.Queued({0, Bytes{'$', 'H'}, true}, 20);
        times.Queued({TypeByte(MessageType::Orientation), {0, 0, 0, 0, 0x35, 0x12}, false}, 11);
        times.Queued({TypeByte(MessageType::Orientation), {0, 0, 0, 0, 0x36, 0x12}, false}, 11);
        times.Left(10, 100, true);  // one byte of the first still to go
        times.Left(1, 200, true);   // the first is out
        times.Left(31, 300, true);  // the sentence and the second
        times.Left(11, 400, false); // nobody listening: not sent
    }
    EXPECT_EQ(test::S(test::ReadBytes(path)), "200 4660\n300 4661\n");
}

// Every field, so that a row shows which one an option set.
std::string Describe(const SimOptions& o)
{
    std::ostringstream s;
    s << " baud=" << o.baud << " ignore-speed=" << o.ignoreSpeed << " power-on-open=" << o.powerOnOpen
      << " link=" << o.link << " firmware=" << o.versionMajor
      << "." << o.versionMinor << " options=" << std::hex << o.optionBits << " test-result=" << o.testResult
      << " silent-for=";
    for (int type : o.silentFor) s << type << ",";
    s << std::dec << " serial=" << o.serial << " axes=" << o.upAxis << "," << o.forwardAxis << " flash=" << o.flashFile
      << " rfu=" << o.rfu << " nmea=" << o.nmeaHz << " gps=" << o.gpsHz << " position=" << o.latitude << ","
      << o.longitude << " silent=" << o.silent << " incompatible=" << o.incompatible << " flash-fail=" << o.flashFail
      << " corrupt=" << o.corrupt << " noise=" << o.noise << " burst=" << o.burst << " unplug-after=" << o.unplugAfter
      << " record=" << o.record << " send-times=" << o.sendTimes << " seed=" << o.seed << " replay=" << o.replay
      << " speed=" << o.speed << " help=" << o.help << " version=" << o.version << " ";
    return s.str();
}

// A command line written with spaces; '' is an empty argument.
std::vector<std::string> Args(const std::string& line)
{
    std::vector<std::string> args;
    std::istringstream in(line);
    for (std::string arg; in >> arg;) args.push_back(arg == "''" ? "" : arg);
    return args;
}

// sim_options.txt: each option with good values at the edges of its
// range and the fields it set (those unlike the defaults); near misses
// beside them, each refused with its message, which names the option.
// NaN slips past checks that refuse below or above a range, infinity past
// open-ended ones. Each option is listed in --help.
TEST(Options, GoodAndBadCommandLines)
{
    const char* good[] = {
        "--baud 4800", "--baud 9600", "--baud 19200", "--baud 38400", "--ignore-speed", "--power-on-open", "--link x",
        "--firmware 0.99", "--firmware 32767.0", "--options AP", "--serial -2147483648", "--serial 2147483647",
        "--axes -3,3", "--flash f",
        "--test-result ffff", "--rfu", "--nmea 50", "--gps 2.5", "--position -90,180", "--position 90,-180", "--silent",
        "--silent-for 0x50,84", "--silent-for 255", "--incompatible", "--flash-fail", "--corrupt 1", "--noise 0.5",
        "--burst", "--unplug-after 0.3", "--record r", "--send-times t", "--seed 4294967295", "--replay a.tcap",
        "--speed 0.01", "--speed 1000", "--help", "-h", "--version",
    };
    const char* bad[] = {
        "--baud 9601", "--baud fast", "--baud", "--link ''", "--firmware 32768.0", "--firmware 1.100",
        "--firmware -1.0", "--firmware 1.-1", "--firmware 1", "--version 1.04", "--options AQ", "--options @",
        "--serial 2147483648", "--axes 0,1", "--axes 4,1", "--axes 1,-4", "--axes 3", "--test-result 10000", "--flash",
        "--nmea 50.1", "--nmea nan", "--gps -nan", "--gps -1", "--position 91,0", "--position -91,0",
        "--position 0,181", "--position 0,-181", "--position nan,0", "--position 0,NAN", "--position 0",
        "--silent-for 0x50,", "--silent-for 256", "--corrupt 1.01", "--noise -0.1", "--unplug-after 0",
        "--unplug-after nan", "--unplug-after inf", "--record ''", "--send-times ''", "--seed 4294967296", "--seed -1",
        "--replay", "--replay ''", "--speed 0.0099", "--speed 1001", "--speed fast", "--speed nan", "--frobnicate",
    };
    const std::string help = HelpText(), defaults = Describe(SimOptions{});
    std::string made = "Command line -> the fields it set, or refused: the message\n", error;
    for (const char* line : good) {
        const auto parsed = ParseOptions(Args(line), error);
        ASSERT_TRUE(parsed) << error;
        std::istringstream fields(Describe(*parsed));
        std::string set;
        for (std::string field; fields >> field;)
            if (defaults.find(" " + field + " ") == std::string::npos) set += " " + field;
        made += line + std::string(" ->") + (set.empty() ? " the defaults" : set) + "\n";
        EXPECT_TRUE(Args(line)[0] == "-h" || help.find("  " + Args(line)[0] + " ") != std::string::npos) << line;
    }
    for (const char* line : bad) {
        EXPECT_FALSE(ParseOptions(Args(line), error)) << line;
        made += line + std::string(" -> refused: ") + error + "\n";
    }
    test::ExpectGolden("sim_options.txt", made);
}

// What it cannot start with ends it at once with status 2 (--help and
// --version: CommandLine in app_tests); the line it links starts at its
// rate; a stop removes the link it made, and ends a replay as well.
TEST(SimProcess, StartsAndEnds)
{
    const test::TempDir dir;
    std::ofstream(dir / "plain") << "x";
    std::ofstream(dir / "flash") << "colour=blue\n";
    const std::vector<std::string> bad[] = {
        {"--baud", "1"}, {"--replay", dir / "none.tcap"}, {"--record", dir / "no/r"}, {"--send-times", dir / "no/t"},
        {"--link", dir / "plain"}, {"--flash", dir / "flash"},
    };
    for (const auto& args : bad) EXPECT_EQ(SimProcess(TOLVANE_SIM_PATH, args).Stop(0), 2) << args[0];
    SimProcess sim(TOLVANE_SIM_PATH, {"--link", dir / "com1", "--baud", "4800"});
    EXPECT_EQ(std::filesystem::read_symlink(dir / "com1").string(), sim.Output());
    // A program that keeps the line's speed hears the simulator at its
    // rate, and orientation ten times a second without asking for it.
    termios line{};
    const int fd = ::open((dir / "com1").c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    EXPECT_TRUE(fd >= 0 && ::tcgetattr(fd, &line) == 0 && ::cfgetospeed(&line) == B4800);
    StreamDecoder decoder;
    int orientations = 0;
    EXPECT_TRUE(test::WaitFor([&] {
        std::uint8_t bytes[256];
        const ssize_t n = ::read(fd, bytes, sizeof bytes);
        if (n > 0) decoder.Feed(bytes, std::size_t(n), 0, [&](const DeviceMessage& m) {
            orientations += m.type == 0x70;
        });
        return orientations >= 20;
    }, std::chrono::seconds(10))) << orientations;
    ::close(fd);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "com1"));
    const std::uint8_t byte[] = {1};
    std::ofstream(dir / "c.tcap") << FormatHeader(CaptureHeader{}) << FormatChunkLine(ChunkKind::Received, 0, byte, 1);
    SimProcess replay(TOLVANE_SIM_PATH, {"--replay", dir / "c.tcap", "--link", dir / "com2"});
    EXPECT_FALSE(replay.Output().empty());
    EXPECT_EQ(replay.Stop(), 0) << "a replay waiting for its host, stopped";
}

} // namespace
} // namespace tolvane::sim
