#include "views/message_history.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/golden.h"

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

// Each row an input and what the history made of it, in
// views_message_history.txt. The history keeps the newest 10,000 lines; a
// window of 3 rows ending where the view paused keeps its lines while more
// arrive, until they fall out. Find goes next or previous from a line,
// round the ends, ignoring case, over the mnemonic too, skipping what the
// filter hides (DTRIM here); from a line not held it starts at an end.
// The check list holds each mnemonic once, in the order first seen; a
// type hidden before it is seen stays hidden; program lines always show.
// Scrolling stops at both ends with the window as full as the lines allow
// (fewer lines than rows: the window ends at the last); revealing a line
// moves the window as little as it can. A selection's copy, either way
// round, leaves out hidden lines and those pushed out, in the view's
// columns.
TEST(MessageHistory, Transcript)
{
    std::ostringstream out;
    const auto texts = [&out](const MessageHistory& h, const std::vector<Seq>& seqs) {
        for (Seq seq : seqs) out << " " << h.Text(seq);
        out << "\n";
    };
    for (const auto& [beforePause, afterPause] : {std::pair{0, 5}, {2, 0}, {10'000, 0}, {10'001, 0}, {20, 9'980},
                                                 {20, 9'997}, {20, 9'998}, {20, 9'999}}) {
        const MessageHistory h = Numbered(beforePause + afterPause);
        out << beforePause << " lines, paused, " << afterPause << " more: held from " << h.Begin() << " to "
            << h.End() << (h.End() > h.Begin() ? ", the oldest reads " + std::string(h.Text(h.Begin())) : "")
            << ", paused window:";
        texts(h, h.Window(beforePause, 3));
    }
    MessageHistory h = Numbered(12, {"DORIENT", "NMEA", "DTRIM"}); // 0 DORIENT, 1 NMEA, 2 DTRIM, ...
    h.SetShown("DTRIM", false);
    const struct {
        const char* needle;
        Seq from;
        bool forward;
    } finds[] = {{"1", 1, true},    {"1", 10, true}, {"1", 1, false}, {"nmea", 4, true}, {"nmea", 4, false},
                 {"9", 9, true},    {"5", 0, true},  {"", 0, true},   {"0", 99, true},   {"0", 99, false}};
    for (const auto& f : finds) {
        const std::optional<Seq> found = h.Find(f.needle, f.from, f.forward);
        out << "'" << f.needle << "' " << (f.forward ? "after " : "before ") << f.from << ": "
            << (found ? std::to_string(*found) : "none") << "\n";
    }
    out << "'0' in no lines: " << (Numbered(0).Find("0", 0, true) ? "found" : "none") << "\n";
    MessageHistory filtered = Numbered(6, {"NMEA", "", "DORIENT", "NMEA"});
    const auto seen = [&out, &texts, &filtered](const char* step) {
        out << step << ": seen";
        for (const std::string& mnemonic : filtered.MnemonicsSeen()) out << " " << mnemonic;
        out << (filtered.Filtered() ? ", filtered" : "") << (filtered.IsShown("DTRIM") ? "" : ", DTRIM hidden")
            << ", shown:";
        texts(filtered, filtered.Window(filtered.End(), 10));
    };
    seen("6 lines of NMEA, program, DORIENT, NMEA, NMEA, program");
    filtered.SetShown("DTRIM", false);
    filtered.SetShown("", false);
    seen("DTRIM and program lines hidden");
    StatusLine trim;
    trim.mnemonic = "DTRIM";
    std::snprintf(trim.text, sizeof trim.text, "T");
    filtered.Add(trim);
    filtered.SetShown("NMEA", false);
    seen("a DTRIM line T added, NMEA hidden");
    filtered.SetShown("NMEA", true);
    filtered.SetShown("DTRIM", true);
    seen("NMEA and DTRIM shown again");
    const MessageHistory twenty = Numbered(20);
    for (const auto& [end, delta] : {std::pair{20, -5}, {15, 3}, {18, 9}, {6, -5}, {20, -100}, {2, 0}, {30, 0}})
        out << "20 lines, 4 rows to " << end << " scrolled by " << delta << ": to " << twenty.Scroll(end, 4, delta)
            << "\n";
    out << "2 lines, 4 rows to 2 scrolled by -1: to " << Numbered(2).Scroll(2, 4, -1) << "\n";
    for (const auto& [end, line] : {std::pair{20, 17}, {20, 16}, {20, 15}, {10, 2}, {10, 12}, {5, 0}})
        out << "20 lines, 4 rows to " << end << " revealing " << line << ": to " << twenty.Reveal(end, 4, line) << "\n";
    MessageHistory copied = Numbered(10'003, {"NMEA", "DORIENT", ""});
    copied.SetShown("DORIENT", false);
    for (const auto& [from, to] : {std::pair{10'002, 9'998}, {0, 5}, {10'000, 10'000}})
        out << "copy from " << from << " to " << to << ", DORIENT hidden:\n" << copied.CopyText(from, to) << "(end)\n";
    test::ExpectGolden("views_message_history.txt", out.str());
    EXPECT_LT(Numbered(0).MemoryBytes(), 2'000'000u);
    EXPECT_EQ(LineText("LONGMNEMONIC", "x"), "LONGMNEMONIC x");
}

} // namespace
} // namespace tolvane
