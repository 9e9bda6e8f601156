// The roll gauge: a yellow arrow pointer on a half circle from -90 to 90
// degrees, with red sections beyond +-45 and a lime one between -20 and
// 20, aqua markers at the current minimum and maximum, and the labels
// "Roll" and "Degrees".
#pragma once

#include <QColor>
#include <QPixmap>

#include "instruments/instrument.h"
#include "instruments/instrument_math.h"

// The instruments live outside the project's namespace so that their
// run-time class names are exactly the controls' names.
class CiAngularGaugeX : public tolvane::Instrument {
    Q_OBJECT

public:
    static constexpr int kPosition = 65;
    static constexpr int kCurrentMin = 63;
    static constexpr int kCurrentMax = 62;

    // The stored state.
    static constexpr tolvane::instruments::Arc kArc{-90.0, 90.0, 180.0};
    static constexpr int kMajorTicks = 7;
    static constexpr int kMinorTicks = 2;
    static constexpr double kSectionEnds[] = {-45.0, -20.0, 20.0, 45.0};
    // clRed, (not stored), clLime, (not stored), clRed; the two bands
    // between are the project's neutral grey.
    static constexpr QRgb kSectionColors[] = {0xffff0000, 0xff808080, 0xff00ff00, 0xff808080, 0xffff0000};
    static constexpr double kInitialMin = -20.0;
    static constexpr double kInitialMax = 20.0;

    // Layout in the logical box of 180 x 163 (the stored extent).
    static constexpr double kHubX = 90.0;
    static constexpr double kHubY = 110.0;
    static constexpr double kBandInner = 55.0;
    static constexpr double kBandOuter = 62.0;
    static constexpr double kPointerLength = 52.0;

    explicit CiAngularGaugeX(QWidget* parent = nullptr);

    void SetProperty(int dispatchId, double value) override;
    double Property(int dispatchId) const override;

    bool HasValue() const override { return true; }
    double Value() const override { return position_; }
    double Minimum() const override { return kArc.min; }
    double Maximum() const override { return kArc.max; }
    QAccessible::Role Role() const override { return QAccessible::Dial; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintFace(QPainter& painter) const;

    double position_ = 0.0;
    double currentMin_ = kInitialMin;
    double currentMax_ = kInitialMax;
    // Background, sections, ticks and lettering, drawn for the device size
    // in faceFor_ and drawn again when that changes.
    QPixmap face_;
    QSize faceFor_;
};
