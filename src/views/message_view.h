// The main window's client pane: the last 50 messages received, one line
// each, newest at the bottom, in two columns (mnemonic and text). A new
// line costs one pixel scroll and one row; a full redraw happens only
// after the background was erased (resize, exposure, font change).
#pragma once

#include <QFont>
#include <QWidget>
#include <QAction>

#include <functional>
#include <vector>

#include "link/device_message.h"
#include "protocol/message_catalogue.h"

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

signals:
    // Once per run, at the first paint: the frame opens the link then.
    void firstPainted();
    // After SetDisplayFont, with the new metrics in place.
    void displayFontChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void LinesAdded();
    void ScheduleNewLines();
    QRect RowRect(int row) const;
    void RequestRow(int row);
    void ScrollRows(int visible);

    struct State;
    State* state_;
};

} // namespace tolvane
