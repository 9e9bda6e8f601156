#include "instruments/instrument.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include <cmath>
#include <cstdio>

#include "instruments/instrument_math.h"

namespace tolvane {

namespace {

class InstrumentAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit InstrumentAccessible(Instrument* instrument) : QAccessibleWidget(instrument, instrument->Role()) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return Get()->ValueText();
        return QAccessibleWidget::text(t);
    }

    // No number while the instrument shows none (a readout's dashes):
    // readers then take the value's text.
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return std::isfinite(Get()->ShownValue()) ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }

    QVariant currentValue() const override { return Get()->ShownValue(); }
    void setCurrentValue(const QVariant&) override {} // instruments only show
    QVariant maximumValue() const override { return Get()->Maximum(); }
    QVariant minimumValue() const override { return Get()->Minimum(); }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    Instrument* Get() const { return static_cast<Instrument*>(widget()); }
};

QAccessibleInterface* CreateInstrumentAccessible(const QString&, QObject* object)
{
    auto* instrument = qobject_cast<Instrument*>(object);
    if (instrument == nullptr || !instrument->HasValue())
        return nullptr;
    return new InstrumentAccessible(instrument);
}

} // namespace

Instrument::Instrument(const QSizeF& logicalSize, bool keepAspect, QWidget* parent)
    : QWidget(parent), logical_(logicalSize), keepAspect_(keepAspect)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(&CreateInstrumentAccessible);
        return true;
    }();
    (void)accessibleInstalled;
    // Every instrument fills its whole rectangle, so nothing behind it is painted.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QTransform Instrument::FitTransform() const
{
    const instruments::Fit f =
        instruments::FitBox(logical_.width(), logical_.height(), width(), height(), keepAspect_);
    return QTransform(f.sx, 0.0, 0.0, f.sy, f.dx, f.dy);
}

void Instrument::NotifyValueChanged()
{
    // Readers hear a change of what is shown, not every new value behind it.
    const double shown = ShownValue();
    if (shown == announced_ || (std::isnan(shown) && std::isnan(announced_)))
        return;
    announced_ = shown;
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(this, std::isfinite(shown) ? QVariant(shown) : QVariant(ValueText()));
    QAccessible::updateAccessibility(&event);
}

QFont InstrumentFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

double Instrument::ShownValue() const
{
    return instruments::WholeDegrees(Value());
}

QString Instrument::ValueText() const
{
    const double shown = ShownValue();
    if (!std::isfinite(shown))
        return {};
    char text[400]; // room for the largest double written out in full
    std::snprintf(text, sizeof text, "%.0f", shown);
    return QString::fromLatin1(text);
}

} // namespace tolvane
