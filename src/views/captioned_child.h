// A window inside the message view with a caption bar the project draws:
// dragged by its caption, resized by its border when allowed, and always
// kept within the view. The orientation panel and the Nav Console are such
// windows.
#pragma once

#include <QString>
#include <QWidget>

namespace tolvane {

class CaptionedChild : public QWidget {
    Q_OBJECT

public:
    CaptionedChild(const QString& caption, bool resizable, QWidget* parent);

    QString Caption() const { return caption_; }
    // The area under the caption and inside the border, in this widget's
    // coordinates; content is painted or placed there.
    QRect ClientRect() const;
    // Sizes the window so that its client area has this size.
    void SetClientSize(const QSize& size);

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
    QString caption_;
    bool resizable_;
    int dragEdges_ = 0; // which edges a press grabbed; caption drag moves
    QPoint pressGlobal_;
    QRect pressGeometry_;
};

} // namespace tolvane
