// A recorded stream of a noisy line against the messages and lines it must
// yield. `make regen` rewrites the expected file when a change is meant.
#include "link/framing.h"
#include "protocol/message_catalogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

const std::string kDataDir = TOLVANE_TEST_DATA;

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One line per delivered message: type, length, payload in hex, then the
// rendered mnemonic and text, or a dash for a type that is not shown.
std::string Describe(const DeviceMessage& m)
{
    std::string out;
    char head[32];
    std::snprintf(head, sizeof head, "%02X %2u ", m.type, m.length);
    out += head;
    for (std::size_t i = 0; i < m.length; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", m.payload[i]);
        out += hex;
    }
    StatusLine line;
    if (RenderMessage(m, line))
        out += std::string("\n   ") + line.mnemonic + " | " + line.text;
    else
        out += "\n   -";
    return out + "\n";
}

std::string DecodeAll(const std::vector<std::uint8_t>& stream, std::size_t split)
{
    StreamDecoder decoder;
    std::string out;
    auto deliver = [&](const DeviceMessage& m) { out += Describe(m); };
    decoder.Feed(stream.data(), split, 0, deliver);
    decoder.Feed(stream.data() + split, stream.size() - split, 0, deliver);
    return out;
}

TEST(RecordedStream, MixedStreamYieldsTheExpectedMessages)
{
    const auto stream = ReadFile(kDataDir + "/mixed_stream.bin");
    ASSERT_FALSE(stream.empty());
    const std::string got = DecodeAll(stream, stream.size());
    const std::string expectedPath = kDataDir + "/mixed_stream.expected";

    if (std::getenv("TOLVANE_REGEN")) {
        std::ofstream(expectedPath, std::ios::binary) << got;
        GTEST_SKIP() << "rewrote " << expectedPath;
    }
    const auto expected = ReadFile(expectedPath);
    EXPECT_EQ(got, std::string(expected.begin(), expected.end()));

    for (std::size_t split = 0; split < stream.size(); ++split)
        ASSERT_EQ(DecodeAll(stream, split), got) << "split at " << split;
}

} // namespace
} // namespace tolvane
