// Where a captioned child window goes as the view it lies in changes size:
// it keeps its place relative to one corner of the view, and always lies
// inside the view. Plain geometry, so the rule is tested without widgets.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tolvane {

enum class Corner { kTopLeft, kTopRight, kBottomLeft, kBottomRight };

// A corner of the parent, and the gaps from it to the same corner of the
// window (both counted inward, never negative).
struct ChildAnchor {
    Corner corner = Corner::kTopLeft;
    QPoint offset;
    bool operator==(const ChildAnchor&) const = default;
};

// Where `r` must go to lie inside `bounds`. A window larger than its parent
// keeps its size and shows its top-left part, the caption.
QRect KeptInside(QRect r, const QRect& bounds);

// The corner nearest to a window at `window` in a parent of `parent` size,
// and the window's offset from it; on a tie the left or top side.
ChildAnchor NearestAnchor(const QRect& window, const QSize& parent);

// Where a window of `size` held by `anchor` lies in a parent of `parent` size.
QRect PlacedAt(const ChildAnchor& anchor, const QSize& size, const QSize& parent);

} // namespace tolvane
