// The Nav Console: a captioned child window of the message view showing
// azimuth, roll and pitch on instruments, each with a readout below. The
// object lives as long as the frame; its window exists only while open.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

#include "views/captioned_child.h"

namespace tolvane {

class Instrument;

class NavConsole {
public:
    // Control identifiers of the console's template.
    static constexpr int kRollGaugeId = 1360;
    static constexpr int kPitchScaleId = 1361;
    static constexpr int kCompassId = 1362;
    static constexpr int kRollReadoutId = 1363;
    static constexpr int kPitchReadoutId = 1364;
    static constexpr int kAzimuthReadoutId = 1365;
    static constexpr int kPanelId = 1366;
    // The client area, in dialog units of the window's font.
    static constexpr int kClientWidth = 309;
    static constexpr int kClientHeight = 126;

    // Told of every property write Update makes, after the control took it.
    using WriteObserver = std::function<void(int controlId, int dispatchId, double value)>;

    explicit NavConsole(QWidget* parent, WriteObserver observer = {});
    ~NavConsole();
    NavConsole(const NavConsole&) = delete;
    NavConsole& operator=(const NavConsole&) = delete;

    // Creates the window with its controls in their initial state and shows
    // it at the parent's top-right corner. False, and nothing shown, without
    // a parent. An open console stays as it is.
    bool Open();
    // Destroys the window, if any.
    void Close();
    bool IsOpen() const { return !window_.isNull(); }
    // Null while closed.
    CaptionedChild* Window() const { return window_; }

    // Writes the angles (degrees) into the instruments; nothing while closed.
    void Update(float azimuth, float roll, float pitch);

    // While the port is lost or closed the instruments show stale values:
    // they are dimmed under `reason` (as "COM1 Lost"). Empty: live again.
    void SetStale(const QString& reason);
    bool Stale() const { return !staleReason_.isEmpty(); }

private:
    void Write(int controlId, int dispatchId, double value);
    void ShowStaleness();

    QPointer<QWidget> parent_;
    QPointer<CaptionedChild> window_;
    WriteObserver observer_;
    // The window's controls, valid while window_ is: they are its children.
    struct Bound {
        int id;
        Instrument* control;
    };
    std::vector<Bound> controls_;
    QString staleReason_;
    QPointer<QLabel> veil_; // over the instruments while stale
};

} // namespace tolvane
