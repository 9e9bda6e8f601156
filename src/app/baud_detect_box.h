// The Detect command's modal progress box, driving a BaudDetector with the
// link and a timer. Messages keep being dispatched while it runs, so the
// identity reply updates the title and version pane as usual.
#pragma once

#include <functional>

class QWidget;

namespace tolvane {

class DeviceLink;

struct DetectOutcome {
    int rate = 0; // the rate that answered, the port left open at it; 0 for none
    bool cancelled = false;
    bool reopenFailed = false; // the port would not reopen: it is closed
};

// Tries the rates on the open port; without an answer the port is reopened
// at `currentBaud`. `askIdentity` sends the serial number request.
DetectOutcome RunBaudDetection(DeviceLink& link, int currentBaud, const std::function<void()>& askIdentity,
                               QWidget* parent);

} // namespace tolvane
