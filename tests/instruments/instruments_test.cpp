#include <QImage>
#include <QPainterPath>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "instruments/angular_gauge.h"
#include "instruments/compass.h"
#include "instruments/seven_segment.h"
#include "instruments/sliding_scale.h"

namespace tolvane {
namespace {

// A fresh rendering of the instrument at `size`.
QImage Render(Instrument& w, QSize size)
{
    w.resize(size);
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor At(const QImage& image, QPointF p)
{
    return image.pixelColor(p.toPoint());
}

bool IsYellow(const QColor& c)
{
    return c.red() > 200 && c.green() > 200 && c.blue() < 80;
}

// The logical point `radius` from `centre` at `angle` degrees clockwise from up.
QPointF Polar(QPointF centre, double angle, double radius)
{
    const double a = angle * std::numbers::pi / 180.0;
    return centre + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

using Maker = std::function<std::unique_ptr<Instrument>()>;
template <typename T> Maker Make()
{
    return [] { return std::make_unique<T>(); };
}

struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override { return (paints += event->type() == QEvent::Paint), false; }
    int paints = 0;
};

// A value that leaves the picture as it was repaints nothing; an identifier
// the instrument does not have reads as NaN.
TEST(Instruments, RepaintOnlyWhenThePictureChanges)
{
    const struct {
        Maker make;
        int id;
        double first, samePicture, changed;
    } cases[] = {{Make<CiAngularGaugeX>(), 65, 100.0, 120.0, 89.0}, // beyond the arc's end
                 {Make<CiAngularGaugeX>(), 63, -95.0, -100.0, -20.0},
                 {Make<CiSevenSegmentAnalogX>(), 2, 12.2, 12.4, 12.6}, // the same digits
                 {Make<CiSlidingScaleX>(), 27, 200.0, 250.0, 179.0},   // the centre held at 180
                 {Make<CiCompassX>(), 16, 10.0, 370.0, 11.0}};          // a full turn more
    for (const auto& c : cases) {
        const std::unique_ptr<Instrument> w = c.make();
        SCOPED_TRACE(std::string(w->metaObject()->className()) + " " + std::to_string(c.id));
        w->resize(150, 150);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->SetProperty(c.id, c.first);
        QCoreApplication::processEvents();
        PaintCounter counter(w.get());
        w->SetProperty(c.id, c.first);
        w->SetProperty(c.id, c.samePicture);
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints, 0);
        w->SetProperty(c.id, c.changed);
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints, 1);
        w->SetProperty(-1, 5.0);
        EXPECT_TRUE(std::isnan(w->Property(-1)));
    }
}

// Drawn at twice the logical size.
const QSize kGaugeSize(360, 326);

QPointF GaugePoint(const CiAngularGaugeX& g, double angle, double radius)
{
    return g.MapFromLogical(Polar({CiAngularGaugeX::kHubX, CiAngularGaugeX::kHubY}, angle, radius));
}

// The arc is red beyond 45 degrees and lime within 20; aqua markers stand
// at the current minimum and maximum; the pointer points from the hub
// towards the value, held at the arc's ends.
TEST(RollGauge, ArcColoursMarkersAndPointer)
{
    constexpr QRgb kRed = 0xffff0000, kLime = 0xff00ff00, kGrey = 0xff808080;
    const struct {
        double value;
        QRgb color;
    } cases[] = {{-87, kRed}, {-48, kRed}, {-42, kGrey}, {-17, kLime}, {17, kLime}, {30, kGrey}, {48, kRed}};
    CiAngularGaugeX g;
    Render(g, QSize(90, 82)); // the face is drawn again for a new size
    const QImage image = Render(g, kGaugeSize);
    const double band = (CiAngularGaugeX::kBandInner + CiAngularGaugeX::kBandOuter) / 2.0;
    for (const auto& c : cases)
        EXPECT_EQ(At(image, GaugePoint(g, instruments::ArcAngle(CiAngularGaugeX::kArc, c.value), band)).rgb(), c.color)
            << c.value;

    const auto markedAt = [&g](const QImage& picture) {
        std::vector<double> marked;
        for (double v : {-60.0, -20.0, 20.0, 75.0}) {
            const QColor c = At(picture, GaugePoint(g, v, 66.0));
            if (c.red() < 60 && c.green() > 200 && c.blue() > 200)
                marked.push_back(v);
        }
        return marked;
    };
    EXPECT_EQ(markedAt(image), (std::vector<double>{-20.0, 20.0}));
    g.SetProperty(CiAngularGaugeX::kCurrentMin, -60.0);
    g.SetProperty(CiAngularGaugeX::kCurrentMax, 75.0);
    EXPECT_EQ(markedAt(Render(g, kGaugeSize)), (std::vector<double>{-60.0, 75.0}));

    const struct {
        double value, angle;
    } pointers[] = {{-90, -90}, {45, 45}, {-200, -90}, {135, 90}};
    for (const auto& c : pointers) {
        g.SetProperty(CiAngularGaugeX::kPosition, c.value);
        const QImage picture = Render(g, kGaugeSize);
        for (double angle : {-90.0, -45.0, 0.0, 45.0, 90.0})
            for (double radius : {15.0, 45.0})
                EXPECT_EQ(IsYellow(At(picture, GaugePoint(g, angle, radius))), angle == c.angle)
                    << "value " << c.value << ", looking at " << angle << " degrees, radius " << radius;
        EXPECT_TRUE(IsYellow(At(picture, GaugePoint(g, 0.0, 0.0)))) << "the hub";
    }
}

TEST(PitchScale, TicksMoveWithTheValueUnderTheMiddleIndex)
{
    // Whether a major tick (not a shorter one) crosses the row where `value` shows.
    const struct {
        double position, value;
        bool major;
    } cases[] = {{0, 0, true},      {5, 5, false}, {5, 0, true},  {-23, -30, true},
                 {-23, -25, false}, {2, 10, true}, {3, 30, false}};
    const double top = CiSlidingScaleX::kScaleTop;
    const double bottom = CiSlidingScaleX::kScaleBottom;
    const double x = CiSlidingScaleX::kBaseX + (CiSlidingScaleX::kMidLength + CiSlidingScaleX::kMajorLength) / 2.0;
    for (const auto& c : cases) {
        CiSlidingScaleX s;
        s.SetProperty(CiSlidingScaleX::kPosition, c.position);
        const QImage image = Render(s, QSize(222, 326));
        const double y = (top + bottom) / 2.0 - (c.value - c.position) * (bottom - top) / CiSlidingScaleX::kSpan;
        const QPoint p = s.MapFromLogical(QPointF(x, y)).toPoint();
        const bool yellow = IsYellow(image.pixelColor(p)) || IsYellow(image.pixelColor(p + QPoint(0, 1))) ||
                            IsYellow(image.pixelColor(p - QPoint(0, 1)));
        EXPECT_EQ(yellow, c.major) << "showing " << c.position << ", at " << c.value;
    }
}

// The card's north mark turns away from the heading; its ticks stand every
// 5 degrees, the long ones (every 10) reaching further in.
TEST(Compass, CardTurnsNorthAwayFromTheHeading)
{
    const struct {
        double heading, northAt;
    } cases[] = {{0, 0}, {90, 270}, {315, 45}, {359.9945068359375, 0}, {-90, 90}};
    const QPointF centre(CiCompassX::kCentre, CiCompassX::kCentre);
    for (const auto& c : cases) {
        CiCompassX compass;
        compass.SetProperty(CiCompassX::kHeading, c.heading);
        const QImage image = Render(compass, QSize(326, 326));
        const auto seen = [&](double angle, double radius) {
            return At(image, compass.MapFromLogical(Polar(centre, angle, radius)));
        };
        for (double angle : {0.0, 90.0, 180.0, 270.0, c.northAt}) {
            const QColor p = seen(angle, CiCompassX::kNorthMarkRadius);
            EXPECT_EQ(p.red() > 180 && p.green() < 80 && p.blue() < 80, angle == c.northAt)
                << "heading " << c.heading << ", looking at " << angle;
        }
        for (double bearing : {10.0, 15.0, 185.0, 190.0, 350.0, 355.0}) {
            const double inner = CiCompassX::kCardRadius - 3.0, outer = CiCompassX::kCardRadius - 7.0;
            EXPECT_GT(qGray(seen(bearing + c.northAt, inner).rgb()), 100) << c.heading << ", tick at " << bearing;
            EXPECT_EQ(qGray(seen(bearing + c.northAt, outer).rgb()) > 100, static_cast<int>(bearing) % 10 == 0)
                << c.heading << ", tick at " << bearing;
        }
    }
}

// The readout lights its segments lime on dark ones, each where a digit's
// segment stands (a on top, then clockwise, g in the middle).
TEST(Readout, LightsLimeSegmentsOnDarkOnes)
{
    const struct {
        double value;
        const char* text;
        const char* lit[3]; // segment letters per cell
    } cases[] = {{359.9945068359375, "360", {"abcdg", "acdefg", "abcdef"}},
                 {-45.3, "-45", {"g", "bcfg", "acdfg"}},
                 {128.0, "128", {"bc", "abdeg", "abcdefg"}},
                 {1234.0, "---", {"g", "g", "g"}}};
    using Segment = CiSevenSegmentAnalogX;
    // Where the segments a to g stand, in a cell from its top-left to its bottom-right bar ends.
    const QPointF places[7] = {{0.5, 0}, {1, 0.25}, {1, 0.75}, {0.5, 1}, {0, 0.75}, {0, 0.25}, {0.5, 0.5}};
    for (const auto& c : cases) {
        CiSevenSegmentAnalogX r;
        r.SetProperty(CiSevenSegmentAnalogX::kValue, c.value);
        EXPECT_EQ(r.Text().toStdString(), c.text);
        const QImage image = Render(r, QSize(150, 52));
        for (int cell = 0; cell < 3; ++cell) {
            const QPointF topLeft(Segment::SegmentPolygon(cell, 4).boundingRect().center().x(),
                                  Segment::SegmentPolygon(cell, 0).boundingRect().center().y());
            const QPointF size = QPointF(Segment::SegmentPolygon(cell, 1).boundingRect().center().x(),
                                         Segment::SegmentPolygon(cell, 3).boundingRect().center().y()) -
                                 topLeft;
            for (int segment = 0; segment < 7; ++segment) {
                const char letter = static_cast<char>('a' + segment);
                const bool lit = std::string(c.lit[cell]).find(letter) != std::string::npos;
                const QPointF at = topLeft + QPointF(places[segment].x() * size.x(), places[segment].y() * size.y());
                EXPECT_EQ(At(image, r.MapFromLogical(at)).rgb(), lit ? Segment::kSegmentOn : Segment::kSegmentOff)
                    << c.value << ": cell " << cell << " segment " << letter;
            }
        }
        EXPECT_EQ(At(image, QPointF(1.0, 1.0)).rgb(), qRgb(0, 0, 0));
    }
    // The segments of a cell meet but do not overlap.
    for (int a = 0; a < 7; ++a) {
        for (int b = a + 1; b < 7; ++b) {
            QPainterPath one, other;
            one.addPolygon(Segment::SegmentPolygon(0, a));
            other.addPolygon(Segment::SegmentPolygon(0, b));
            const QRectF overlap = one.intersected(other).boundingRect();
            EXPECT_LT(overlap.width() * overlap.height(), 0.01) << a << " " << b;
        }
    }
}

} // namespace
} // namespace tolvane
