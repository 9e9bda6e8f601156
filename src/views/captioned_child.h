// A window inside the message view with a caption bar the project draws:
// dragged by its caption, resized by its border when allowed, and always
// kept within the view. The orientation panel and the Nav Console are such
// windows.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

#include "views/child_placement.h"

namespace tolvane {

class CaptionedChild : public QWidget {
    Q_OBJECT

public:
    CaptionedChild(const QString& caption, bool resizable, QWidget* parent);

    QString Caption() const { return caption_; }
    // The area under the caption and inside the border, in this widget's
    // coordinates; content is painted or placed there.
    QRect ClientRect() const;
    // Sizes the window so that its client area has this size (wider if the
    // caption needs it), keeping its place (below).
    void SetClientSize(const QSize& size);

    // Holds the window at `corner` of the parent, now and as the parent is
    // resized, until the user moves or resizes it: from then on it keeps its
    // offset from the corner nearest to where the user left it.
    void KeepAtCorner(Corner corner);
    // Puts the window where its corner says for the parent's present size,
    // or only inside the parent when it has no corner; the parent's resizing
    // calls this.
    void KeepPlace();

signals:
    // After every move or resize, by the user or the program: the view
    // behind redraws whole.
    void geometryChanged();

protected:
    // Paints the client area (already filled white); `client` is ClientRect().
    virtual void PaintClient(QPainter& painter, const QRect& client);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // After the user's move or resize: the nearest corner holds the window.
    void HoldWhereTheUserLeftIt();

    QString caption_;
    bool resizable_;
    int dragEdges_ = 0; // which edges a press grabbed; caption drag moves
    QPoint pressGlobal_;
    QRect pressGeometry_;
    std::optional<ChildAnchor> anchor_; // set by KeepAtCorner and by the user only
};

} // namespace tolvane
