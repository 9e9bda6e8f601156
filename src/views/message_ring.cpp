#include "views/message_ring.h"

#include <algorithm>

namespace tolvane {

namespace {

int Wrap(int position)
{
    return ((position % kRingSize) + kRingSize) % kRingSize;
}

} // namespace

int RowGeometry::VisibleRows(int clientHeight) const
{
    if (lineHeight <= 0)
        return 0;
    return std::clamp(clientHeight / lineHeight - 1, 0, kRingSize);
}

int RowGeometry::RowAt(int y) const
{
    if (lineHeight <= 0)
        return -1;
    const int from = y - Margin();
    return from / lineHeight - (from < 0 && from % lineHeight != 0 ? 1 : 0);
}

RowGeometry::RowSpan RowGeometry::RowsInBand(int a, int b, int visibleRows) const
{
    const int h = Margin();
    if (lineHeight <= 0 || b <= std::max(a, h))
        return {};
    const int first = (std::max(a, h) - h) / lineHeight;
    const int last = std::min((b - 1 - h) / lineHeight + 1, visibleRows);
    return first < last ? RowSpan{first, last} : RowSpan{};
}

int ShownRows::Position(int row) const
{
    return Wrap(first + row);
}

StatusLine& MessageRing::Append()
{
    if (!empty_ && next_ == oldest_) {
        oldest_ = Wrap(oldest_ + 1);
        wrapped_ = true;
    }
    StatusLine& slot = lines_[next_];
    slot = StatusLine{};
    next_ = Wrap(next_ + 1);
    empty_ = false;
    pending_ = std::min(pending_ + 1, kRingSize);
    return slot;
}

int MessageRing::Count() const
{
    if (empty_)
        return 0;
    const int d = next_ - oldest_;
    return d <= 0 ? d + kRingSize : d;
}

const StatusLine& MessageRing::FromOldest(int index) const
{
    return lines_[Wrap(oldest_ + index)];
}

int MessageRing::Painted() const
{
    return Wrap(next_ - pending_);
}

void MessageRing::MarkPainted()
{
    pending_ = 0;
    screenLines_ = Count();
}

ShownRows MessageRing::Rows(int visibleRows) const
{
    const int n = std::clamp(visibleRows, 0, Count());
    return {Wrap(next_ - n), n};
}

PaintPlan PlanPaint(const MessageRing& ring, int visibleRows, bool erased)
{
    PaintPlan plan;
    visibleRows = std::min(visibleRows, kRingSize);
    if (visibleRows <= 0 || ring.Empty())
        return plan;
    if (erased) {
        plan.kind = PaintPlan::Kind::Full;
        return plan;
    }
    // Placing by the rows the screen really fills, not by `wrapped`, keeps
    // the picture right when the ring wraps while lines are pending.
    int shown = std::min(visibleRows, ring.ScreenLines());
    int scrolls = 0;
    int position = ring.Painted();
    for (int i = 0; i < ring.Pending(); ++i, position = Wrap(position + 1)) {
        if (shown < visibleRows) {
            plan.steps.push_back({PaintStep::Kind::FreeRow, shown++, position});
        } else {
            plan.steps.push_back({PaintStep::Kind::Scroll, visibleRows - 1, position});
            ++scrolls;
        }
    }
    if (scrolls >= visibleRows) {
        // Every row changes anyway: one redraw beats that many scrolls.
        plan.steps.clear();
        plan.kind = PaintPlan::Kind::Full;
    } else if (!plan.steps.empty()) {
        plan.kind = PaintPlan::Kind::Incremental;
    }
    return plan;
}

} // namespace tolvane
