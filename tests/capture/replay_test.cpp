// tolvane-sim --replay: when each chunk of a capture comes due. The whole
// way, capture to replay into the program, is an end-to-end test.
#include "replay.h"

#include <gtest/gtest.h>

#include "support/test_data.h"

namespace tolvane {
namespace {

using namespace test;

TEST(Replay, ChunksComeDueAtTheirTimeScaledBySpeed)
{
    const std::vector<sim::ReplayChunk> chunks = {{0, {1}}, {100, {2, 3}}, {250, {4}}};
    const std::tuple<double, std::int64_t, Bytes> table[] = { // speed, ns after the start, bytes due by then
        {1, 0, {1}},         {1, 99'999'999, {1}},  {1, 100'000'000, {1, 2, 3}}, {1, 250'000'000, {1, 2, 3, 4}},
        {2, 49'999'999, {1}}, {2, 50'000'000, {1, 2, 3}}, {2, 125'000'000, {1, 2, 3, 4}},
        {0.5, 499'999'999, {1, 2, 3}}, {0.5, 500'000'000, {1, 2, 3, 4}},
    };
    constexpr std::int64_t kStart = 7'000'000'000;
    for (const auto& [speed, atNs, due] : table) {
        sim::Replay replay(chunks, speed);
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

} // namespace
} // namespace tolvane
