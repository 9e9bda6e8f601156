// What goes on the simulated line: its pace, the faults injected into it,
// and the command line that configures them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "faults.h"
#include "link/framing.h"
#include "paced_line.h"
#include "send_times.h"
#include "sim_options.h"

namespace tolvane::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kByteNs9600 = 1'041'666;

Bytes Taken(PacedLine& line, std::int64_t nowNs)
{
    Bytes out;
    line.TakeDue(nowNs, out);
    return out;
}

TEST(PacedLine, BytesArriveOneByteTimeApart)
{
    PacedLine line(9600);
    EXPECT_EQ(line.ByteNs(), kByteNs9600);
    const std::int64_t t = 5'000'000;
    line.Enqueue({1, 2, 3}, t);
    line.Enqueue({4}, t + 500'000); // queued behind, not timed afresh
    for (std::int64_t k = 1; k <= 4; ++k) {
        EXPECT_TRUE(Taken(line, t + k * kByteNs9600 - 1).empty()) << k;
        EXPECT_EQ(line.NextByteNs(), t + k * kByteNs9600);
        EXPECT_EQ(Taken(line, t + k * kByteNs9600), Bytes{static_cast<std::uint8_t>(k)});
    }
    EXPECT_TRUE(line.Idle());
    EXPECT_EQ(line.NextByteNs(), -1);

    // A late reader gets everything due at once.
    line.Enqueue(Bytes(10, 7), 100'000'000);
    EXPECT_EQ(Taken(line, 100'000'000 + 6 * kByteNs9600).size(), 6u);
}

TEST(PacedLine, AnIdleLineGainsNoCredit)
{
    PacedLine line(38400);
    line.Enqueue({1}, 0);
    EXPECT_EQ(Taken(line, 1'000'000'000).size(), 1u);
    line.Enqueue({2, 3}, 2'000'000'000);
    EXPECT_TRUE(Taken(line, 2'000'000'000 + line.ByteNs() - 1).empty());
    EXPECT_EQ(Taken(line, 2'000'000'000 + 2 * line.ByteNs()).size(), 2u);
}

Outgoing Frame(std::uint8_t type, Bytes payload) { return {type, std::move(payload), false}; }

Bytes Clean(const Outgoing& o)
{
    Bytes out(o.payload.size() + kFrameOverhead);
    EncodeBinaryFrame(o.type, o.payload.data(), o.payload.size(), out.data());
    return out;
}

TEST(Faults, CorruptionFlipsOneByteAndTheFrameIsNotDelivered)
{
    SimOptions o;
    o.corrupt = 1.0;
    Faults faults(o);
    for (int i = 0; i < 300; ++i) {
        const Outgoing message = Frame(0x70, {static_cast<std::uint8_t>(i), 2, 3, 4, 5, 6});
        const Bytes clean = Clean(message), sent = faults.Encode(message);
        ASSERT_EQ(sent.size(), clean.size());
        std::vector<std::size_t> flipped;
        for (std::size_t k = 0; k < sent.size(); ++k)
            if (sent[k] != clean[k]) flipped.push_back(k);
        ASSERT_EQ(flipped.size(), 1u);

        BinaryReceiver receiver;
        for (std::uint8_t b : sent) {
            if (!receiver.Feed(b, 0)) continue;
            // A shortened length can leave a checksum that holds by chance,
            // but never the frame as sent.
            EXPECT_EQ(flipped[0], 4u) << "frame " << i;
            EXPECT_NE(receiver.Message().length, 6);
        }
    }
}

TEST(Faults, NoiseGoesBetweenFramesWhichStillDecode)
{
    SimOptions o;
    o.noise = 1.0;
    Faults faults(o);
    Bytes stream;
    for (int i = 0; i < 200; ++i) {
        const Outgoing message = Frame(0x70, {static_cast<std::uint8_t>(i), 0, 0, 0, 0, 0});
        const Bytes sent = faults.Encode(message), clean = Clean(message);
        ASSERT_GT(sent.size(), clean.size());
        EXPECT_TRUE(std::equal(clean.begin(), clean.end(), sent.end() - static_cast<long>(clean.size())));
        stream.insert(stream.end(), sent.begin(), sent.end());
    }
    std::vector<int> seen;
    StreamDecoder decoder;
    decoder.Feed(stream.data(), stream.size(), 0, [&](const DeviceMessage& m) {
        if (m.type == 0x70) seen.push_back(m.payload[0]);
    });
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Faults, GarbleChangesEveryByte)
{
    const SimOptions none;
    Faults faults(none);
    Bytes bytes(4096);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    Bytes garbled = bytes;
    faults.Garble(garbled.data(), garbled.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_NE(garbled[i], bytes[i]) << i;
    // Without faults asked for, a frame goes out as encoded.
    const Outgoing message = Frame(0xC3, Bytes(12, 9));
    EXPECT_EQ(faults.Encode(message), Clean(message));
}

TEST(SendTimes, AMessageIsTimedWhenItsLastByteIsWritten)
{
    const std::string path = ::testing::TempDir() + "send_times.txt";
    {
        SendTimes times;
        std::string error;
        ASSERT_TRUE(times.Open(path, error)) << error;
        const Outgoing first{0x70, {0, 0, 0, 0, 0x34, 0x12}, false};
        const Outgoing sentence{0, Bytes{'$', 'H'}, true};
        const Outgoing second{0x70, {0, 0, 0, 0, 0x35, 0x12}, false};
        const Outgoing unheard{0x70, {0, 0, 0, 0, 0x36, 0x12}, false};
        times.Queued(first, 11);
        times.Queued(sentence, 20);
        times.Queued(second, 11);
        times.Queued(unheard, 11);
        times.Left(10, 100, true);  // one byte of the first still to go
        times.Left(1, 200, true);   // the first is out
        times.Left(31, 300, true);  // the sentence and the second
        times.Left(11, 400, false); // nobody listening: not sent
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "200 4660\n300 4661\n");
    std::remove(path.c_str());
}

TEST(Options, GoodAndBadCommandLines)
{
    std::string error;
    const auto o = ParseOptions({"--baud", "19200", "--options", "AI", "--axes", "-3,1", "--version", "2.05",
                                 "--silent-for", "0x50,84", "--test-result", "1f", "--corrupt", "0.25"},
                                error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->baud, 19200);
    EXPECT_EQ(o->optionBits, 0x0101);
    EXPECT_EQ(std::make_pair(o->upAxis, o->forwardAxis), std::make_pair(-3, 1));
    EXPECT_EQ(std::make_pair(o->versionMajor, o->versionMinor), std::make_pair(2, 5));
    EXPECT_EQ(o->silentFor, (std::set<std::uint8_t>{0x50, 0x54}));
    EXPECT_EQ(o->testResult, 0x1F);
    EXPECT_DOUBLE_EQ(o->corrupt, 0.25);
    EXPECT_EQ(ParseOptions({"--options", "P"}, error)->optionBits, 0x8000);

    const std::vector<std::vector<std::string>> bad{
        {"--baud", "9601"}, {"--baud", "fast"},    {"--baud"},           {"--axes", "0,1"},
        {"--axes", "4,1"},  {"--axes", "3"},       {"--options", "AQ"},  {"--version", "1"},
        {"--corrupt", "2"}, {"--noise", "-0.1"},   {"--silent-for", "0x50,"}, {"--test-result", "10000"},
        {"--unplug-after", "0"}, {"--position", "91,0"}, {"--frobnicate"}, {"--flash"},
        // NaN slips past checks that refuse below or above a range; infinity past open-ended ones.
        {"--nmea", "nan"}, {"--gps", "-nan"}, {"--position", "nan,0"}, {"--position", "0,NAN"},
        {"--unplug-after", "nan"}, {"--unplug-after", "inf"}, {"--speed", "nan"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(ParseOptions(args, error)) << args[0];
        EXPECT_NE(error.find(args[0]), std::string::npos) << error;
    }
}

} // namespace
} // namespace tolvane::sim
