// Throughput of the receive path: about 50 MB of a mixed stream through
// both receivers, every delivered message rendered. Prints its figures.
//
// The stream is shaped like a busy compass's output, one block per second
// of line time: 50 orientation frames (one in five with the extra values),
// 10 NMEA sentences with line ends, a GPS fix, a status message, a frame
// with a bad checksum and a few garbage bytes; every tenth block also
// carries one message of each other type in the catalogue, taken from the
// recorded stream under tests/data.
#include "link/framing.h"
#include "protocol/angles.h"
#include "protocol/message_catalogue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace tolvane;

namespace {

using Bytes = std::vector<std::uint8_t>;

void AppendFrame(Bytes& out, const DeviceMessage& m)
{
    std::uint8_t frame[kMaxReceivedPayload + kFrameOverhead];
    const auto type = static_cast<std::uint8_t>(m.type);
    out.insert(out.end(), frame, frame + EncodeBinaryFrame(type, m.payload, m.length, frame));
}

// Two random bytes below 32, the low one drawn first.
std::int16_t SmallValue(std::mt19937& rng)
{
    const auto low = rng() % 32;
    return static_cast<std::int16_t>(low | (rng() % 32) << 8);
}

void AppendSentence(Bytes& out, const char* text)
{
    unsigned x = 0;
    for (const char* c = text; *c; ++c) x ^= static_cast<unsigned char>(*c);
    char sentence[128];
    const int n = std::snprintf(sentence, sizeof sentence, "$%s*%02X\r\n", text, x);
    out.insert(out.end(), sentence, sentence + n);
}

// One message of each catalogue type, as recorded.
std::map<std::uint16_t, DeviceMessage> RecordedSamples()
{
    std::ifstream in(std::string(TOLVANE_TEST_DATA) + "/mixed_stream.bin", std::ios::binary);
    const Bytes recorded{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::map<std::uint16_t, DeviceMessage> samples;
    StreamDecoder decoder;
    decoder.Feed(recorded.data(), recorded.size(), 0, [&](const DeviceMessage& m) {
        if (FindFormatter(m.type) && m.type != kNmeaType) samples.emplace(m.type, m);
    });
    return samples;
}

Bytes MakeStream(std::size_t target)
{
    const auto samples = RecordedSamples();
    std::mt19937 rng(7);
    Bytes out;
    out.reserve(target + 4096);
    double t = 0;
    for (unsigned block = 0; out.size() < target; ++block) {
        for (int i = 0; i < 50; ++i, t += 0.02) {
            Orientation o;
            o.roll = static_cast<std::int16_t>(NearestCounts(4 * std::sin(t)));
            o.pitch = static_cast<std::int16_t>(NearestCounts(3 * std::cos(0.7 * t)));
            o.azimuth = NearestCounts(std::fmod(10 * t, 360.0) - 180);
            // Drawn for every message, sent with one in five.
            for (std::int16_t& v : o.rfuAcc) v = SmallValue(rng);
            for (std::int16_t& v : o.rfuMag) v = SmallValue(rng);
            o.hasRfu = i % 5 == 0;
            AppendFrame(out, EncodeAs<DeviceMessage>(o));
        }
        char text[96];
        for (int i = 0; i < 10; ++i) {
            const double heading = std::fmod(10 * t + i, 360.0);
            switch (i % 3) {
            case 0: std::snprintf(text, sizeof text, "HCHDT,%.1f,T", heading); break;
            case 1: std::snprintf(text, sizeof text, "HCHDG,%.1f,,,7.1,W", heading); break;
            default:
                std::snprintf(text, sizeof text, "PTNTHPR,%.1f,N,%.1f,N,%.1f,N", heading, 4 * std::sin(t),
                              3 * std::cos(t));
            }
            AppendSentence(out, text);
        }
        for (const MessageType type : {MessageType::Fix, MessageType::GpsFix, MessageType::Status})
            AppendFrame(out, samples.at(TypeByte(type)));
        if (block % 10 == 0)
            for (const auto& [type, m] : samples) AppendFrame(out, m);
        Bytes bad;
        DeviceMessage orientation = samples.at(TypeByte(MessageType::Orientation));
        orientation.length = 6;
        AppendFrame(bad, orientation);
        bad.back() ^= 1;
        out.insert(out.end(), bad.begin(), bad.end());
        for (int i = 0; i < 16; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
    }
    return out;
}

struct Run {
    double seconds;
    std::size_t messages;
    std::size_t rendered;
    unsigned check;
};

Run Measure(const Bytes& stream, bool render)
{
    StreamDecoder decoder;
    StatusLine line;
    Run run{0, 0, 0, 0};
    const auto start = std::chrono::steady_clock::now();
    decoder.Feed(stream.data(), stream.size(), 0, [&](const DeviceMessage& m) {
        ++run.messages;
        if (render && RenderMessage(m, line)) {
            ++run.rendered;
            run.check += static_cast<unsigned char>(line.text[0]);
        }
    });
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

} // namespace

int main()
{
    const Bytes stream = MakeStream(50u << 20);
    const double bytes = static_cast<double>(stream.size());
    const double lineRate = 38400.0 / 10.0; // bytes per second at 38400 baud, 8N1

    // Five passes each; the best shows what the code can do, the median
    // what a busy machine let it do.
    constexpr int kPasses = 5;
    std::vector<Run> receive, full;
    for (int i = 0; i < kPasses; ++i) {
        receive.push_back(Measure(stream, false));
        full.push_back(Measure(stream, true));
    }
    auto bySeconds = [](const Run& a, const Run& b) { return a.seconds < b.seconds; };
    std::sort(receive.begin(), receive.end(), bySeconds);
    std::sort(full.begin(), full.end(), bySeconds);
    const Run& f = full.front();
    std::printf("stream: %.1f MB, %zu messages (%zu rendered), check %u\n", bytes / 1e6, f.messages, f.rendered,
                f.check);
    auto report = [&](const char* what, const Run& best, const Run& median) {
        std::printf("%-22s best %6.1f MB/s %5.2f ns/byte %4.0f ns/message   median %6.1f MB/s\n", what,
                    bytes / best.seconds / 1e6, best.seconds * 1e9 / bytes,
                    best.seconds * 1e9 / static_cast<double>(best.messages), bytes / median.seconds / 1e6);
    };
    report("receivers alone:", receive.front(), receive[kPasses / 2]);
    report("receivers + rendering:", f, full[kPasses / 2]);
    std::printf("best is %.0f times the 38400-baud line rate\n", bytes / f.seconds / lineRate);
    return 0;
}
