// "Compass Compensation": starts the module's vehicle compensation, shows
// data collection per 45-degree heading sector and the computation's
// progress from DMCAL messages, then the result as a line of text. Beside
// the bars a guide draws the sectors as a rose with the current heading,
// and says what to do and how long the run has taken.
#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include <array>
#include <functional>

#include "session/message_receiver.h"
#include "link/device_message.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tolvane {

class CompensationRose;

class CompensationDialog : public QDialog, public MessageReceiver {
    Q_OBJECT

public:
    // `send` writes a request to the module. While open, the dialog waits
    // in `registry` (when given) for DMCAL messages.
    CompensationDialog(std::function<void(const OutgoingRequest&)> send, ReceiverRegistry* registry,
                       QWidget* parent = nullptr);

    // Takes DMCAL messages, and orientation messages for the guide's
    // heading; others are ignored.
    void OnMessage(const DeviceMessage& message) override;

    void setVisible(bool visible) override;

private:
    void Initialize();
    void ButtonClicked();
    // The guide beside the bars: the rose's sectors, the instruction line
    // and the elapsed time.
    void ShowGuide();

    std::function<void(const OutgoingRequest&)> send_;
    ReceiverRegistration registration_;

    std::array<QProgressBar*, 8> sectorBars_{}; // in Bins order
    std::array<int, 8> sectorValues_{};
    QProgressBar* computationBar_ = nullptr;
    int computationValue_ = 0;
    QLabel* result_ = nullptr;
    QPushButton* button_ = nullptr;
    bool done_ = false;
    CompensationRose* rose_ = nullptr;
    QLabel* instruction_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QTimer* clock_ = nullptr;
    QElapsedTimer started_;
};

} // namespace tolvane
