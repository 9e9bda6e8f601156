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
#include <QShortcut>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>

#include "views/message_ring.h"
#include "views/read_back.h"
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

    MessageHistory history;
    ReadBack readBack{history};
    std::vector<QShortcut*> pageKeys; // active while paused

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

    // Paging keys for the paused view; the view itself never takes the focus.
    const struct {
        QKeySequence::StandardKey key;
        int pages; // a large count runs to the end
    } paging[] = {{QKeySequence::MoveToPreviousPage, -1},
                  {QKeySequence::MoveToNextPage, 1},
                  {QKeySequence::MoveToStartOfDocument, -1000},
                  {QKeySequence::MoveToEndOfDocument, 1000}};
    for (const auto& p : paging) {
        auto* shortcut = new QShortcut(p.key, this, this, [this, pages = p.pages] {
            ScrollLines(pages * std::max(VisibleRows() - 1, 1));
        });
        shortcut->setEnabled(false);
        state_->pageKeys.push_back(shortcut);
    }

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
    state_->history.Add(line);
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
    if (ReadingBack()) {
        if (!state_->readBack.LinesAdded(VisibleRows()))
            return;
        update();
    } else {
        ScheduleNewLines();
    }
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
    if (ReadingBack())
        return PaintHistory(painter, event);
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

// Reading back

bool MessageView::ReadingBack() const
{
    return state_->readBack.Active();
}

void MessageView::ModeChanged()
{
    State& s = *state_;
    for (QShortcut* key : s.pageKeys)
        key->setEnabled(s.readBack.Paused());
    setAccessibleDescription(Mark());
    RepaintWithErase();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
}

void MessageView::SetPaused(bool paused)
{
    if (!state_->readBack.SetPaused(paused))
        return;
    ModeChanged();
    emit pausedChanged(paused);
}

bool MessageView::Paused() const
{
    return state_->readBack.Paused();
}

void MessageView::ScrollLines(int delta)
{
    if (state_->readBack.Scroll(VisibleRows(), delta))
        update();
}

void MessageView::Clear()
{
    State& s = *state_;
    s.ring = MessageRing{};
    s.history.Clear();
    const bool wasPaused = s.readBack.Cleared();
    ModeChanged();
    if (wasPaused) emit pausedChanged(false);
}

QString MessageView::CopyText() const
{
    if (const auto selected = state_->readBack.SelectionText())
        return QString::fromLatin1(*selected);
    std::string text;
    for (const auto& [mnemonic, line] : ShownLines())
        text += LineText(mnemonic, line) + '\n';
    return QString::fromLatin1(text);
}

bool MessageView::Find(const QString& text, bool forward)
{
    const QByteArray needle = text.toLatin1();
    const auto found =
        state_->readBack.FindNext({needle.constData(), static_cast<std::size_t>(needle.size())}, forward);
    if (!found)
        return false;
    SetPaused(true);
    state_->readBack.Select(*found, VisibleRows());
    update();
    return true;
}

QStringList MessageView::MnemonicsSeen() const
{
    QStringList names;
    for (const std::string& name : state_->history.MnemonicsSeen())
        names << QString::fromLatin1(name);
    return names;
}

bool MessageView::MnemonicShown(const QString& mnemonic) const
{
    return state_->history.IsShown(mnemonic.toLatin1().toStdString());
}

void MessageView::SetMnemonicShown(const QString& mnemonic, bool shown)
{
    state_->history.SetShown(mnemonic.toLatin1().toStdString(), shown);
    state_->readBack.FilterChanged(VisibleRows());
    ModeChanged();
}

bool MessageView::Filtered() const
{
    return state_->history.Filtered();
}

QString MessageView::Mark() const
{
    return QString::fromLatin1(state_->readBack.Mark());
}

std::vector<std::pair<std::string_view, std::string_view>> MessageView::ShownLines() const
{
    const State& s = *state_;
    std::vector<std::pair<std::string_view, std::string_view>> lines;
    if (!ReadingBack()) {
        const int count = std::min(VisibleRows(), LineCount());
        for (int k = LineCount() - count; k < LineCount(); ++k)
            lines.emplace_back(Line(k).mnemonic, Line(k).text);
        return lines;
    }
    for (const MessageHistory::Seq seq : s.readBack.Window(VisibleRows()))
        lines.emplace_back(s.history.Mnemonic(seq), s.history.Text(seq));
    return lines;
}

int MessageView::ShownLineCount() const
{
    return static_cast<int>(ShownLines().size());
}

QString MessageView::ShownLineName(int row) const
{
    const auto lines = ShownLines();
    if (row < 0 || row >= static_cast<int>(lines.size()))
        return {};
    const auto [mnemonic, text] = lines[row];
    return QString::fromLatin1(mnemonic.data(), static_cast<int>(mnemonic.size())) + QLatin1Char(' ')
         + QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

bool MessageView::RowSelected(int row) const
{
    const auto window = state_->readBack.Window(VisibleRows());
    return row >= 0 && row < static_cast<int>(window.size()) && state_->readBack.Selected(window[row]);
}

void MessageView::PaintHistory(QPainter& painter, const QPaintEvent* event)
{
    State& s = *state_;
    const int visible = VisibleRows();
    const auto window = s.readBack.Painted(visible);
    painter.setFont(s.font);
    const RowGeometry g = s.Geometry();
    const RowGeometry::RowSpan span =
        g.RowsInBand(event->rect().top(), event->rect().bottom() + 1, static_cast<int>(window.size()));
    for (int row = span.first; row < span.last; ++row) {
        const QRect cell = RowRect(row);
        const MessageHistory::Seq seq = window[row];
        const bool selected = s.readBack.Selected(seq);
        if (selected)
            painter.fillRect(cell, palette().color(QPalette::Active, QPalette::Highlight));
        painter.setPen(selected ? palette().color(QPalette::Active, QPalette::HighlightedText) : QColor(Qt::black));
        const std::string_view mnemonic = s.history.Mnemonic(seq), text = s.history.Text(seq);
        const int baseline = cell.top() + s.ascent;
        painter.drawText(QPoint(s.cw, baseline), QString::fromLatin1(mnemonic.data(), static_cast<int>(mnemonic.size())));
        painter.drawText(QPoint(11 * s.cw, baseline), QString::fromLatin1(text.data(), static_cast<int>(text.size())));
    }
}

void MessageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    SetPaused(true);
    state_->readBack.Click(state_->Geometry().RowAt(event->position().toPoint().y()), VisibleRows(),
                           event->modifiers() & Qt::ShiftModifier);
    update();
}

void MessageView::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton)
        && state_->readBack.Drag(state_->Geometry().RowAt(event->position().toPoint().y()), VisibleRows()))
        update();
}

void MessageView::wheelEvent(QWheelEvent* event)
{
    // Three lines a notch, as most views scroll; turning back pauses the view.
    const int lines = -event->angleDelta().y() / 40;
    if (lines < 0)
        SetPaused(true);
    ScrollLines(lines);
    event->accept();
}

} // namespace tolvane
