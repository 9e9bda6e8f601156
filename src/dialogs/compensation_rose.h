// The compensation dialog's drawing: the eight heading sectors as a rose,
// each filled outwards as its data is collected, and the current heading
// as a pointer. Its description tells screen readers the same.
#pragma once

#include <QWidget>

#include <cmath>

#include "dialogs/compensation_guide.h"

namespace tolvane {

class CompensationRose : public QWidget {
    Q_OBJECT

public:
    explicit CompensationRose(QWidget* parent = nullptr);

    void SetBins(const SectorBins& bins);
    // NaN: no heading known.
    void SetHeading(double degrees);
    const SectorBins& Bins() const { return bins_; }
    double Heading() const { return heading_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Describe();

    SectorBins bins_{};
    double heading_ = std::nan("");
};

} // namespace tolvane
