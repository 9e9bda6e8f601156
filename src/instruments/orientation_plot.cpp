#include "instruments/orientation_plot.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iterator>

#include "dialogs/drop_down_list.h"

namespace tolvane {

using plot::kHeading;
using plot::kPitch;
using plot::kRoll;

namespace {

struct TraceStyle {
    const char* name;
    QColor color;
};
const TraceStyle kTraces[plot::kTraceCount] = {
    {"Heading", QColor(0x2f, 0x6d, 0xb5)}, {"Pitch", QColor(0x2e, 0x9a, 0x3e)}, {"Roll", QColor(0xd2, 0x3c, 0x2c)}};

// Narrowest ranges the strips scale to, so that a still module's noise
// does not fill them.
constexpr double kMinHeadingSpan = 10.0;
constexpr double kMinTiltSpan = 4.0;
constexpr int kSlowestRefreshMs = 500;

// Screen readers meet the chart as a graphic whose value is the newest
// angles and whose description says why they are stale.
class PlotCanvasAccessible : public QAccessibleWidget {
public:
    explicit PlotCanvasAccessible(PlotCanvas* canvas) : QAccessibleWidget(canvas, QAccessible::Chart) {}

    QString text(QAccessible::Text t) const override
    {
        const auto* canvas = static_cast<PlotCanvas*>(widget());
        if (t == QAccessible::Value) return canvas->ValueText();
        if (t == QAccessible::Description) return canvas->DescriptionText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }
};

QAccessibleInterface* CreatePlotCanvasAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(PlotCanvas::staticMetaObject.className()))
        return new PlotCanvasAccessible(static_cast<PlotCanvas*>(object));
    return nullptr;
}

// One strip: its rectangle and the axis its values are drawn against.
struct Strip {
    QRect rect;
    plot::Axis axis;
    double Y(double v) const { return plot::ValueY(axis, rect.top(), rect.height(), v); }
};

// A vertical stroke per column from its minimum to its maximum, joined to
// the column before unless the link was silent between them. `wrapped`:
// the values are drawn on 0 .. 360, the line broken where it crosses north.
void DrawTrace(QPainter& p, const std::vector<plot::Column>& columns, int trace, const Strip& strip, bool wrapped)
{
    std::vector<QLineF> lines;
    lines.reserve(columns.size() * 2);
    double previousX = 0, previous = 0;
    bool have = false;
    const auto join = [&](double x0, double from, double x1, double to) {
        double shift = 0; // whole turns, when wrapped
        if (wrapped) {
            plot::Interval parts[2];
            if (plot::WrapInterval(std::min(from, to), std::max(from, to), parts) > 1) return; // through north
            shift = parts[0].lo - std::min(from, to);
        }
        lines.emplace_back(x0, strip.Y(from + shift), x1, strip.Y(to + shift));
    };
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const plot::Column& column = columns[c];
        if (column.count == 0) continue;
        const plot::TraceSpan& s = column.trace[trace];
        const double x = strip.rect.left() + static_cast<double>(c) + 0.5;
        if (have && column.joined) join(previousX, previous, x, s.first);
        plot::Interval parts[2] = {{s.min, s.max}, {}};
        const int count = wrapped ? plot::WrapInterval(s.min, s.max, parts) : 1;
        for (int i = 0; i < count; ++i) lines.emplace_back(x, strip.Y(parts[i].lo), x, strip.Y(parts[i].hi));
        previousX = x;
        previous = s.last;
        have = true;
    }
    p.setPen(QPen(kTraces[trace].color, 1));
    p.drawLines(lines.data(), static_cast<int>(lines.size()));
}

} // namespace

PlotCanvas::PlotCanvas(const OrientationPlot& plot, QWidget* parent) : QWidget(parent), plot_(plot)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(&CreatePlotCanvasAccessible);
        return true;
    }();
    (void)accessibleInstalled;
    setAccessibleName(QStringLiteral("Orientation plot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(160, 120);
}

QString PlotCanvas::ValueText() const
{
    const plot::SampleRing& ring = plot_.Samples();
    return ring.Empty() ? QStringLiteral("No data") : QString::fromStdString(plot::AnglesText(ring.Newest()));
}

QString PlotCanvas::DescriptionText() const
{
    const QString reason = plot_.Stale() ? plot_.StaleReason() + QStringLiteral(". ") : QString();
    return reason + QStringLiteral("Last %1; newest %2")
                        .arg(QString::fromUtf8(plot::kSpans[plot_.SpanIndex()].name), ValueText());
}

QRect PlotCanvas::PlotArea() const
{
    const QFontMetrics fm = fontMetrics();
    const int left = fm.horizontalAdvance(QStringLiteral("-180.00")) + 8;
    const int top = fm.height() + 6;
    const int bottom = fm.height() + 4;
    return QRect(left, top, std::max(1, width() - left - 8), std::max(1, height() - top - bottom));
}

QString PlotCanvas::CursorText(int x) const
{
    const QRect area = PlotArea();
    const plot::CursorReading reading =
        plot::ReadCursor(plot_.Samples(), plot_.RightEdgeMs(), plot_.SpanMs(), x - area.left(), area.width());
    return QString::fromStdString(plot::CursorText(plot_.Samples(), reading));
}

const std::vector<plot::Column>& PlotCanvas::Columns(const QRect& area)
{
    const Key key{plot_.Appended(), plot_.RightEdgeMs(), plot_.SpanMs(), area.width()};
    if (key == key_) return columns_;
    key_ = key;
    // The right edge's own sample is drawn: the span ends just after it.
    plot::Decimate(plot_.Samples(), key.rightMs - key.spanMs + 1, key.rightMs + 1, area.width(), columns_);
    return columns_;
}

void PlotCanvas::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QFontMetrics fm = fontMetrics();
    const QRect area = PlotArea();
    const std::vector<plot::Column>& columns = Columns(area);

    // The legend, and the pause shown beside it.
    int x = area.left();
    for (const TraceStyle& t : kTraces) {
        p.fillRect(QRect(x, 4 + fm.height() / 2 - 2, 14, 4), t.color);
        p.setPen(Qt::black);
        p.drawText(QPoint(x + 18, 3 + fm.ascent()), QString::fromUtf8(t.name));
        x += 18 + fm.horizontalAdvance(QString::fromUtf8(t.name)) + 14;
    }
    if (plot_.Paused()) p.drawText(QPoint(x + 10, 3 + fm.ascent()), QStringLiteral("Paused"));

    // Heading above, pitch and roll below.
    // Room between the strips for their facing end labels.
    const int gap = fm.height() + 2;
    const int half = (area.height() - gap) / 2;
    const auto [hLo, hHi] = plot::Extremes(columns, {kHeading});
    const auto [tLo, tHi] = plot::Extremes(columns, {kPitch, kRoll});
    const bool wrapped = plot::HeadingWraps(hLo, hHi);
    const Strip strips[] = {
        {QRect(area.left(), area.top(), area.width(), half),
         wrapped ? plot::kWrappedHeadingAxis : plot::AutoscaleAxis(hLo, hHi, kMinHeadingSpan, 4)},
        {QRect(area.left(), area.bottom() + 1 - half, area.width(), half),
         plot::AutoscaleAxis(tLo, tHi, kMinTiltSpan, 4)}};

    // Grid and labels: value ticks per strip, time ticks through both.
    const QColor grid(0xe2, 0xe6, 0xea);
    for (int i = 0; i < 2; ++i) {
        const Strip& s = strips[i];
        p.setPen(QColor(0x90, 0x98, 0xa0));
        p.drawRect(s.rect.adjusted(0, 0, -1, -1));
        for (double v = s.axis.lo; v <= s.axis.hi + s.axis.step / 2; v += s.axis.step) {
            const int y = static_cast<int>(std::lround(s.Y(v)));
            p.setPen(grid);
            if (y > s.rect.top() && y < s.rect.bottom()) p.drawLine(s.rect.left() + 1, y, s.rect.right() - 1, y);
            p.setPen(Qt::black);
            const QString label = QString::fromStdString(plot::AngleTickLabel(v, s.axis.step, i == 0));
            p.drawText(QRect(0, y - fm.height() / 2, s.rect.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                       label);
        }
    }
    const std::int32_t span = plot_.SpanMs();
    const std::int32_t tick = plot::kSpans[plot_.SpanIndex()].tickMs;
    plot::TimeLabelRow labels(area.left(), area.right() + 8, width(), fm.averageCharWidth());
    for (std::int32_t back = 0; back <= span; back += tick) {
        const int tx = plot::TimeTickX(area.left(), area.width(), span, back);
        p.setPen(grid);
        for (const Strip& s : strips) p.drawLine(tx, s.rect.top() + 1, tx, s.rect.bottom() - 1);
        p.setPen(Qt::black);
        const QString label = QString::fromStdString(plot::TimeTickLabel(-back));
        if (const auto lx = labels.Place(tx, fm.horizontalAdvance(label)))
            p.drawText(*lx, area.bottom() + 2 + fm.ascent(), label);
    }

    for (const int trace : {kHeading, kPitch, kRoll}) {
        const Strip& s = strips[trace == kHeading ? 0 : 1];
        p.save();
        p.setClipRect(s.rect.adjusted(1, 1, -1, -1));
        DrawTrace(p, columns, trace, s, wrapped && trace == kHeading);
        p.restore();
    }

    if (cursorX_ >= area.left() && cursorX_ <= area.right()) {
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1, Qt::DashLine));
        p.drawLine(cursorX_, area.top(), cursorX_, area.bottom());
        const QString text = CursorText(cursorX_);
        if (!text.isEmpty()) {
            const QRect box = fm.boundingRect(text).adjusted(-4, -2, 4, 2);
            const int bx = std::clamp(cursorX_ + 6, area.left(), std::max(area.left(), area.right() - box.width()));
            const QRect placed(bx, area.top() + 2, box.width(), box.height());
            p.fillRect(placed, QColor(255, 255, 240, 230));
            p.setPen(Qt::black);
            p.drawRect(placed.adjusted(0, 0, -1, -1));
            p.drawText(placed, Qt::AlignCenter, text);
        }
    }

    if (plot_.Stale()) {
        p.fillRect(rect(), QColor(0, 0, 0, 120));
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        p.setPen(Qt::white);
        p.drawText(rect().adjusted(8, 0, -8, 0), Qt::AlignCenter | Qt::TextWordWrap, plot_.StaleReason());
    }
}

void PlotCanvas::mouseMoveEvent(QMouseEvent* event)
{
    cursorX_ = event->position().toPoint().x();
    update();
    QWidget::mouseMoveEvent(event);
}

void PlotCanvas::leaveEvent(QEvent* event)
{
    cursorX_ = -1;
    update();
    QWidget::leaveEvent(event);
}

OrientationPlot::OrientationPlot(QWidget* parent, std::function<std::int32_t()> clockMs)
    : parent_(parent), clockMs_(std::move(clockMs))
{
    refresh_.setInterval(kSlowestRefreshMs / 5);
    QObject::connect(&refresh_, &QTimer::timeout, [this] { Refresh(); });
}

OrientationPlot::~OrientationPlot()
{
    Close();
}

bool OrientationPlot::Open()
{
    if (window_) return true;
    if (!parent_) return false;

    auto* window = new CaptionedChild(QStringLiteral("Orientation Plot"), true, parent_);
    window->setAccessibleDescription(staleReason_);
    auto* content = new QWidget(window);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);
    auto* bar = new QHBoxLayout;
    auto* spanLabel = new QLabel(QStringLiteral("&Span:"), content);
    auto* spanChoice = new DropDownList(content);
    for (const plot::Span& s : plot::kSpans) spanChoice->addItem(QString::fromUtf8(s.name));
    spanChoice->setCurrentIndex(span_);
    spanChoice->setAccessibleName(QStringLiteral("Time span"));
    spanLabel->setBuddy(spanChoice);
    auto* pause = new QPushButton(QStringLiteral("&Pause"), content);
    pause->setCheckable(true);
    pause->setChecked(paused_);
    auto* png = new QPushButton(QStringLiteral("Save P&NG..."), content);
    // Not Alt+C, the Compass menu's.
    auto* csv = new QPushButton(QStringLiteral("Sav&e CSV..."), content);
    for (QWidget* w : std::initializer_list<QWidget*>{spanLabel, spanChoice, pause, png, csv}) bar->addWidget(w);
    bar->addStretch();
    auto* canvas = new PlotCanvas(*this, content);
    column->addLayout(bar);
    column->addWidget(canvas, 1);

    QObject::connect(spanChoice, &QComboBox::currentIndexChanged, [this](int index) { SetSpan(index); });
    QObject::connect(pause, &QPushButton::toggled, [this](bool on) { SetPaused(on); });
    QObject::connect(png, &QPushButton::clicked, [this] { AskAndSave(true); });
    QObject::connect(csv, &QPushButton::clicked, [this] { AskAndSave(false); });
    QObject::connect(window, &CaptionedChild::geometryChanged, content,
                     [window, content] { content->setGeometry(window->ClientRect()); });

    window_ = window;
    canvas_ = canvas;
    spanChoice_ = spanChoice;
    pauseButton_ = pause;
    const QFontMetrics fm(window->font());
    window->SetClientSize(QSize(fm.averageCharWidth() * 80, fm.height() * 20));
    content->setGeometry(window->ClientRect());
    window->KeepAtCorner(Corner::kBottomRight);
    window->show();
    shown_ = appended_;
    refresh_.start();
    return true;
}

void OrientationPlot::Close()
{
    refresh_.stop();
    delete window_.data();
}

void OrientationPlot::Append(std::int32_t timeMs, double heading, double pitch, double roll)
{
    ring_.Append(timeMs, heading, pitch, roll);
    ++appended_;
}

void OrientationPlot::Clear()
{
    ring_.Clear();
    ++appended_;
}

void OrientationPlot::Refresh()
{
    if (!canvas_ || paused_) return;
    // The time axis moves on with the clock, data or not.
    canvas_->update();
    if (appended_ == shown_) return;
    shown_ = appended_;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent value(canvas_, canvas_->ValueText());
        QAccessible::updateAccessibility(&value);
        QAccessibleEvent description(canvas_, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
    }
}

void OrientationPlot::SetSpan(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(plot::kSpans))) return;
    span_ = index;
    // About one repaint per pixel column of time, between 10 and 2 a second:
    // smooth enough for a strip chart, and the program stays light in burst.
    refresh_.setInterval(std::clamp(SpanMs() / 600, kSlowestRefreshMs / 5, kSlowestRefreshMs));
    if (spanChoice_ && spanChoice_->currentIndex() != index) spanChoice_->setCurrentIndex(index);
    if (canvas_) canvas_->update();
}

void OrientationPlot::SetPaused(bool paused)
{
    if (paused && !paused_) pausedAtMs_ = RightEdgeMs();
    paused_ = paused;
    if (pauseButton_ && pauseButton_->isChecked() != paused) pauseButton_->setChecked(paused);
    if (canvas_) canvas_->update();
}

std::int32_t OrientationPlot::RightEdgeMs() const
{
    if (paused_) return pausedAtMs_;
    return std::max(clockMs_(), ring_.Empty() ? 0 : ring_.Newest().timeMs);
}

void OrientationPlot::SetStale(const QString& reason)
{
    if (reason == staleReason_) return;
    staleReason_ = reason;
    if (window_) window_->setAccessibleDescription(reason);
    if (canvas_) canvas_->update();
}

bool OrientationPlot::SavePng(const QString& path) const
{
    const bool saved = canvas_ && canvas_->grab().save(path, "PNG");
    if (saved) folder_ = QFileInfo(path).absolutePath();
    return saved;
}

bool OrientationPlot::SaveCsv(const QString& path) const
{
    std::string text = plot::kCsvHeader;
    text += "\r\n";
    if (!ring_.Empty()) {
        const std::size_t first = ring_.FirstAtOrAfter(ring_.Newest().timeMs - plot::kLongestSpanMs);
        text.reserve(text.size() + (ring_.Size() - first) * 72);
        // The wall-clock time at the clock's zero, to the millisecond.
        const std::int64_t zeroMs = QDateTime::currentMSecsSinceEpoch() - clockMs_();
        for (std::size_t i = first; i < ring_.Size(); ++i) {
            const std::int64_t wallMs = zeroMs + ring_[i].timeMs;
            const std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
            std::tm local{};
            localtime_r(&seconds, &local);
            plot::AppendCsvRow(text, ring_[i], wallMs, static_cast<int>(local.tm_gmtoff));
        }
    }
    QSaveFile file(path);
    const bool saved =
        file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) && file.commit();
    if (saved) folder_ = QFileInfo(path).absolutePath();
    return saved;
}

QString OrientationPlot::ProposedPath(bool png) const
{
    return QDir(folder_).filePath(png ? QStringLiteral("orientation.png") : QStringLiteral("orientation.csv"));
}

void OrientationPlot::AskAndSave(bool png)
{
    const QString suffix = png ? QStringLiteral(".png") : QStringLiteral(".csv");
    const QString title = png ? QStringLiteral("Save Plot as PNG") : QStringLiteral("Save Plot as CSV");
    const QString filter = png ? QStringLiteral("PNG images (*.png)") : QStringLiteral("CSV files (*.csv)");
    QString path = QFileDialog::getSaveFileName(window_, title, ProposedPath(png), filter);
    if (path.isEmpty()) return;
    if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
    if (!(png ? SavePng(path) : SaveCsv(path)))
        QMessageBox(QMessageBox::Warning, QStringLiteral("Orientation Plot"),
                    QStringLiteral("Could not write %1.").arg(path), QMessageBox::Ok, window_)
            .exec();
}

} // namespace tolvane
