// Reading back through the message view's history, without Qt: whether the
// view is paused, the window of rows it shows then, the lines selected and
// where Find goes on from. Rows are the view's rows of text, 0 at the top;
// a row above the window is negative, one below it is `rows` or more.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "views/message_history.h"

namespace tolvane {

class ReadBack {
public:
    using Seq = MessageHistory::Seq;

    explicit ReadBack(const MessageHistory& history) : history_(history) {}

    bool Paused() const { return paused_; }
    // Paused or filtered: the view shows a window on the history rather than
    // its ring of the newest lines.
    bool Active() const { return paused_ || history_.Filtered(); }
    // "Paused", "Filtered", "Paused, filtered" or empty.
    const char* Mark() const;

    // Pausing holds the window at the newest lines; pausing or resuming ends
    // the selection. False when the view already was so.
    bool SetPaused(bool paused);
    // After the history was emptied: nothing is selected and the view
    // follows new lines again. True when it was paused.
    bool Cleared();

    // Lines were added to the history while Active(): whether the window
    // moves. A paused one holds still until the top line it last painted
    // falls out of the history, then shows the oldest lines held; a
    // filtered one follows the newest lines it shows.
    bool LinesAdded(int rows);
    // The filter changed: a paused window keeps as full as it can.
    void FilterChanged(int rows);
    // Moves a paused window `delta` shown lines later (earlier when
    // negative); false when it did not move.
    bool Scroll(int rows, int delta);

    // The lines of the window, top first.
    std::vector<Seq> Window(int rows) const;
    // The same, for painting: its top line is remembered (see LinesAdded).
    std::vector<Seq> Painted(int rows);

    // The line on `row` of a paused window; `nearest`: a row above or below
    // the window gives its top or bottom line.
    std::optional<Seq> LineOnRow(int row, int rows, bool nearest) const;
    // A click on `row` of the paused view selects its line, or with `extend`
    // stretches the selection to it; a click beside the lines ends the
    // selection.
    void Click(int row, int rows, bool extend);
    // The mouse dragged to `row` with the button held: past the top or the
    // bottom row the window first moves a line. False when no selection is
    // being made.
    bool Drag(int row, int rows);
    bool Selected(Seq seq) const;
    // The selected lines as text; none when nothing is selected.
    std::optional<std::string> SelectionText() const;

    // The next (previous) shown line holding `needle`, after the selection;
    // without one, from the oldest line (the newest, backwards).
    std::optional<Seq> FindNext(std::string_view needle, bool forward) const;
    // Selects `seq` and moves the window as little as it takes to show it.
    void Select(Seq seq, int rows);

private:
    const MessageHistory& history_;
    bool paused_ = false;
    // While paused: where the window ends, and its top line when last painted.
    Seq end_ = 0;
    Seq top_ = 0;
    // The selection, from the line first chosen to the line now chosen.
    std::optional<Seq> anchor_;
    Seq cursor_ = 0;
};

} // namespace tolvane
