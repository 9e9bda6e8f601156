// The health pane's states and the baud rate search, on a clock the test moves.
#include <gtest/gtest.h>

#include "app/baud_detector.h"
#include "app/link_health.h"

namespace tolvane {
namespace {

LinkCounters Counts(std::uint64_t bytes, std::uint64_t frames, std::int32_t lastValidMs, std::uint64_t dropped = 0)
{
    return {.bytes = bytes, .frames = frames, .dropped = dropped, .lastValidMs = lastValidMs};
}

// Each row: counters read a second after the previous row's, from an open at 0 ms.
TEST(LinkHealth, TellsRateSilenceGarbleAndDrops)
{
    struct Row {
        std::int64_t nowMs;
        LinkCounters counters;
        const char* pane;
        bool viewLine;
    };
    const Row rows[] = {
        {1000, Counts(300, 12, 990), "9600 baud, 12 msg/s", false},
        {2000, Counts(600, 24, 1990), "9600 baud, 12 msg/s", false},
        // Bytes keep coming, no frame for 2 s: a wrong rate.
        {3000, Counts(900, 24, 1990), "9600 baud, 0 msg/s", false},
        {4000, Counts(1200, 24, 1990), kGarbledText, false},
        // Nothing at all: silence, the count rising.
        {5000, Counts(1200, 24, 1990), kGarbledText, false},
        {6000, Counts(1200, 24, 1990), "No data for 4 s", false},
        {7000, Counts(1200, 24, 1990), "No data for 5 s", false},
        // Back, with drops: said in the view once.
        {8000, Counts(1500, 30, 7990, 3), "9600 baud, 6 msg/s, 3 dropped", true},
        {9000, Counts(1800, 42, 8990, 5), "9600 baud, 12 msg/s, 5 dropped", false},
    };
    LinkHealth health;
    health.Opened(9600, 0);
    for (const Row& row : rows) {
        const HealthReport r = health.Update(row.counters, row.nowMs);
        EXPECT_EQ(r.pane, row.pane) << row.nowMs;
        EXPECT_EQ(!r.viewLine.empty(), row.viewLine) << row.nowMs;
    }
}

TEST(LinkHealth, SilenceCountsFromTheOpenAndRestartsOnReopen)
{
    LinkHealth health;
    health.Opened(4800, 10000);
    EXPECT_EQ(health.Update(Counts(0, 0, -1), 12900).pane, "4800 baud, 0 msg/s");
    EXPECT_EQ(health.Update(Counts(0, 0, -1), 13000).pane, "No data for 3 s");
    const HealthReport r = health.Update(Counts(50, 2, 13500), 14000);
    EXPECT_EQ(r.pane, "4800 baud, 2 msg/s");
    EXPECT_NE(r.tooltip.find("50 bytes, 2 good frames"), std::string::npos) << r.tooltip;
    EXPECT_NE(r.tooltip.find("Last valid message 0.5 s ago."), std::string::npos) << r.tooltip;
    // Counters that went back: reopened; no rate from a negative difference.
    EXPECT_EQ(health.Update(Counts(10, 1, 14900), 15000).pane, "4800 baud, 1 msg/s");
    health.Closed();
    EXPECT_EQ(health.Update(Counts(10, 1, 14900), 16000).pane, "");

    // Told of an open a second after it happened: the silence still counts
    // from the port's own open time, and from a new one when it reopens.
    LinkCounters opened = Counts(0, 0, -1);
    opened.openedMs = 20000;
    health.Opened(9600, 21000);
    EXPECT_EQ(health.Update(opened, 23000).pane, "No data for 3 s");
    opened.openedMs = 23500;
    EXPECT_EQ(health.Update(opened, 24000).pane, "9600 baud, 0 msg/s");
    EXPECT_EQ(health.Update(opened, 26500).pane, "No data for 3 s");
}

// The current rate first, each rate once, the first that answers wins.
TEST(BaudDetector, TriesEachRateOnceAndStopsAtTheFirstAnswer)
{
    using Step = BaudDetector::Step;
    EXPECT_EQ(BaudDetector(9600).Rates(), (std::vector<int>{9600, 19200, 38400, 4800}));
    EXPECT_EQ(BaudDetector(38400).Rates(), (std::vector<int>{38400, 9600, 19200, 4800}));

    BaudDetector d(4800);
    std::int64_t t = 0;
    EXPECT_EQ(d.Advance(0, t), Step::TryRate);
    EXPECT_EQ(d.Rate(), 4800);
    EXPECT_EQ(d.Advance(0, t += BaudDetector::kListenMs - 1), Step::Listen);
    EXPECT_EQ(d.Advance(0, t += 1), Step::TryRate);
    EXPECT_EQ(d.Rate(), 9600);
    EXPECT_EQ(d.Advance(0, t += BaudDetector::kListenMs), Step::TryRate);
    EXPECT_EQ(d.Advance(1, t += 10), Step::Found);
    EXPECT_EQ(d.Rate(), 19200);
    EXPECT_EQ(d.Tried(), 3);

    BaudDetector silent(9600);
    int tries = 0;
    Step step;
    for (t = 0; (step = silent.Advance(0, t)) != Step::NoneAnswered; t += 100) tries += step == Step::TryRate;
    EXPECT_EQ(tries, 4);
    EXPECT_EQ(t, 4 * BaudDetector::kListenMs);
}

} // namespace
} // namespace tolvane
