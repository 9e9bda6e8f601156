// The latest azimuth, pitch and roll as text, in a small captioned window
// ("Status") inside the message view. The panel object lives as long as
// the frame and keeps the values; its window exists only while shown.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include "protocol/messages.h"

class QWidget;

namespace tolvane {

class CaptionedChild;
class MessageView;

class OrientationPanel {
public:
    explicit OrientationPanel(MessageView* view);
    ~OrientationPanel();
    OrientationPanel(const OrientationPanel&) = delete;
    OrientationPanel& operator=(const OrientationPanel&) = delete;

    // Makes the window in the view's bottom-left corner, sized for the
    // current display font; true when the window exists afterwards (false
    // only once the view is gone).
    bool Show();
    // Destroys the window; the values stay.
    void Hide();
    bool Shown() const;
    // The window while shown, otherwise null: it lies over the view's rows.
    QWidget* Window() const;

    // Takes the angles of an orientation message.
    void Update(const Orientation& orientation);
    // Forgets the values: the panel is blank until the next Update.
    void Clear();
    // While the port is lost or closed the values are stale: they are
    // dimmed, under `reason` (as "COM1 Lost") in place of "Compass:".
    // An empty reason: live again.
    void SetStale(const QString& reason);
    bool Stale() const { return !staleReason_.isEmpty(); }

    bool HasData() const { return hasData_; }
    double Azimuth() const { return azimuth_; }
    double Pitch() const { return pitch_; }
    double Roll() const { return roll_; }
    // The texts painted, top to bottom: "Compass:" (or the stale reason)
    // and the three values; without data, only a stale reason if any.
    QStringList Texts() const;

private:
    void Refresh();

    QPointer<MessageView> view_; // the frame may destroy it first
    QPointer<CaptionedChild> window_;
    bool hasData_ = false;
    double azimuth_ = 0.0;
    double pitch_ = 0.0;
    double roll_ = 0.0;
    QString staleReason_;
};

} // namespace tolvane
