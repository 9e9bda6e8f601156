#include "views/read_back.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tolvane {
namespace {

enum Op {
    Pause, Resume, Add, AddTrim, Scroll, Click, ShiftClick, Drag, Copy, Find, FindBack, Clear, HideTrim, ShowTrim
};

// One step on a view three rows high, then a paint; each line's text is its
// number, NMEA unless added as DTRIM. `result`: what the step returned (for
// Add, whether any line moved the window; for Find, whether a line was
// found); `window`: the lines painted, top first; `selected`: those of them
// selected; `text`: the needle, what Copy gives, or the view's mark after
// a pause, a resume, a clear or a filter change.
struct Step {
    Op op;
    int n;
    bool result;
    const char* window;
    const char* selected;
    const char* text = "";
};

// Paused, the window holds still until its top line falls out of the
// history; it scrolls no further than the lines there are; a pause starts
// with nothing selected; clicks select,
// Shift stretches, a click beside the lines ends it; a drag past an edge
// moves the window a line and selects to its edge line; Find goes on from
// the selection, else from an end, selects what it finds and shows it;
// clearing resumes; filtered, the view follows the newest line shown.
TEST(ReadBack, StepsAndTheWindowTheyLeave)
{
    const Step steps[] = {
        {Pause, 0, true, "7 8 9", "", "Paused"},
        {Pause, 0, false, "7 8 9", "", "Paused"},
        {Add, 2, false, "7 8 9", ""},
        {Scroll, -2, true, "5 6 7", ""},
        {Scroll, 9, true, "9 10 11", ""},
        {Scroll, 1, false, "9 10 11", ""},
        {Click, 1, false, "9 10 11", "10"},
        {ShiftClick, 2, false, "9 10 11", "10 11"},
        {Click, 3, false, "9 10 11", ""},
        {ShiftClick, 0, false, "9 10 11", "9"},
        {Drag, 3, true, "9 10 11", "9 10 11"},
        {Drag, -1, true, "8 9 10", "8 9"},
        {Copy, 0, true, "8 9 10", "8 9", "NMEA      8\nNMEA      9\n"},
        {Find, 0, true, "8 9 10", "10", "1"},
        {Find, 0, true, "9 10 11", "11", "1"},
        {Find, 0, true, "1 2 3", "1", "1"},
        {Find, 0, false, "1 2 3", "1", "x"},
        {Resume, 0, true, "9 10 11", "", ""},
        {Pause, 0, true, "9 10 11", "", "Paused"},
        {Drag, 0, false, "9 10 11", ""},
        {Copy, 0, false, "9 10 11", ""},
        {FindBack, 0, true, "9 10 11", "11", "1"},
        {Add, 9997, false, "9 10 11", "11"},
        {Add, 1, true, "10 11 12", "11"},
        {Clear, 0, true, "", "", ""},
        {Add, 3, false, "10010 10011 10012", ""},
        {HideTrim, 0, false, "10010 10011 10012", "", "Filtered"},
        {AddTrim, 1, false, "10010 10011 10012", ""},
        {Add, 1, true, "10011 10012 10014", ""},
        {Pause, 0, true, "10011 10012 10014", "", "Paused, filtered"},
        {ShowTrim, 0, false, "10012 10013 10014", "", "Paused"},
    };
    MessageHistory history;
    ReadBack readBack(history);
    const auto add = [&](int count, const char* mnemonic) {
        bool moved = false;
        for (int i = 0; i < count; ++i) {
            StatusLine line;
            line.mnemonic = mnemonic;
            std::snprintf(line.text, sizeof line.text, "%llu", static_cast<unsigned long long>(history.End()));
            history.Add(line);
            moved = (readBack.Active() && readBack.LinesAdded(3)) || moved;
        }
        return moved;
    };
    add(10, "NMEA");
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << &s - steps << " (" << s.op << ")");
        bool result = false;
        std::string copied;
        switch (s.op) {
        case Pause: case Resume: result = readBack.SetPaused(s.op == Pause); break;
        case Add: case AddTrim: result = add(s.n, s.op == Add ? "NMEA" : "DTRIM"); break;
        case Scroll: result = readBack.Scroll(3, s.n); break;
        case Click: case ShiftClick: readBack.Click(s.n, 3, s.op == ShiftClick); break;
        case Drag: result = readBack.Drag(s.n, 3); break;
        case Copy: copied = readBack.SelectionText().value_or(""), result = !copied.empty(); break;
        case Find: case FindBack:
            if (const auto found = readBack.FindNext(s.text, s.op == Find)) {
                readBack.SetPaused(true); // as the view does
                readBack.Select(*found, 3);
                result = true;
            }
            break;
        case Clear: history.Clear(), result = readBack.Cleared(); break;
        case HideTrim: case ShowTrim:
            history.SetShown("DTRIM", s.op == ShowTrim);
            readBack.FilterChanged(3);
            break;
        }
        std::string window, selected;
        for (const MessageHistory::Seq seq : readBack.Painted(3)) {
            window += (window.empty() ? "" : " ") + std::to_string(seq);
            if (readBack.Selected(seq)) selected += (selected.empty() ? "" : " ") + std::to_string(seq);
        }
        EXPECT_EQ(result, s.result);
        EXPECT_EQ(window, s.window);
        EXPECT_EQ(selected, s.selected);
        if (s.op == Copy) {
            EXPECT_EQ(copied, s.text);
        } else if (s.op == Pause || s.op == Resume || s.op == Clear || s.op == HideTrim || s.op == ShowTrim) {
            EXPECT_STREQ(readBack.Mark(), s.text);
        }
    }
}

} // namespace
} // namespace tolvane
