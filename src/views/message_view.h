// The main window's client pane: the last 50 messages received, one line
// each, newest at the bottom, in two columns (mnemonic and text). A new
// line costs one pixel scroll and one row; a full redraw happens only
// after the background was erased (resize, exposure, font change).
//
// Paused, the view stops following new lines (they are still dispatched,
// logged and captured) and reads back through the history of the last
// 10,000 lines; lines are selected with the mouse, found and filtered by
// message type there. While a filter hides a type, the view shows the
// history's newest shown lines, redrawn whole for each.
#pragma once

#include <QFont>
#include <QWidget>
#include <QAction>
#include <QStringList>

#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "link/device_message.h"
#include "protocol/message_catalogue.h"
#include "views/message_history.h"

namespace tolvane {

class MessageView : public QWidget {
    Q_OBJECT

public:
    explicit MessageView(QWidget* parent = nullptr);
    ~MessageView() override;

    // Puts `line` (a message rendered by the frame) into the next line of
    // the ring and schedules the incremental paint.
    void AddMessage(const StatusLine& line);
    // A line of the program's own about the link (" COM1 Lost "): the text
    // column only, painted and kept as a message's line is.
    void AddStatusLine(const char* text);

    // The display font; its metrics are taken now and the view redrawn whole.
    void SetDisplayFont(const QFont& font);
    QFont DisplayFont() const;
    int CharWidth() const;  // average character width, pixels
    int LineHeight() const; // height plus leading, pixels

    // The windows that may lie over the view, in the order their row bands
    // are repainted after a scroll (orientation panel, then the dialogs).
    void SetOverlapProvider(std::function<std::vector<QWidget*>()> provider);
    // The context menu's entries. One menu for the whole run, so that
    // assistive technology never meets the entries of an earlier one.
    void SetContextActions(const QList<QAction*>& actions);

    // A full redraw at the next paint, as after an erase.
    void RepaintWithErase();

    // For the frame's tests and accessibility: the lines held, oldest first.
    int LineCount() const;
    const StatusLine& Line(int fromOldest) const;
    int VisibleRows() const;

    // Reading back. Unpausing ends the selection and returns to the live view.
    void SetPaused(bool paused);
    bool Paused() const;
    // Moves a paused view `delta` shown lines later (earlier when negative).
    void ScrollLines(int delta);
    // Empties the view and its history, and ends a pause.
    void Clear();
    // The selected lines as text, or else the lines on screen.
    QString CopyText() const;
    // Selects the next (previous) shown line that holds `text`, pausing the
    // view and scrolling it into sight; false when no line holds it.
    bool Find(const QString& text, bool forward);
    // The filter: the message types seen, and which of them are shown.
    QStringList MnemonicsSeen() const;
    bool MnemonicShown(const QString& mnemonic) const;
    void SetMnemonicShown(const QString& mnemonic, bool shown);
    bool Filtered() const;
    // "Paused", "Filtered", both, or empty: the mark the frame shows in its
    // status bar, where no child window of the view covers it.
    QString Mark() const;

    // What is on screen, top to bottom, for accessibility.
    int ShownLineCount() const;
    QString ShownLineName(int row) const;
    bool RowSelected(int row) const;

signals:
    // Once per run, at the first paint: the frame opens the link then.
    void firstPainted();
    // After SetDisplayFont, with the new metrics in place.
    void displayFontChanged();
    // The user paused or resumed the view (also by wheel or mouse).
    void pausedChanged(bool paused);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void LinesAdded();
    void ScheduleNewLines();
    QRect RowRect(int row) const;
    void RequestRow(int row);
    void ScrollRows(int visible);
    bool ReadingBack() const;
    // The mnemonic and text of each line on screen, top to bottom.
    std::vector<std::pair<std::string_view, std::string_view>> ShownLines() const;
    void PaintHistory(QPainter& painter, const QPaintEvent* event);
    void ModeChanged();

    struct State;
    State* state_;
};

} // namespace tolvane
