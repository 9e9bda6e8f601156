// A three-digit seven-segment readout: whole degrees, lime segments lit on
// segments left dark in RGB(64, 0, 64), on black.
#pragma once

#include <QColor>
#include <QPolygonF>
#include <QString>

#include "instruments/instrument.h"

class CiSevenSegmentAnalogX : public tolvane::Instrument {
    Q_OBJECT

public:
    static constexpr int kValue = 2;
    static constexpr int kDigits = 3;
    static constexpr QRgb kSegmentOn = 0xff00ff00;  // clLime
    static constexpr QRgb kSegmentOff = 0xff400040; // 4194368

    explicit CiSevenSegmentAnalogX(QWidget* parent = nullptr);

    void SetProperty(int dispatchId, double value) override;
    double Property(int dispatchId) const override;

    // What the cells show, one character each.
    QString Text() const { return text_; }

    bool HasValue() const override { return true; }
    double Value() const override { return value_; }
    double ShownValue() const override;
    // Dashes are read as what they mean.
    QString ValueText() const override;
    double Minimum() const override { return -99.0; }
    double Maximum() const override { return 999.0; }
    QAccessible::Role Role() const override { return QAccessible::Indicator; }

    // Segment `segment` (0 = a, the top, clockwise to 5 = f; 6 = g, the
    // middle) of cell `cell` (0 leftmost), in the logical box of 75 x 26.
    static QPolygonF SegmentPolygon(int cell, int segment);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double value_ = 0.0;
    QString text_;
};
