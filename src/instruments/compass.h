// The compass card for azimuth: a card with a red north mark, ticks and
// white bold labels turns under a fixed lubber mark at the top; the point
// of the compass being headed is shown in black bold in the middle.
#pragma once

#include <QPixmap>

#include "instruments/instrument.h"

class CiCompassX : public tolvane::Instrument {
    Q_OBJECT

public:
    static constexpr int kHeading = 16;

    // Layout in the logical box of 163 x 163 (the stored extent).
    static constexpr double kCentre = 81.5;
    static constexpr double kCardRadius = 70.0;
    // The red north mark's middle, from the card's centre.
    static constexpr double kNorthMarkRadius = 64.0;

    explicit CiCompassX(QWidget* parent = nullptr);

    void SetProperty(int dispatchId, double value) override;
    double Property(int dispatchId) const override;

    bool HasValue() const override { return true; }
    double Value() const override { return heading_; }
    double ShownValue() const override;
    double Minimum() const override { return 0.0; }
    double Maximum() const override { return 360.0; }
    QAccessible::Role Role() const override { return QAccessible::Dial; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintCard();

    double heading_ = 0.0;
    // The card at north up, square around its centre, for the widget size
    // (in device pixels) in cardFor_;
    // painting turns it.
    QPixmap card_;
    QSize cardFor_;
};
