// The black raised panel behind the Nav Console's instruments; it has no
// properties and no title.
#pragma once

#include "instruments/instrument.h"

class CiPanelX : public tolvane::Instrument {
    Q_OBJECT

public:
    explicit CiPanelX(QWidget* parent = nullptr);

    void SetProperty(int dispatchId, double value) override;
    double Property(int dispatchId) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
