// The latest azimuth, pitch and roll as text, in a small captioned window
// ("Status") inside the message view. The panel object lives as long as
// the frame and keeps the values; its window exists only while shown.
#pragma once

#include <QPointer>
#include <QStringList>

#include "link/device_message.h"

class QWidget;

namespace tolvane {

class CaptionedChild;
class MessageView;

class OrientationPanel {
public:
    static constexpr std::uint16_t kOrientationType = 0x70; // 'p'

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

    // Takes the angles of an orientation message; other types are ignored.
    void Update(const DeviceMessage& message);
    // Forgets the values: the panel is blank until the next Update.
    void Clear();

    bool HasData() const { return hasData_; }
    double Azimuth() const { return azimuth_; }
    double Pitch() const { return pitch_; }
    double Roll() const { return roll_; }
    // The four texts painted, top to bottom; empty without data.
    QStringList Texts() const;

private:
    void Refresh();

    QPointer<MessageView> view_; // the frame may destroy it first
    QPointer<CaptionedChild> window_;
    bool hasData_ = false;
    double azimuth_ = 0.0;
    double pitch_ = 0.0;
    double roll_ = 0.0;
};

} // namespace tolvane
