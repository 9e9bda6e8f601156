#include "instruments/nav_console.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>
#include <span>

#include "instruments/angular_gauge.h"
#include "instruments/compass.h"
#include "instruments/panel.h"
#include "instruments/seven_segment.h"
#include "instruments/sliding_scale.h"

namespace tolvane {
namespace {

enum class Kind { kGauge, kScale, kReadout, kCompass, kPanel };

struct Control {
    int id;
    Kind kind;
    const char* name; // for screen readers
    int x, y, w, h;   // dialog units
};

// The template, in its order: the first lies on top, the panel behind all.
constexpr Control kTemplate[] = {
    {NavConsole::kRollGaugeId, Kind::kGauge, "Roll", 0, 0, 120, 100},
    {NavConsole::kPitchScaleId, Kind::kScale, "Pitch", 118, 0, 74, 100},
    {NavConsole::kRollReadoutId, Kind::kReadout, "Roll readout", 32, 104, 50, 16},
    {NavConsole::kPitchReadoutId, Kind::kReadout, "Pitch readout", 127, 105, 50, 15},
    {NavConsole::kAzimuthReadoutId, Kind::kReadout, "Azimuth readout", 222, 105, 50, 16},
    {NavConsole::kCompassId, Kind::kCompass, "Azimuth", 191, 0, 117, 100},
    {NavConsole::kPanelId, Kind::kPanel, "Instrument panel", 0, 0, 309, 126},
};

struct DialogUnits {
    double h;
    double v;
};

DialogUnits UnitsOf(const QFont& font)
{
    const QFontMetricsF fm(font);
    // The average over the Latin letters, as the template units are defined.
    const double average = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    return {average / 4.0, fm.height() / 8.0};
}

int Px(int units, double perUnit)
{
    return static_cast<int>(std::lround(units * perUnit));
}

Instrument* Make(Kind kind, QWidget* parent)
{
    switch (kind) {
    case Kind::kGauge: return new CiAngularGaugeX(parent);
    case Kind::kScale: return new CiSlidingScaleX(parent);
    case Kind::kReadout: return new CiSevenSegmentAnalogX(parent);
    case Kind::kCompass: return new CiCompassX(parent);
    case Kind::kPanel: break;
    }
    return new CiPanelX(parent);
}

// A dark veil with the reason the values are stale, over the instruments.
class StaleVeil : public QLabel {
public:
    explicit StaleVeil(QWidget* parent) : QLabel(parent)
    {
        setAlignment(Qt::AlignCenter);
        setTextFormat(Qt::PlainText);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::white);
        setPalette(p);
        QFont f = font();
        f.setBold(true);
        setFont(f);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter painter(this);
            painter.fillRect(rect(), QColor(0, 0, 0, 170));
        }
        QLabel::paintEvent(event);
    }
};

} // namespace

NavConsole::NavConsole(QWidget* parent, WriteObserver observer) : parent_(parent), observer_(std::move(observer)) {}

NavConsole::~NavConsole()
{
    Close();
}

bool NavConsole::Open()
{
    if (window_)
        return true;
    if (!parent_)
        return false;

    auto* window = new CaptionedChild(QStringLiteral("Nav Console"), false, parent_);
    window->setAccessibleName(QStringLiteral("Nav Console"));
    const DialogUnits u = UnitsOf(window->font());
    window->SetClientSize(QSize(Px(kClientWidth, u.h), Px(kClientHeight, u.v)));
    const QPoint origin = window->ClientRect().topLeft();
    controls_.clear();
    for (const Control& c : kTemplate) {
        Instrument* w = Make(c.kind, window);
        w->setObjectName(QString::number(c.id));
        w->setAccessibleName(QString::fromUtf8(c.name));
        w->setGeometry(QRect(origin + QPoint(Px(c.x, u.h), Px(c.y, u.v)), QSize(Px(c.w, u.h), Px(c.h, u.v))));
        // Each control goes beneath those before it, as in the template.
        w->lower();
        controls_.push_back({c.id, w});
    }

    veil_ = new StaleVeil(window);
    veil_->setGeometry(window->ClientRect());
    veil_->raise();

    window_ = window;
    window->KeepAtCorner(Corner::kTopRight);
    ShowStaleness();
    window->show();
    return true;
}

void NavConsole::Close()
{
    controls_.clear();
    delete window_.data();
}

void NavConsole::SetStale(const QString& reason)
{
    if (reason == staleReason_)
        return;
    staleReason_ = reason;
    ShowStaleness();
}

void NavConsole::ShowStaleness()
{
    if (!veil_)
        return;
    veil_->setText(staleReason_);
    veil_->setVisible(Stale());
    window_->setAccessibleDescription(staleReason_);
}

void NavConsole::Update(float azimuth, float roll, float pitch)
{
    if (!window_)
        return;
    Write(kCompassId, CiCompassX::kHeading, azimuth);
    Write(kAzimuthReadoutId, CiSevenSegmentAnalogX::kValue, azimuth);
    Write(kPitchScaleId, CiSlidingScaleX::kPosition, pitch);
    Write(kPitchReadoutId, CiSevenSegmentAnalogX::kValue, pitch);
    Write(kRollGaugeId, CiAngularGaugeX::kPosition, roll);
    Write(kRollReadoutId, CiSevenSegmentAnalogX::kValue, roll);
    // The gauge's stored minimum and maximum, put back after every value.
    Write(kRollGaugeId, CiAngularGaugeX::kCurrentMin, -20.0);
    Write(kRollGaugeId, CiAngularGaugeX::kCurrentMax, 20.0);
}

void NavConsole::Write(int controlId, int dispatchId, double value)
{
    for (const Bound& b : controls_) {
        if (b.id != controlId)
            continue;
        b.control->SetProperty(dispatchId, value);
        if (observer_)
            observer_(controlId, dispatchId, value);
        return;
    }
}

} // namespace tolvane
