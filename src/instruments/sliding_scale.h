// The pitch scale: a vertical scale whose 50-degree window follows the
// value, which stays at the fixed index in the middle; yellow ticks, white
// labels and the title "Pitch" on black.
#pragma once

#include <QPixmap>

#include "instruments/instrument.h"

class CiSlidingScaleX : public tolvane::Instrument {
    Q_OBJECT

public:
    static constexpr int kPosition = 27;

    static constexpr double kSpan = 50.0;
    // Ticks every degree, mid ticks every 5 and labelled major ticks every 10.
    static constexpr double kMinorStep = 1.0;
    static constexpr int kMinorsPerMid = 5;
    static constexpr int kMinorsPerMajor = 10;

    // Layout in the logical box of 111 x 163 (the stored extent); values
    // rise upwards and the ticks point right from the baseline.
    static constexpr double kScaleTop = 28.0;
    static constexpr double kScaleBottom = 153.0;
    static constexpr double kBaseX = 40.0;
    static constexpr double kMajorLength = 12.0;
    static constexpr double kMidLength = 8.0;
    static constexpr double kMinorLength = 4.0;

    explicit CiSlidingScaleX(QWidget* parent = nullptr);

    void SetProperty(int dispatchId, double value) override;
    double Property(int dispatchId) const override;

    bool HasValue() const override { return true; }
    double Value() const override { return position_; }
    double Minimum() const override { return -180.0; }
    double Maximum() const override { return 180.0; }
    QAccessible::Role Role() const override { return QAccessible::Indicator; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double position_ = 0.0;
    // Background, title, baseline and index, for the device size in frameFor_.
    QPixmap frame_;
    QSize frameFor_;
};
