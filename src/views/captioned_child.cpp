#include "views/captioned_child.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tolvane {

namespace {

enum Edge { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kMove = 16 };

// A thick frame for a window the user can resize, a thin one otherwise.
constexpr int kResizableBorder = 4;
constexpr int kFixedBorder = 2;
// How far a corner grip reaches along the edges it joins.
constexpr int kCornerReach = 12;

// Keeps the window in its place when the parent is resized.
class ParentWatcher : public QObject {
public:
    explicit ParentWatcher(CaptionedChild* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && watched == window_->parentWidget())
            window_->KeepPlace();
        return false;
    }

private:
    CaptionedChild* window_;
};

Qt::CursorShape CursorFor(int edges)
{
    switch (edges) {
    case kLeft:
    case kRight:
        return Qt::SizeHorCursor;
    case kTop:
    case kBottom:
        return Qt::SizeVerCursor;
    case kLeft | kTop:
    case kRight | kBottom:
        return Qt::SizeFDiagCursor;
    case kRight | kTop:
    case kLeft | kBottom:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

// Screen readers meet the window as a pane named by its caption.
QAccessibleInterface* CreateCaptionedChildAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(CaptionedChild::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Pane);
    return nullptr;
}

} // namespace

CaptionedChild::CaptionedChild(const QString& caption, bool resizable, QWidget* parent)
    : QWidget(parent), caption_(caption), resizable_(resizable)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(&CreateCaptionedChildAccessible);
        return true;
    }();
    (void)accessibleInstalled;
    setAccessibleName(caption);
    // The client is filled white and everything else drawn by paintEvent.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(resizable); // for the border's cursor shapes
    if (parent != nullptr)
        parent->installEventFilter(new ParentWatcher(this));
}

namespace {

int BorderOf(bool resizable)
{
    return resizable ? kResizableBorder : kFixedBorder;
}

int CaptionHeight(const QWidget& w)
{
    return w.fontMetrics().height() + 4;
}

} // namespace

QRect CaptionedChild::ClientRect() const
{
    const int b = BorderOf(resizable_);
    const int top = b + CaptionHeight(*this);
    return {b, top, std::max(0, width() - 2 * b), std::max(0, height() - top - b)};
}

void CaptionedChild::SetClientSize(const QSize& size)
{
    const int b = BorderOf(resizable_);
    // The caption's text has 4 pixels of margin each side (paintEvent).
    const int width = std::max(size.width(), fontMetrics().horizontalAdvance(caption_) + 8);
    resize(width + 2 * b, size.height() + 2 * b + CaptionHeight(*this));
    KeepPlace();
}

void CaptionedChild::KeepAtCorner(Corner corner)
{
    anchor_ = ChildAnchor{corner, QPoint()};
    KeepPlace();
}

void CaptionedChild::KeepPlace()
{
    if (parentWidget() == nullptr)
        return;
    const QSize parent = parentWidget()->size();
    const QRect placed = anchor_ ? PlacedAt(*anchor_, size(), parent) : KeptInside(geometry(), QRect(QPoint(), parent));
    if (placed != geometry())
        move(placed.topLeft());
}

void CaptionedChild::PaintClient(QPainter&, const QRect&) {}

void CaptionedChild::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int b = BorderOf(resizable_);
    const QRect all = rect();
    const QPalette& p = palette();

    painter.fillRect(all, p.color(QPalette::Window));
    painter.setPen(p.color(QPalette::Shadow));
    painter.drawRect(all.adjusted(0, 0, -1, -1));

    const QRect caption(b, b, std::max(0, width() - 2 * b), CaptionHeight(*this));
    painter.fillRect(caption, p.color(QPalette::Active, QPalette::Highlight));
    painter.setPen(p.color(QPalette::Active, QPalette::HighlightedText));
    painter.setFont(font());
    const QRect textArea = caption.adjusted(4, 0, -4, 0);
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(caption_, Qt::ElideRight, textArea.width()));

    const QRect client = ClientRect();
    painter.fillRect(client, Qt::white);
    painter.setClipRect(client);
    painter.setPen(Qt::black);
    PaintClient(painter, client);
}

namespace {

// The edges (or the caption) under `pos`, for a window of `size`.
int HitTest(const QPoint& pos, const QSize& size, bool resizable, int captionBottom)
{
    const int b = BorderOf(resizable);
    if (resizable) {
        const int x = pos.x();
        const int y = pos.y();
        const int w = size.width();
        const int h = size.height();
        const bool nearLeft = x < b;
        const bool nearRight = x >= w - b;
        const bool nearTop = y < b;
        const bool nearBottom = y >= h - b;
        if (nearLeft || nearRight || nearTop || nearBottom) {
            int edges = 0;
            if (nearLeft || ((nearTop || nearBottom) && x < kCornerReach))
                edges |= kLeft;
            if (nearRight || ((nearTop || nearBottom) && x >= w - kCornerReach))
                edges |= kRight;
            if (nearTop || ((nearLeft || nearRight) && y < kCornerReach))
                edges |= kTop;
            if (nearBottom || ((nearLeft || nearRight) && y >= h - kCornerReach))
                edges |= kBottom;
            return edges;
        }
    }
    return pos.y() >= 0 && pos.y() < captionBottom && pos.x() >= 0 && pos.x() < size.width() ? kMove : 0;
}

} // namespace

void CaptionedChild::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragEdges_ = HitTest(event->position().toPoint(), size(), resizable_, ClientRect().top());
    pressGlobal_ = event->globalPosition().toPoint();
    pressGeometry_ = geometry();
    if (dragEdges_ != 0)
        raise();
    event->accept();
}

void CaptionedChild::mouseMoveEvent(QMouseEvent* event)
{
    if (dragEdges_ == 0 || !(event->buttons() & Qt::LeftButton)) {
        dragEdges_ = 0;
        if (resizable_) {
            const int edges = HitTest(event->position().toPoint(), size(), true, ClientRect().top());
            if (edges == 0 || edges == kMove)
                unsetCursor();
            else
                setCursor(CursorFor(edges));
        }
        QWidget::mouseMoveEvent(event);
        return;
    }

    const QPoint delta = event->globalPosition().toPoint() - pressGlobal_;
    const QRect bounds = parentWidget() != nullptr ? parentWidget()->rect() : QRect(QPoint(), QSize(1 << 20, 1 << 20));
    if (dragEdges_ == kMove) {
        move(KeptInside(pressGeometry_.translated(delta), bounds).topLeft());
        HoldWhereTheUserLeftIt();
        return;
    }

    // Each dragged edge follows the mouse, stopping at the parent's edge
    // and short of the opposite edge by the smallest useful size.
    const int b = BorderOf(resizable_);
    const int minWidth = 2 * b + 3 * CaptionHeight(*this);
    const int minHeight = 2 * b + CaptionHeight(*this) + b;
    QRect r = pressGeometry_;
    if (dragEdges_ & kLeft)
        r.setLeft(std::clamp(r.left() + delta.x(), std::min(bounds.left(), r.right() - minWidth + 1), r.right() - minWidth + 1));
    if (dragEdges_ & kRight)
        r.setRight(std::clamp(r.right() + delta.x(), r.left() + minWidth - 1, std::max(bounds.right(), r.left() + minWidth - 1)));
    if (dragEdges_ & kTop)
        r.setTop(std::clamp(r.top() + delta.y(), std::min(bounds.top(), r.bottom() - minHeight + 1), r.bottom() - minHeight + 1));
    if (dragEdges_ & kBottom)
        r.setBottom(std::clamp(r.bottom() + delta.y(), r.top() + minHeight - 1, std::max(bounds.bottom(), r.top() + minHeight - 1)));
    setGeometry(KeptInside(r, bounds));
    HoldWhereTheUserLeftIt();
}

void CaptionedChild::HoldWhereTheUserLeftIt()
{
    if (parentWidget() != nullptr)
        anchor_ = NearestAnchor(geometry(), parentWidget()->size());
}

void CaptionedChild::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragEdges_ = 0;
    QWidget::mouseReleaseEvent(event);
}

void CaptionedChild::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (parentWidget() != nullptr) {
        const QRect kept = KeptInside(geometry(), parentWidget()->rect());
        if (kept != geometry()) {
            move(kept.topLeft()); // its own move event reports the change
            return;
        }
    }
    emit geometryChanged();
}

void CaptionedChild::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (parentWidget() != nullptr) {
        const QRect kept = KeptInside(geometry(), parentWidget()->rect());
        if (kept != geometry())
            move(kept.topLeft());
    }
    emit geometryChanged();
}

} // namespace tolvane
