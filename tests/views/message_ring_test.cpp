#include "views/message_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/golden.h"

namespace tolvane {
namespace {

using Rows = std::vector<std::string>;

// Line i of a ring reads "i", so a row's text says which line it shows.
struct Numbered {
    MessageRing ring;
    int serial = 0;
    Numbered& Add(int n)
    {
        for (int i = 0; i < n; ++i)
            std::snprintf(ring.Append().text, kStatusTextMax + 1, "%d", serial++);
        return *this;
    }
};

Rows FullPicture(const MessageRing& ring, int visible)
{
    Rows rows(static_cast<std::size_t>(visible));
    const ShownRows shown = ring.Rows(visible);
    for (int k = 0; k < shown.count; ++k)
        rows[k] = ring.At(shown.Position(k)).text;
    return rows;
}

// What the ring keeps and a paint does, in views_paint_plans.txt: the
// last 50 lines, the oldest first; the rows a client height holds (the top
// half-line a margin) and the rows a band of pixels touches; after
// `painted` lines were drawn and `pending` more arrived, nothing, a full
// redraw, or the steps of an incremental one (a line into a free row, or a
// scroll and the line into the bottom row); the painted mark stays until
// the lines are drawn.
TEST(PaintPlanner, WhatTheRingKeepsAndAPaintDoes)
{
    std::ostringstream out;
    for (const int added : {0, 50, 51, 123}) {
        Numbered n;
        const MessageRing& ring = n.Add(added).ring;
        out << added << " lines added: " << ring.Count() << " kept"
            << (ring.Empty() ? ", empty" : ", the oldest " + std::string(ring.FromOldest(0).text)) << "\n";
    }
    for (const auto [lh, height] : {std::array{16, 31}, {16, 32}, {16, 47}, {16, 336}, {15, 30}, {16, 816}, {16, 1280}})
        out << "lines of " << lh << " in " << height << ": " << RowGeometry{lh}.VisibleRows(height) << " rows\n";
    for (const auto [a, b, visible] :
         {std::array{0, 8, 10}, {0, 9, 10}, {8, 25, 10}, {40, 56, 10}, {56, 72, 3}, {100, 200, 3}}) {
        const RowGeometry::RowSpan span = RowGeometry{16}.RowsInBand(a, b, visible);
        out << "pixels [" << a << ", " << b << ") of " << visible << " rows of 16: rows [" << span.first << ", "
            << span.last << ")\n";
    }
    const struct {
        const char* name;
        int painted, pending, visible;
        bool erased;
    } cases[] = {{"empty ring", 0, 0, 10, true},           {"no row fits", 3, 2, 0, true},
                 {"erased", 3, 2, 10, true},               {"last free row, then scroll", 9, 2, 10, false},
                 {"one scroll fewer than rows", 3, 2, 3, false}, {"as many scrolls as rows", 20, 5, 5, false}};
    for (const auto& c : cases) {
        Numbered n;
        n.Add(c.painted).ring.MarkPainted();
        n.Add(c.pending);
        const PaintPlan plan = PlanPaint(n.ring, c.visible, c.erased);
        out << c.name << ": " << std::array{"nothing", "full", "incremental"}[static_cast<int>(plan.kind)];
        for (const PaintStep& step : plan.steps)
            out << (step.kind == PaintStep::Kind::Scroll ? ", scroll and line " : ", line ") << step.position
                << " into row " << step.row;
        out << "; painted mark at " << n.ring.Painted() << "\n";
    }
    test::ExpectGolden("views_paint_plans.txt", out.str());
}

// Whatever arrives between paints, carrying the plan out leaves the
// full-redraw picture: also when the ring wraps while several lines wait
// in a view of 48 to 50 rows, or more than the ring holds arrives at once.
TEST(PaintPlanner, EveryPaintLeavesTheFullRedrawPicture)
{
    struct Case {
        int visible;
        std::vector<int> batches; // lines added before each paint
    };
    std::vector<Case> cases = {
        {50, {45, 10}}, {50, {50, 1, 2, 3}}, {49, {60, 3, 1}}, {20, {5, 57, 1}}, {12, {4, 4, 4, 4}}};
    std::mt19937 random(20240611);
    for (int run = 0; run < 300; ++run) {
        Case& c = cases.emplace_back(Case{std::array{1, 2, 7, 20, 48, 49, 50}[random() % 7], {}});
        for (int paint = 0; paint < 30; ++paint)
            c.batches.push_back(static_cast<int>(random() % 4 == 0 ? random() % 60 : random() % 3));
    }
    for (const Case& c : cases) {
        Numbered n;
        Rows screen(static_cast<std::size_t>(c.visible));
        for (int batch : c.batches) {
            n.Add(batch);
            const PaintPlan plan = PlanPaint(n.ring, c.visible, false);
            if (plan.kind == PaintPlan::Kind::Full)
                screen = FullPicture(n.ring, c.visible);
            for (const PaintStep& step : plan.steps) {
                if (step.kind == PaintStep::Kind::Scroll)
                    std::rotate(screen.begin(), screen.begin() + 1, screen.end());
                screen.at(step.row) = n.ring.At(step.position).text;
            }
            n.ring.MarkPainted();
            ASSERT_EQ(screen, FullPicture(n.ring, c.visible)) << n.serial << " lines in " << c.visible << " rows";
        }
    }
}

// The row under a pixel line, for the mouse: half a line of margin above
// row 0 (7 pixels of an odd 15), rows below the text rows counted on.
TEST(RowGeometry, RowAtAPixelLine)
{
    const struct {
        int lineHeight, y, row;
    } cases[] = {{16, 7, -1}, {16, 8, 0}, {16, 23, 0}, {16, 24, 1}, {16, 808, 50}, {16, -9, -2}, {16, -8, -1},
                 {15, 6, -1}, {15, 7, 0}, {15, 22, 1}, {0, 20, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(RowGeometry{c.lineHeight}.RowAt(c.y), c.row) << c.lineHeight << " " << c.y;
}

} // namespace
} // namespace tolvane
