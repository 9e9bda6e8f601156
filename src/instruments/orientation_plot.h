// The Orientation Plot: a captioned child window of the message view with
// heading, pitch and roll against time over a chosen span. It records every
// orientation message, open or not (the displays see only those the
// hold-off lets through), in a ring of fixed size holding the longest span
// at the fastest rate. The object lives as long as the frame; its window
// exists only while open.
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

#include "instruments/plot_math.h"
#include "views/captioned_child.h"

class QComboBox;
class QPushButton;

namespace tolvane {

class OrientationPlot;

// The strip chart itself: a heading strip above a pitch-and-roll strip,
// one pixel column per slice of the span, a legend, time ticks, and a
// cursor that reads the sample under the mouse.
class PlotCanvas : public QWidget {
    Q_OBJECT

public:
    PlotCanvas(const OrientationPlot& plot, QWidget* parent);

    // What screen readers hear as the plot's value: the newest angles; as
    // its description, also the span and why the plot is veiled.
    QString ValueText() const;
    QString DescriptionText() const;
    // The cursor's reading at `x` (this widget's coordinates): the time
    // before the right edge and the nearest sample's angles; empty
    // outside the plot or without samples.
    QString CursorText(int x) const;
    // Where the traces are drawn, both strips.
    QRect PlotArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The columns for the present span, size and data; reused while the
    // cursor alone moves.
    const std::vector<plot::Column>& Columns(const QRect& area);

    const OrientationPlot& plot_;
    std::vector<plot::Column> columns_;
    struct Key {
        std::uint64_t appended;
        std::int32_t rightMs, spanMs;
        int width;
        bool operator==(const Key&) const = default;
    } key_{~std::uint64_t{0}, 0, 0, 0};
    int cursorX_ = -1;
};

class OrientationPlot {
public:
    // The longest span at 38400 baud in burst (320 messages a second) with
    // room to spare: 2^18 samples of 16 bytes, 4 MiB.
    static constexpr std::size_t kCapacity = std::size_t{1} << 18;

    // `clockMs` gives the time now, on the clock of the messages' times.
    OrientationPlot(QWidget* parent, std::function<std::int32_t()> clockMs);
    ~OrientationPlot();
    OrientationPlot(const OrientationPlot&) = delete;
    OrientationPlot& operator=(const OrientationPlot&) = delete;

    // Creates the window and shows it at the parent's bottom-right corner;
    // false without a parent. An open plot stays as it is.
    bool Open();
    void Close();
    bool IsOpen() const { return !window_.isNull(); }
    CaptionedChild* Window() const { return window_; }
    PlotCanvas* Canvas() const { return canvas_; }

    // One orientation message: its arrival (ms since program start) and
    // its angles in degrees, the heading 0 .. 360.
    void Append(std::int32_t timeMs, double heading, double pitch, double roll);
    const plot::SampleRing& Samples() const { return ring_; }
    // Forgets what it recorded: another source (a recording, or the port
    // after one) starts on a time of its own.
    void Clear();
    // Counts every Append, so that a painter can tell new data.
    std::uint64_t Appended() const { return appended_; }

    // An index into plot::kSpans; the window's drop-down follows.
    void SetSpan(int index);
    int SpanIndex() const { return span_; }
    std::int32_t SpanMs() const { return plot::kSpans[span_].ms; }

    // Paused, the plot stops moving at the time it was paused; recording
    // goes on, and resuming shows the newest data again.
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }
    // The time at the plot's right edge: now, so that a silence shows as a
    // gap, or the pause's.
    std::int32_t RightEdgeMs() const;

    // While the port is lost or closed, or the link silent or garbled, the
    // plot is dimmed under `reason`.
    void SetStale(const QString& reason);
    bool Stale() const { return !staleReason_.isEmpty(); }
    const QString& StaleReason() const { return staleReason_; }

    // The plot as shown; the samples of the longest span, as CSV. False
    // when the file cannot be written. Either remembers the file's folder.
    bool SavePng(const QString& path) const;
    bool SaveCsv(const QString& path) const;
    // The file the save dialog proposes: in the folder last saved into.
    QString ProposedPath(bool png) const;

private:
    void Refresh();
    void AskAndSave(bool png);

    QPointer<QWidget> parent_;
    std::function<std::int32_t()> clockMs_;
    mutable QString folder_; // of the last file saved
    QPointer<CaptionedChild> window_;
    QPointer<PlotCanvas> canvas_;
    QPointer<QComboBox> spanChoice_;
    QPointer<QPushButton> pauseButton_;
    QTimer refresh_;
    plot::SampleRing ring_{kCapacity};
    std::uint64_t appended_ = 0;
    std::uint64_t shown_ = 0; // appended_ at the last refresh
    int span_ = 0;
    bool paused_ = false;
    std::int32_t pausedAtMs_ = 0;
    QString staleReason_;
};

} // namespace tolvane
