#include "views/read_back.h"

#include <algorithm>
#include <utility>

namespace tolvane {

const char* ReadBack::Mark() const
{
    const bool filtered = history_.Filtered();
    return paused_ && filtered ? "Paused, filtered" : paused_ ? "Paused" : filtered ? "Filtered" : "";
}

bool ReadBack::SetPaused(bool paused)
{
    if (paused == paused_)
        return false;
    paused_ = paused;
    end_ = history_.End();
    anchor_.reset();
    return true;
}

bool ReadBack::Cleared()
{
    end_ = history_.End();
    anchor_.reset();
    return std::exchange(paused_, false);
}

bool ReadBack::LinesAdded(int rows)
{
    const bool moved = paused_ ? history_.Begin() > top_ : history_.Shows(history_.End() - 1);
    if (moved && paused_)
        end_ = history_.Scroll(end_, rows, 0); // the oldest lines shown, as many as fit
    return moved;
}

void ReadBack::FilterChanged(int rows)
{
    if (paused_)
        end_ = history_.Scroll(end_, rows, 0);
}

bool ReadBack::Scroll(int rows, int delta)
{
    if (!paused_)
        return false;
    const Seq end = history_.Scroll(end_, rows, delta);
    return std::exchange(end_, end) != end;
}

std::vector<ReadBack::Seq> ReadBack::Window(int rows) const
{
    return history_.Window(paused_ ? end_ : history_.End(), rows);
}

std::vector<ReadBack::Seq> ReadBack::Painted(int rows)
{
    std::vector<Seq> window = Window(rows);
    top_ = window.empty() ? end_ : window.front();
    return window;
}

std::optional<ReadBack::Seq> ReadBack::LineOnRow(int row, int rows, bool nearest) const
{
    const std::vector<Seq> window = history_.Window(end_, rows);
    if (window.empty())
        return std::nullopt;
    if (row >= 0 && row < static_cast<int>(window.size()))
        return window[static_cast<std::size_t>(row)];
    if (!nearest)
        return std::nullopt;
    return row < 0 ? window.front() : window.back();
}

void ReadBack::Click(int row, int rows, bool extend)
{
    const std::optional<Seq> seq = LineOnRow(row, rows, false);
    if (!seq)
        anchor_.reset();
    else if (extend && anchor_)
        cursor_ = *seq;
    else
        anchor_ = cursor_ = *seq;
}

bool ReadBack::Drag(int row, int rows)
{
    if (!paused_ || !anchor_)
        return false;
    // Dragged past the top or bottom row, the window moves a line at a time.
    if (row < 0)
        Scroll(rows, -1);
    else if (row >= rows)
        Scroll(rows, 1);
    if (const std::optional<Seq> seq = LineOnRow(row, rows, true))
        cursor_ = *seq;
    return true;
}

bool ReadBack::Selected(Seq seq) const
{
    return paused_ && anchor_ && seq >= std::min(*anchor_, cursor_) && seq <= std::max(*anchor_, cursor_);
}

std::optional<std::string> ReadBack::SelectionText() const
{
    if (!paused_ || !anchor_)
        return std::nullopt;
    return history_.CopyText(*anchor_, cursor_);
}

std::optional<ReadBack::Seq> ReadBack::FindNext(std::string_view needle, bool forward) const
{
    return history_.Find(needle, paused_ && anchor_ ? cursor_ : history_.End(), forward);
}

void ReadBack::Select(Seq seq, int rows)
{
    anchor_ = cursor_ = seq;
    end_ = history_.Reveal(end_, rows, seq);
}

} // namespace tolvane
