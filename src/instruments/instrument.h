// What the Nav Console's instruments share: values put by dispatch
// identifier, painting in a logical box (the control's stored extent in
// pixels) scaled onto the widget, and what screen readers are told.
#pragma once

#include <QAccessible>
#include <QFont>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QWidget>

namespace tolvane {

class Instrument : public QWidget {
    Q_OBJECT

public:
    // A property put; identifiers the instrument does not have are ignored.
    virtual void SetProperty(int dispatchId, double value) = 0;
    // The value last put, or the initial one; NaN for an unknown identifier.
    virtual double Property(int dispatchId) const = 0;

    // For screen readers. Only an instrument with a value is described
    // here; the panel is left to Qt's plain widget description.
    virtual bool HasValue() const { return false; }
    virtual double Value() const { return 0.0; }
    // The value as the instrument shows it (whole degrees), so that a
    // screen reader says what a sighted user reads off the dial, not the
    // value's full precision; and its text.
    virtual double ShownValue() const;
    virtual QString ValueText() const;
    virtual double Minimum() const { return 0.0; }
    virtual double Maximum() const { return 0.0; }
    virtual QAccessible::Role Role() const { return QAccessible::Pane; }

    // Logical box to widget coordinates, as painting uses it.
    QTransform FitTransform() const;
    QPointF MapFromLogical(const QPointF& logical) const { return FitTransform().map(logical); }

protected:
    Instrument(const QSizeF& logicalSize, bool keepAspect, QWidget* parent);

    // Tells screen readers when ShownValue() changed.
    void NotifyValueChanged();

private:
    QSizeF logical_;
    bool keepAspect_;
    double announced_ = 0.0;
};

// The instruments' lettering, sized in logical pixels: the stored state's
// fonts are 11 pixels high (the compass's direction display 13).
QFont InstrumentFont(int pixelSize, bool bold);


} // namespace tolvane
