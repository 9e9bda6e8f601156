// Throughput of the receive path: about 50 MB of a mixed stream (binary
// frames of every catalogue type, NMEA sentences, garbage) through both
// receivers, every delivered message rendered. Prints its figures.
#include "link/framing.h"
#include "protocol/message_catalogue.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace tolvane;

namespace {

std::vector<std::uint8_t> MakeBlock()
{
    std::mt19937 rng(7);
    std::vector<std::uint8_t> block;
    auto append = [&](const std::uint8_t* p, std::size_t n) { block.insert(block.end(), p, p + n); };
    const char* sentences[] = {"HCHDT,123.4,T", "HCHDG,101.1,,,7.1,W", "PTNTHPR,85.9,N,-0.9,N,0.8,N",
                               "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"};
    while (block.size() < (1u << 20)) {
        for (const auto& f : kMessageFormatters) {
            if (f.type == kNmeaType) {
                const char* text = sentences[rng() % 4];
                unsigned x = 0;
                for (const char* c = text; *c; ++c) x ^= static_cast<unsigned char>(*c);
                char sentence[128];
                const int n = std::snprintf(sentence, sizeof sentence, "$%s*%02X\r\n", text, x);
                append(reinterpret_cast<const std::uint8_t*>(sentence), static_cast<std::size_t>(n));
                continue;
            }
            std::uint8_t payload[kMaxSentPayload];
            const std::size_t length = f.type == 0x70 ? 6 : rng() % 43;
            for (std::size_t i = 0; i < length; ++i) payload[i] = static_cast<std::uint8_t>(rng());
            std::uint8_t frame[kMaxSentFrame];
            append(frame, EncodeBinaryFrame(static_cast<std::uint8_t>(f.type), payload, length, frame));
            for (unsigned g = rng() % 4; g > 0; --g) block.push_back(static_cast<std::uint8_t>(rng()));
        }
    }
    return block;
}

} // namespace

int main()
{
    const std::vector<std::uint8_t> block = MakeBlock();
    const std::size_t repeats = (50u << 20) / block.size();
    const double bytes = static_cast<double>(block.size() * repeats);

    StreamDecoder decoder;
    std::size_t messages = 0;
    std::size_t rendered = 0;
    unsigned checksum = 0;
    StatusLine line;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t r = 0; r < repeats; ++r) {
        decoder.Feed(block.data(), block.size(), 0, [&](const DeviceMessage& m) {
            ++messages;
            if (RenderMessage(m, line)) {
                ++rendered;
                checksum += static_cast<unsigned char>(line.text[0]);
            }
        });
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const double lineRate = 38400.0 / 10.0; // bytes per second at 38400 baud, 8N1
    std::printf("stream: %.1f MB, %zu messages (%zu rendered), check %u\n", bytes / 1e6, messages, rendered, checksum);
    std::printf("receivers + rendering: %.1f MB/s, %.2f ns/byte, %.0f ns/message\n", bytes / seconds / 1e6,
                seconds * 1e9 / bytes, seconds * 1e9 / static_cast<double>(messages));
    std::printf("that is %.0f times the 38400-baud line rate\n", bytes / seconds / lineRate);
    return 0;
}
