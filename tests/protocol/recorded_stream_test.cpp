// A recorded stream of a noisy line against the messages and lines it must
// yield. `make regen` rewrites the expected file when a change is meant.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "link/framing.h"
#include "protocol/message_catalogue.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

const std::string kDataDir = TOLVANE_TEST_DATA;

// One line per delivered message: type, length, payload in hex, then the
// rendered mnemonic and text, or a dash for a type that is not shown.
std::string DecodeAll(const test::Bytes& stream, std::size_t split)
{
    StreamDecoder decoder;
    std::string out;
    auto deliver = [&](const DeviceMessage& m) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02X %2u ", m.type, m.length);
        out += hex;
        for (std::size_t i = 0; i < m.length; ++i) {
            std::snprintf(hex, sizeof hex, "%02X", m.payload[i]);
            out += hex;
        }
        StatusLine line;
        out += RenderMessage(m, line) ? std::string("\n   ") + line.mnemonic + " | " + line.text + "\n" : "\n   -\n";
    };
    decoder.Feed(stream.data(), split, 0, deliver);
    decoder.Feed(stream.data() + split, stream.size() - split, 0, deliver);
    return out;
}

TEST(RecordedStream, MixedStreamYieldsTheExpectedMessagesAtEverySplit)
{
    const auto stream = test::ReadBytes(kDataDir + "/mixed_stream.bin");
    ASSERT_FALSE(stream.empty());
    const std::string got = DecodeAll(stream, stream.size());
    const std::string expectedPath = kDataDir + "/mixed_stream.expected";
    if (std::getenv("TOLVANE_REGEN")) {
        std::ofstream(expectedPath, std::ios::binary) << got;
        GTEST_SKIP() << "rewrote " << expectedPath;
    }
    EXPECT_EQ(got, test::S(test::ReadBytes(expectedPath)));
    for (std::size_t split = 0; split < stream.size(); ++split) ASSERT_EQ(DecodeAll(stream, split), got) << split;
}

} // namespace
} // namespace tolvane
