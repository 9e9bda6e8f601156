// "Magnetic Declination (WMM)": collects a position, a date and an
// altitude, checking each field as the user leaves it, asks the compass to
// compute and set the declination there from the World Magnetic Model, and
// reports what it set.
#pragma once

#include <QDate>
#include <QDialog>

#include <functional>
#include <memory>

#include "dialogs/wmm_form.h"
#include "session/message_receiver.h"
#include "dialogs/wait_timer.h"
#include "link/device_message.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tolvane {

class WmmDialog : public QDialog, public MessageReceiver {
    Q_OBJECT

public:
    static constexpr int kReplyTimeoutMs = 2000;

    // `send` writes a request to the module. While open, the dialog waits
    // in `registry` (when given) for DWMM messages. The date fields start
    // from `today`, or from the local date at opening when it is null. It
    // waits for the reply with `timer` when given, else with a Qt timer of
    // its own.
    WmmDialog(std::function<void(const OutgoingRequest&)> send, ReceiverRegistry* registry,
              QWidget* parent = nullptr, QDate today = QDate(), WaitTimer* timer = nullptr);

    // Takes the DWMM reply; anything else is ignored.
    void OnMessage(const DeviceMessage& message) override;

    void setVisible(bool visible) override;
    // Refused while a reply is awaited.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Hemisphere;

    void Open();
    void CheckCoordinate(const Hemisphere& field);
    void CheckAltitude();
    void UpdateSubmit();
    void Submit();
    void ReplyTimedOut();
    void Refocus(QLineEdit* edit);

    std::function<void(const OutgoingRequest&)> send_;
    ReceiverRegistration registration_;
    QDate today_;
    bool open_ = false;
    bool checking_ = false;

    QLineEdit* latitudeEdit_ = nullptr;
    QRadioButton* north_ = nullptr;
    QRadioButton* south_ = nullptr;
    QLineEdit* longitudeEdit_ = nullptr;
    QRadioButton* east_ = nullptr;
    QRadioButton* west_ = nullptr;
    QComboBox* monthList_ = nullptr;
    QLineEdit* dayEdit_ = nullptr;
    QLineEdit* yearEdit_ = nullptr;
    QLineEdit* altitudeEdit_ = nullptr;
    QPushButton* submit_ = nullptr;

    WmmForm form_; // the radio pairs give the signs

    // Runs exactly while a reply is awaited.
    std::unique_ptr<WaitTimer> ownTimer_;
    WaitTimer& replyTimer_;
};

} // namespace tolvane
