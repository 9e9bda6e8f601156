#include "views/orientation_panel.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstdio>

#include "protocol/angles.h"
#include "views/captioned_child.h"
#include "views/message_view.h"

namespace tolvane {

namespace {

class PanelWindow : public CaptionedChild {
public:
    PanelWindow(const OrientationPanel& panel, MessageView* view)
        : CaptionedChild(QStringLiteral("Status"), true, view), panel_(panel), view_(view)
    {
        setFocusPolicy(Qt::NoFocus);
        previousFocus_ = QApplication::focusWidget();
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (now != this)
                previousFocus_ = now;
        });
    }

protected:
    void PaintClient(QPainter& painter, const QRect& client) override
    {
        const QStringList texts = panel_.Texts();
        if (texts.isEmpty())
            return;
        const QFont font = view_->DisplayFont();
        painter.setFont(font);
        const int cw = view_->CharWidth();
        const int lh = view_->LineHeight();
        // Text is placed by its top, as the message view places its rows.
        const int top = client.top() + lh / 2 + QFontMetrics(font, this).ascent();
        for (int i = 0; i < texts.size(); ++i) {
            // Stale values are dimmed under the reason they are stale.
            painter.setPen(i > 0 && panel_.Stale() ? QColor(Qt::gray) : QColor(Qt::black));
            painter.drawText(QPoint(client.left() + (i == 0 ? 1 : 5) * cw, top + i * lh), texts[i]);
        }
    }

    // As the message view: the focus goes back to where it came from.
    void focusInEvent(QFocusEvent* event) override
    {
        CaptionedChild::focusInEvent(event);
        QWidget* previous = previousFocus_;
        if (previous != nullptr && previous != this && previous->window() == window() && previous->isEnabled()
            && previous->isVisible())
            previous->setFocus(Qt::OtherFocusReason);
        else
            clearFocus();
    }

private:
    const OrientationPanel& panel_;
    MessageView* view_;
    QPointer<QWidget> previousFocus_;
};

// The client area for the view's display font: as wide as the widest text
// each row can have, where PaintClient places it, and a margin of cw after
// it (never narrower than 27 cw); five rows high.
QSize ClientSizeFor(const MessageView& view)
{
    const QFontMetrics metrics(view.DisplayFont(), &view);
    // The widest digit stands for every digit, so that no value prints wider.
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit)
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(digit);
    const struct {
        int column; // in character widths
        const char* text;
    } widestTexts[] = {{1, "Compass:"}, {5, "Azim: 000.0"}, {5, "Pitch: -000.0"}, {5, "Roll: -000.0"}};
    const int cw = view.CharWidth();
    int width = 27 * cw;
    for (const auto& row : widestTexts) {
        const QString text = QString::fromLatin1(row.text).replace(QLatin1Char('0'), widest);
        width = std::max(width, (row.column + 1) * cw + metrics.horizontalAdvance(text));
    }
    return {width, 5 * view.LineHeight()};
}

} // namespace

OrientationPanel::OrientationPanel(MessageView* view) : view_(view) {}

OrientationPanel::~OrientationPanel()
{
    delete window_.data();
}

bool OrientationPanel::Show()
{
    if (window_ != nullptr)
        return true;
    if (view_ == nullptr)
        return false;
    auto* window = new PanelWindow(*this, view_.data());
    window_ = window;
    // Connected first, so that the placing below also redraws the view.
    QObject::connect(window, &CaptionedChild::geometryChanged, view_.data(), &MessageView::RepaintWithErase);
    window->KeepAtCorner(Corner::kBottomLeft);
    window->SetClientSize(ClientSizeFor(*view_));
    // An open panel follows the font too, at the corner that holds it, so that no text is cut.
    QObject::connect(view_.data(), &MessageView::displayFontChanged, window,
                     [window, view = view_.data()] { window->SetClientSize(ClientSizeFor(*view)); });
    window->show();
    Refresh();
    return true;
}

void OrientationPanel::Hide()
{
    delete window_.data();
}

bool OrientationPanel::Shown() const
{
    return window_ != nullptr;
}

QWidget* OrientationPanel::Window() const
{
    return window_.data();
}

void OrientationPanel::Update(const Orientation& orientation)
{
    roll_ = SignedAngleDegrees(orientation.roll);
    pitch_ = SignedAngleDegrees(orientation.pitch);
    azimuth_ = UnsignedAngleDegrees(orientation.azimuth);
    hasData_ = true;
    Refresh();
}

void OrientationPanel::Clear()
{
    hasData_ = false;
    Refresh();
}

void OrientationPanel::SetStale(const QString& reason)
{
    if (reason == staleReason_)
        return;
    staleReason_ = reason;
    Refresh();
}

QStringList OrientationPanel::Texts() const
{
    if (!hasData_)
        return Stale() ? QStringList{staleReason_} : QStringList{};
    char azimuth[32];
    char pitch[32];
    char roll[32];
    std::snprintf(azimuth, sizeof azimuth, "Azim: %.1f", azimuth_);
    std::snprintf(pitch, sizeof pitch, "Pitch: %.1f", pitch_);
    std::snprintf(roll, sizeof roll, "Roll: %.1f", roll_);
    return {Stale() ? staleReason_ : QStringLiteral("Compass:"), QString::fromLatin1(azimuth),
            QString::fromLatin1(pitch), QString::fromLatin1(roll)};
}

void OrientationPanel::Refresh()
{
    if (window_ == nullptr)
        return;
    window_->update();
    // Screen readers read the values as the panel's description.
    window_->setAccessibleDescription(Texts().join(QLatin1Char(' ')));
}

} // namespace tolvane
