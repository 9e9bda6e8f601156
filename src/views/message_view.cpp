#include "views/message_view.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>

#include <algorithm>
#include <cstdio>

#include "views/message_ring.h"
#include "views/message_view_accessible.h"

namespace tolvane {

struct MessageView::State {
    MessageRing ring;
    QFont font;
    int cw = 0;
    int lh = 0;
    int ascent = 0;
    std::function<std::vector<QWidget*>()> overlaps;
    // A full redraw is due; incremental planning waits for it.
    bool erased = true;
    bool startPosted = false;
    // The widget that last had the focus before the view, to hand it back.
    QPointer<QWidget> previousFocus;

    RowGeometry Geometry() const { return {lh}; }
};

MessageView::MessageView(QWidget* parent) : QWidget(parent), state_(new State)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(&CreateMessageViewAccessible);
        return true;
    }();
    (void)accessibleInstalled;

    // Opaque, so that Qt scrolls the pixels instead of repainting the rows.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(QStringLiteral("Messages"));
    SetDisplayFont(font());

    state_->previousFocus = QApplication::focusWidget();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now != this)
            state_->previousFocus = now;
    });
}

MessageView::~MessageView()
{
    delete state_;
}

void MessageView::AddMessage(const StatusLine& line)
{
    state_->ring.Append() = line;
    LinesAdded();
}

void MessageView::AddStatusLine(const char* text)
{
    StatusLine line;
    std::snprintf(line.text, sizeof line.text, "%s", text);
    AddMessage(line);
}

void MessageView::LinesAdded()
{
    ScheduleNewLines();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
}

// Qt draws only inside paintEvent, so the scroll is done here, at once, on
// the backing store; Qt moves any region still waiting to be painted along
// with the pixels, and the paint then draws the rows left dirty.
void MessageView::ScheduleNewLines()
{
    State& s = *state_;
    if (!isVisible() || !updatesEnabled()) {
        // Qt paints everything when the view shows or updates resume.
        s.erased = true;
        return;
    }
    if (s.erased)
        return; // the full redraw already asked for takes the new lines too
    const int visible = VisibleRows();
    const PaintPlan plan = PlanPaint(s.ring, visible, false);
    switch (plan.kind) {
    case PaintPlan::Kind::Nothing:
        return;
    case PaintPlan::Kind::Full:
        RepaintWithErase();
        break;
    case PaintPlan::Kind::Incremental:
        for (const PaintStep& step : plan.steps) {
            if (step.kind == PaintStep::Kind::Scroll)
                ScrollRows(visible);
            else
                RequestRow(step.row);
        }
        break;
    }
    s.ring.MarkPainted();
}

QRect MessageView::RowRect(int row) const
{
    return {0, state_->Geometry().RowTop(row), width(), state_->lh};
}

void MessageView::RequestRow(int row)
{
    update(RowRect(row));
}

void MessageView::ScrollRows(int visible)
{
    const RowGeometry g = state_->Geometry();
    const QRect rows(0, g.Margin(), width(), visible * g.lineHeight);
    scroll(0, -g.lineHeight, rows);
    RequestRow(visible - 1);

    // The scroll also moved the pixels of windows lying over the rows: the
    // row band above each window's top edge now shows a copy of that edge.
    std::vector<QWidget*> over;
    if (state_->overlaps)
        over = state_->overlaps();
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w != nullptr && !w->isWindow() && std::find(over.begin(), over.end(), w) == over.end())
            over.push_back(w);
    }
    for (QWidget* w : over) {
        if (w == nullptr || !w->isVisible())
            continue;
        const QRect r = w->isWindow()
            ? QRect(mapFromGlobal(w->frameGeometry().topLeft()), w->frameGeometry().size())
            : QRect(mapFromGlobal(w->mapToGlobal(QPoint(0, 0))), w->size());
        // A window inside the view was itself scrolled in the backing store.
        if (isAncestorOf(w) && r.intersects(rows))
            update(r & rows);
        const RowGeometry::RowSpan band = g.RowsInBand(r.top() - g.lineHeight, r.top(), visible);
        for (int row = band.first; row < band.last; ++row)
            RequestRow(row);
    }
}

QFont MessageView::DisplayFont() const
{
    return state_->font;
}

void MessageView::SetDisplayFont(const QFont& font)
{
    State& s = *state_;
    s.font = font;
    const QFontMetrics metrics(font, this);
    s.cw = metrics.averageCharWidth();
    s.lh = metrics.lineSpacing();
    s.ascent = metrics.ascent();
    RepaintWithErase();
    emit displayFontChanged();
}

int MessageView::CharWidth() const
{
    return state_->cw;
}

int MessageView::LineHeight() const
{
    return state_->lh;
}

void MessageView::SetContextActions(const QList<QAction*>& actions)
{
    auto* menu = new QMenu(this);
    menu->addActions(actions);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, menu, [this, menu](const QPoint& at) { menu->exec(mapToGlobal(at)); });
}

void MessageView::SetOverlapProvider(std::function<std::vector<QWidget*>()> provider)
{
    state_->overlaps = std::move(provider);
}

void MessageView::RepaintWithErase()
{
    state_->erased = true;
    update();
}

int MessageView::LineCount() const
{
    return state_->ring.Count();
}

const StatusLine& MessageView::Line(int fromOldest) const
{
    return state_->ring.FromOldest(fromOldest);
}

int MessageView::VisibleRows() const
{
    return state_->Geometry().VisibleRows(height());
}

void MessageView::paintEvent(QPaintEvent* event)
{
    State& s = *state_;
    if (!s.startPosted) {
        s.startPosted = true;
        // Queued, as a posted message: receivers open dialogs, not from a paint.
        QMetaObject::invokeMethod(this, &MessageView::firstPainted, Qt::QueuedConnection);
    }

    // Every paint draws the full-redraw picture inside its region; what
    // keeps a new line cheap is how small that region is.
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    const int visible = VisibleRows();
    if (visible > 0 && !s.ring.Empty()) {
        if (s.erased)
            s.ring.MarkPainted();
        painter.setFont(s.font);
        painter.setPen(Qt::black);
        const RowGeometry g = s.Geometry();
        const ShownRows rows = s.ring.Rows(visible);
        const QRegion& region = event->region();
        const RowGeometry::RowSpan span = g.RowsInBand(event->rect().top(), event->rect().bottom() + 1, rows.count);
        for (int row = span.first; row < span.last; ++row) {
            const QRect cell = RowRect(row);
            if (!region.intersects(cell))
                continue;
            // Clipped to its row, a line paints the same alone or among others.
            painter.setClipRect(cell);
            const StatusLine& line = s.ring.At(rows.Position(row));
            const int baseline = cell.top() + s.ascent;
            painter.drawText(QPoint(s.cw, baseline), QString::fromLatin1(line.mnemonic));
            painter.drawText(QPoint(11 * s.cw, baseline), QString::fromLatin1(line.text));
        }
    }
    s.erased = false;
}

void MessageView::resizeEvent(QResizeEvent* event)
{
    state_->erased = true;
    QWidget::resizeEvent(event);
}

void MessageView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    QWidget* previous = state_->previousFocus;
    if (previous != nullptr && previous != this && previous->window() == window() && previous->isEnabled()
        && previous->isVisible())
        previous->setFocus(Qt::OtherFocusReason);
    else
        clearFocus();
}

} // namespace tolvane
