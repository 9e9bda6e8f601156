// The geometry and number formatting of the Nav Console's instruments, free
// of any drawing so that it can be checked on its own.
//
// Angles on a dial are degrees clockwise from straight up (12 o'clock), the
// sense in which QPainter::rotate turns on a y-down surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::instruments {

// A dial arc of `spanDegrees`, centred on straight up, from `min` at its
// left end to `max` at its right end.
struct Arc {
    double min;
    double max;
    double spanDegrees;
};

// The pointer angle of `value`: the arc's ends for values beyond them; NaN
// rests at the `min` end, where an unpowered pointer would lie.
double ArcAngle(const Arc& arc, double value);

// `majorCount` tick values spread evenly from min to max, both included.
std::vector<double> MajorTicks(double min, double max, int majorCount);
// `minorCount` tick values evenly between each pair of neighbouring majors.
std::vector<double> MinorTicks(double min, double max, int majorCount, int minorCount);

// The stretch of a following scale on show: `span` degrees centred on the
// value. A non-finite value centres it on 0 and the centre is held within
// -180..180, the range of a signed angle, so that ticks stay countable.
struct ScaleWindow {
    double low;
    double high;
};
ScaleWindow FollowingWindow(double value, double span);

enum class TickKind { kMajor, kMid, kMinor };

struct ScaleTick {
    double value;
    TickKind kind;
    double position; // 0 at the window's low end, 1 at its high end
};

// Ticks every `minorStep` inside the window (its ends included), every
// `minorsPerMid`-th a mid tick and every `minorsPerMajor`-th a major one,
// counted from 0. Only major ticks carry labels, lowest first.
std::vector<ScaleTick> WindowTicks(const ScaleWindow& window, double minorStep, int minorsPerMid, int minorsPerMajor);
// The text of a tick label: the value as a whole number ("-20", "0", "30").
std::string TickLabel(double value);

// A heading brought into 0..360 (360 excluded); non-finite gives 0.
double NormalizeHeading(double degrees);
// The turn of a compass card that brings `heading` under the fixed lubber
// line at the top: the card turns the other way, by the normalised heading.
double CardRotation(double heading);
// The nearest of the eight points ("N", "NE", ... "NW"); each covers 45
// degrees centred on its direction, a boundary going to the next point clockwise.
const char* DirectionName(double heading);
// The label printed on the card at a multiple of 30 degrees: the four
// cardinal letters and tens of degrees between them ("3" for 30); empty elsewhere.
std::string CardLabel(int degrees);

// An angle as the instruments show it: whole degrees, halves away from
// zero, never -0; NaN stays NaN.
double WholeDegrees(double degrees);
// The heading a compass card shows under its lubber line: whole degrees
// from 0 to 360, as its readout shows it (a hair below 360 is 360).
double CardHeading(double heading);

// The whole number a readout of `digits` cells shows for `value`, or NaN
// where it shows dashes (see ReadoutText).
double ReadoutValue(double value, int digits);
// The text of a seven-segment readout of `digits` cells: the value rounded
// to a whole number (halves away from zero), right-aligned, a minus sign
// taking a cell. A value that does not fit (three cells hold -99 .. 999)
// and NaN show a dash in every cell rather than a wrong number.
std::string ReadoutText(double value, int digits);

// Segments lit for a readout character, bit 0 = a (top) clockwise to
// bit 5 = f (upper left), bit 6 = g (middle). Digits, '-' and ' '; any
// other character lights nothing.
std::uint8_t SegmentsOf(char c);

// The mapping of a logical box of lw x lh onto a widget of w x h: each
// coordinate times its scale plus its offset. Keeping the aspect scales
// both ways alike and centres the box.
struct Fit {
    double sx;
    double sy;
    double dx;
    double dy;
};
Fit FitBox(double lw, double lh, double w, double h, bool keepAspect);

} // namespace tolvane::instruments
