#include "views/child_placement.h"

#include <algorithm>

namespace tolvane {

namespace {

bool OnRight(Corner c)
{
    return c == Corner::kTopRight || c == Corner::kBottomRight;
}

bool OnBottom(Corner c)
{
    return c == Corner::kBottomLeft || c == Corner::kBottomRight;
}

} // namespace

QRect KeptInside(QRect r, const QRect& bounds)
{
    r.moveLeft(std::max(bounds.left(), std::min(r.left(), bounds.right() - r.width() + 1)));
    r.moveTop(std::max(bounds.top(), std::min(r.top(), bounds.bottom() - r.height() + 1)));
    return r;
}

ChildAnchor NearestAnchor(const QRect& window, const QSize& parent)
{
    // A window overhanging an edge is as near it as one touching it.
    const int left = std::max(0, window.left());
    const int right = std::max(0, parent.width() - 1 - window.right());
    const int top = std::max(0, window.top());
    const int bottom = std::max(0, parent.height() - 1 - window.bottom());
    const bool onRight = right < left;
    const bool onBottom = bottom < top;
    const Corner corner = onBottom ? (onRight ? Corner::kBottomRight : Corner::kBottomLeft)
                                   : (onRight ? Corner::kTopRight : Corner::kTopLeft);
    return {corner, QPoint(onRight ? right : left, onBottom ? bottom : top)};
}

QRect PlacedAt(const ChildAnchor& anchor, const QSize& size, const QSize& parent)
{
    const int x = OnRight(anchor.corner) ? parent.width() - anchor.offset.x() - size.width() : anchor.offset.x();
    const int y = OnBottom(anchor.corner) ? parent.height() - anchor.offset.y() - size.height() : anchor.offset.y();
    return KeptInside(QRect(QPoint(x, y), size), QRect(QPoint(), parent));
}

} // namespace tolvane
