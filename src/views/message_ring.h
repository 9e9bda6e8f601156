// The message view's model, without Qt: the ring of the last 50 lines, the
// row geometry, and the planner that says what a paint must do so that the
// screen always shows what a full redraw would.
#pragma once

#include <array>
#include <vector>

#include "protocol/message_catalogue.h"

namespace tolvane {

// Lines the view keeps, and so the most rows it shows.
inline constexpr int kRingSize = 50;

// Rows of text in a client area, each `lineHeight` pixels high, below a
// top margin of half a line.
struct RowGeometry {

    int lineHeight = 0;

    int Margin() const { return lineHeight / 2; }
    int RowTop(int row) const { return Margin() + row * lineHeight; }
    // Rows that fit a client area this high; 0 when none does.
    int VisibleRows(int clientHeight) const;
    // The row the pixel line `y` falls in, negative in the margin above row 0.
    int RowAt(int y) const;

    // Rows [first, last) that the pixel band [a, b) touches, limited to the
    // visible rows; first == last when none.
    struct RowSpan {
        int first = 0;
        int last = 0;
        bool operator==(const RowSpan&) const = default;
    };
    RowSpan RowsInBand(int a, int b, int visibleRows) const;
};

// Ring positions of the lines a full redraw shows: `count` rows from the
// top, row k holding position (first + k) mod 50.
struct ShownRows {
    int first = 0;
    int count = 0;
    int Position(int row) const;
};

class MessageRing {
public:

    // Makes room for a new line, overwriting the oldest when the ring is full,
    // and returns its cleared slot for the caller to render into.
    StatusLine& Append();

    bool Empty() const { return empty_; }
    int Next() const { return next_; }
    int Count() const;
    const StatusLine& At(int position) const { return lines_[position]; }
    const StatusLine& FromOldest(int index) const;

    // The first line not yet on screen (Next() when all are). Counted rather
    // than kept as a position: 50 lines added between two paints would
    // otherwise look like none.
    int Painted() const;
    int Pending() const { return pending_; }
    // Lines the screen held after the last paint, whatever the row count.
    int ScreenLines() const { return screenLines_; }
    // The pending lines are on screen now (or scheduled to be).
    void MarkPainted();

    ShownRows Rows(int visibleRows) const;

private:
    std::array<StatusLine, kRingSize> lines_{};
    int oldest_ = 0;
    int next_ = 0;
    bool empty_ = true;
    bool wrapped_ = false;
    int pending_ = 0;
    int screenLines_ = 0;
};

// What a paint does with the pending lines.
struct PaintStep {
    enum class Kind {
        FreeRow, // draw the line in a blank row
        Scroll,  // scroll every visible row up by one, draw the line in the bottom row
    };
    Kind kind = Kind::FreeRow;
    int row = 0;
    int position = 0; // ring position of the line drawn
    bool operator==(const PaintStep&) const = default;
};

struct PaintPlan {
    enum class Kind {
        Nothing,     // no row to draw: too short a view, an empty ring, no new line
        Full,        // every visible row from ring.Rows()
        Incremental, // the steps in order
    };
    Kind kind = Kind::Nothing;
    std::vector<PaintStep> steps;
};

// Plans the next paint. After a plan other than Nothing, the screen shows
// ring.Rows(visibleRows), and the caller marks the ring painted.
PaintPlan PlanPaint(const MessageRing& ring, int visibleRows, bool erased);

} // namespace tolvane
