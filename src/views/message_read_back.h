// The message view's reading back as the frame's commands run it: Find,
// whose window stays open beside the view, Find Next and Find Previous,
// and Filter, whose NMEA tick and the view's NMEA switch are one.
#pragma once

#include <QObject>

#include <functional>

class QStatusBar;
class QWidget;

namespace tolvane {

class MessageFindDialog;
class MessageView;

class MessageReadBack : public QObject {
    Q_OBJECT

public:
    // `nmeaShown` reads the NMEA switch and `toggleNmea` turns it over; a
    // search that finds nothing says so in `status`.
    MessageReadBack(MessageView& view, QWidget* owner, QStatusBar* status, std::function<bool()> nmeaShown,
                    std::function<void()> toggleNmea);

    // Find...: its window, made at the first Find and owned by `owner`.
    void Find();
    // Find Next and Find Previous; Find... while no text is given.
    void FindNext(bool forward);
    void Filter();
    // The NMEA switch was turned over: sentences switched on are not left
    // hidden by the filter.
    void NmeaSwitched();
    bool HasFindText() const;

signals:
    // The text to find changed, or a search ran.
    void changed();

private:
    MessageView& view_;
    QWidget* owner_;
    QStatusBar* status_;
    std::function<bool()> nmeaShown_;
    std::function<void()> toggleNmea_;
    MessageFindDialog* findDialog_ = nullptr;
};

} // namespace tolvane
