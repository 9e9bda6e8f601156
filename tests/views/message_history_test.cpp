#include "views/message_history.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using Seq = MessageHistory::Seq;

// Line i reads "<mnemonic> i"; the mnemonics go round `types`.
MessageHistory Numbered(int count, std::vector<const char*> types = {"DORIENT"})
{
    MessageHistory h;
    for (int i = 0; i < count; ++i) {
        StatusLine line;
        line.mnemonic = types[static_cast<std::size_t>(i) % types.size()];
        std::snprintf(line.text, sizeof line.text, "%d", i);
        h.Add(line);
    }
    return h;
}

std::vector<std::string> Texts(const MessageHistory& h, const std::vector<Seq>& seqs)
{
    std::vector<std::string> texts;
    for (Seq seq : seqs) texts.emplace_back(h.Text(seq));
    return texts;
}

// The history keeps the newest 10,000 lines; a window ending where the
// view paused keeps its lines while more arrive, until they fall out.
TEST(MessageHistory, KeepsTheNewestLinesAndAPausedWindowHoldsStill)
{
    const struct {
        int beforePause, afterPause;
        Seq begin;
        std::vector<std::string> window; // 3 rows ending where paused
    } rows[] = {
        {0, 5, 0, {}},
        {2, 0, 0, {"0", "1"}},
        {10'000, 0, 0, {"9997", "9998", "9999"}},
        {10'001, 0, 1, {"9998", "9999", "10000"}},
        {20, 9'980, 0, {"17", "18", "19"}},
        {20, 9'997, 17, {"17", "18", "19"}},
        {20, 9'998, 18, {"18", "19"}}, // line 17 pushed out
        {20, 9'999, 19, {"19"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.beforePause + r.afterPause);
        MessageHistory h = Numbered(r.beforePause + r.afterPause);
        EXPECT_EQ(h.Begin(), r.begin);
        EXPECT_EQ(h.End(), static_cast<Seq>(r.beforePause + r.afterPause));
        EXPECT_EQ(h.End() > h.Begin() ? h.Text(h.Begin()) : std::to_string(r.begin), std::to_string(r.begin));
        EXPECT_EQ(Texts(h, h.Window(r.beforePause, 3)), r.window);
    }
    EXPECT_LT(Numbered(0).MemoryBytes(), 2'000'000u);
}

// Next and previous from a line, round the ends, ignoring case, over the
// mnemonic too, skipping what the filter hides.
TEST(MessageHistory, FindsNextAndPreviousWithWrap)
{
    MessageHistory h = Numbered(12, {"DORIENT", "NMEA", "DTRIM"}); // 0 DORIENT, 1 NMEA, 2 DTRIM, ...
    h.SetShown("DTRIM", false);
    const struct {
        const char* needle;
        Seq from;
        bool forward;
        std::optional<Seq> found;
    } rows[] = {
        {"1", 1, true, 10},         // 10, then wraps to 1 itself
        {"1", 10, true, 1},         // 11 is hidden: wraps round
        {"1", 1, false, 10},
        {"nmea", 4, true, 7},       // mnemonic, any case
        {"nmea", 4, false, 1},
        {"9", 9, true, 9},          // the only match: found again at itself
        {"5", 0, true, std::nullopt}, // only on a hidden line
        {"", 0, true, std::nullopt},
        {"0", 99, true, 0},         // not a held line: from the oldest
        {"0", 99, false, 10},       // backwards from the newest
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.needle) + " from " + std::to_string(r.from) + (r.forward ? " next" : " previous"));
        EXPECT_EQ(h.Find(r.needle, r.from, r.forward), r.found);
    }
    EXPECT_EQ(Numbered(0).Find("0", 0, true), std::nullopt);
}

// The check list holds each mnemonic once, in the order first seen; a
// type hidden before it is seen stays hidden; program lines always show.
TEST(MessageHistory, FilterOverTheMnemonicsSeen)
{
    MessageHistory h = Numbered(6, {"NMEA", "", "DORIENT", "NMEA"});
    EXPECT_EQ(h.MnemonicsSeen(), (std::vector<std::string>{"NMEA", "DORIENT"}));
    EXPECT_FALSE(h.Filtered());
    h.SetShown("DTRIM", false);
    h.SetShown("", false);
    EXPECT_TRUE(h.Filtered());
    EXPECT_FALSE(h.IsShown("DTRIM"));
    StatusLine trim;
    trim.mnemonic = "DTRIM";
    h.Add(trim);
    h.SetShown("NMEA", false);
    EXPECT_EQ(Texts(h, h.Window(h.End(), 10)), (std::vector<std::string>{"1", "2", "5"}));
    h.SetShown("NMEA", true);
    h.SetShown("DTRIM", true);
    EXPECT_FALSE(h.Filtered());
    EXPECT_EQ(h.MnemonicsSeen(), (std::vector<std::string>{"NMEA", "DORIENT", "DTRIM"}));
}

// Scrolling stops at both ends with the window as full as the lines allow;
// revealing a line moves the window as little as it can.
TEST(MessageHistory, ScrollAndRevealKeepTheWindowFull)
{
    const MessageHistory h = Numbered(20);
    const struct {
        Seq end;
        int delta;
        Seq scrolled;
    } scrolls[] = {{20, -5, 15}, {15, 3, 18}, {18, 9, 20}, {6, -5, 4}, {20, -100, 4}, {2, 0, 4}, {30, 0, 20}};
    for (const auto& r : scrolls) EXPECT_EQ(h.Scroll(r.end, 4, r.delta), r.scrolled) << r.end << " " << r.delta;
    const struct {
        Seq end, line, revealed;
    } reveals[] = {{20, 17, 20}, {20, 16, 20}, {20, 15, 19}, {10, 2, 6}, {10, 12, 13}, {5, 0, 4}};
    for (const auto& r : reveals) EXPECT_EQ(h.Reveal(r.end, 4, r.line), r.revealed) << r.end << " " << r.line;
    EXPECT_EQ(Numbered(2).Scroll(2, 4, -1), 2u); // fewer lines than rows
}

// The lines of a selection, either way round, without the hidden ones or
// those pushed out, in the view's columns.
TEST(MessageHistory, CopyTextOfASelection)
{
    MessageHistory h = Numbered(10'003, {"NMEA", "DORIENT", ""});
    h.SetShown("DORIENT", false);
    EXPECT_EQ(h.CopyText(10'002, 9'998), "          9998\nNMEA      9999\n          10001\nNMEA      10002\n");
    EXPECT_EQ(h.CopyText(0, 5), "NMEA      3\n          5\n");
    EXPECT_EQ(h.CopyText(10'000, 10'000), "");
    EXPECT_EQ(LineText("LONGMNEMONIC", "x"), "LONGMNEMONIC x");
}

} // namespace
} // namespace tolvane
