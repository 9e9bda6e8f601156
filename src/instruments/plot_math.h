// The orientation plot's maths, apart from its widget: heading unwrapping,
// the fixed ring of samples, the reduction of a time span to pixel columns
// (minimum and maximum per column), axis scaling, tick labels and where
// they go, the reading under the cursor, and the rows of the CSV the plot
// saves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::plot {

// Degrees in [0, 360).
double WrapHeading(double degrees);
// `heading` (any turn) placed next to `previous`, an unwrapped heading: the
// value that differs from `previous` by the shorter turn, in [-180, 180).
// A turn through north so stays a continuous line.
double UnwrapHeading(double previous, double heading);

enum Trace { kHeading, kPitch, kRoll, kTraceCount };

// One orientation message: its arrival (ms since program start) and its
// angles in degrees, the heading unwrapped.
struct Sample {
    std::int32_t timeMs;
    float values[kTraceCount];
};

// The spans the plot offers: a name, its length, and the time ticks' step.
struct Span {
    const char* name;
    std::int32_t ms;
    std::int32_t tickMs;
};
inline constexpr Span kSpans[] = {{"30 s", 30'000, 5'000}, {"2 min", 120'000, 20'000}, {"10 min", 600'000, 60'000}};
inline constexpr std::int32_t kLongestSpanMs = 600'000;

// The samples of the last messages, oldest first, in a ring of fixed
// capacity: memory is reserved once and the oldest sample is overwritten.
class SampleRing {
public:
    explicit SampleRing(std::size_t capacity);

    // One message's angles (degrees); the heading is unwrapped against the
    // newest sample. Times never go back: an earlier time is taken as the
    // newest sample's. Unwrapped headings are kept within a few dozen turns
    // of zero, by whole turns, so that a float keeps their precision.
    void Append(std::int32_t timeMs, double heading, double pitch, double roll);
    void Clear() { start_ = size_ = 0; }

    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return capacity_; }
    bool Empty() const { return size_ == 0; }
    // The i-th oldest sample held. The capacity is a power of two: a mask
    // in place of a division, which would cost more than the rest of a
    // decimation step.
    const Sample& operator[](std::size_t i) const { return samples_[(start_ + i) & (capacity_ - 1)]; }
    const Sample& Newest() const { return (*this)[size_ - 1]; }
    // Index of the first sample at or after `timeMs` (Size() if none).
    std::size_t FirstAtOrAfter(std::int32_t timeMs) const;
    // Index of the sample nearest in time to `timeMs`; the ring must not be empty.
    std::size_t Nearest(std::int32_t timeMs) const;

private:
    std::unique_ptr<Sample[]> samples_;
    std::size_t capacity_;
    std::size_t start_ = 0;
    std::size_t size_ = 0;
};

// What one pixel column holds of one trace.
struct TraceSpan {
    float min, max;    // the extremes, so no spike is lost however many samples fall in the column
    float first, last; // for the lines joining it to its neighbours
};

struct Column {
    int count = 0;       // samples in the column; the spans are valid only when not 0
    bool joined = false; // its first sample follows the sample before it within kJoinMs
    TraceSpan trace[kTraceCount];
};

// Samples further apart than this are not joined by a line: the link was
// silent (a lost port, a closed one, another message rate).
inline constexpr std::int32_t kJoinMs = 2'000;

// The samples from `fromMs` to just before `toMs` reduced to `columns` equal
// columns of time, written into `out` (resized, its storage reused).
void Decimate(const SampleRing& ring, std::int32_t fromMs, std::int32_t toMs, int columns, std::vector<Column>& out);

// An axis from `lo` to `hi` in whole steps, about `ticks` of them.
struct Axis {
    double lo, hi, step;
};
// The axis for values from `min` to `max`: steps of 1, 2 or 5 tenths,
// units or tens, or of 15, 30, 45, 90 or 180 degrees beyond, at least
// `minSpan` wide (widened about the middle). Empty data (min > max) gives
// -minSpan/2 .. minSpan/2.
Axis AutoscaleAxis(double min, double max, double minSpan, int ticks = 5);
// Whether a heading strip showing unwrapped headings from `min` to `max`
// reads 0 .. 360 with its line wrapped (kWrappedHeadingAxis): beyond a turn
// an unwrapped axis's labels repeat ("180 0 180 0") and tell nothing.
bool HeadingWraps(double min, double max);
inline constexpr Axis kWrappedHeadingAxis{0, 360, 90};
// Unwrapped headings from `lo` to `hi` on the 0 .. 360 axis: one interval,
// two where they cross north, the whole axis for a turn or more. Returns
// how many of `out` it filled.
struct Interval {
    double lo, hi;
};
int WrapInterval(double lo, double hi, Interval out[2]);
// The label of an angle tick, with as many decimals as the step needs;
// a heading's is its wrapped value (0 .. 360).
std::string AngleTickLabel(double value, double step, bool heading);
// The label of a time tick, `offsetMs` before the plot's right edge: "-1:30".
std::string TimeTickLabel(std::int32_t offsetMs);

// The lowest and highest value of `traces` over the columns holding
// samples; lo > hi (infinite) when none does.
Interval Extremes(const std::vector<Column>& columns, std::initializer_list<int> traces);
// Where `value` lies on a strip `height` pixels high from `top` down: the
// axis's lo at its bottom edge (top + height), its hi at `top`.
double ValueY(const Axis& axis, int top, int height, double value);
// The pixel column of the time tick `backMs` before the right edge of a
// plot `width` pixels wide from `left` over `spanMs`: the right edge's is
// the last column, the span's start the first.
int TimeTickX(int left, int width, std::int32_t spanMs, std::int32_t backMs);

// The time labels along the axis, placed from the right leftwards: each
// centred under its tick but kept from `left` to `right`, and left out
// where it would come within `gap` pixels of the label placed before it
// (the first, of `end`).
class TimeLabelRow {
public:
    TimeLabelRow(int left, int right, int end, int gap) : left_(left), right_(right), gap_(gap), limit_(end + gap) {}
    // The label's left edge, or none when it is left out.
    std::optional<int> Place(int tickX, int width);

private:
    int left_, right_, gap_, limit_;
};

// What the cursor reads at pixel column `column` (0 at the left) of a plot
// `width` columns wide over `spanMs` ending at `rightMs`: the nearest sample
// drawn to the end of that column's time, or only that time when no sample
// lies within kJoinMs or two columns of it.
struct CursorReading {
    enum Kind { kNothing, kNoData, kSample } kind = kNothing; // nothing: outside the plot, or nothing drawn
    std::int32_t offsetMs = 0; // before the right edge: the sample's time, or the column's
    std::size_t sample = 0;    // index in the ring
};
CursorReading ReadCursor(const SampleRing& ring, std::int32_t rightMs, std::int32_t spanMs, int column, int width);

// The angles of a sample as the cursor and screen readers give them,
// "Heading 11.2, Pitch -1.5, Roll 0.2": by printf rules, as every other
// readout of the program, the heading wrapped (one that rounds to 360.0
// reads 0.0).
std::string AnglesText(const Sample& sample);
// The cursor's text for `reading`: its time in seconds before the right
// edge, then the sample's angles or "no data"; empty for nothing.
std::string CursorText(const SampleRing& ring, const CursorReading& reading);

// The CSV the plot saves: a header row, then one row per sample with its
// time in seconds since the program started, its angles (the heading
// wrapped) and its time of day as tolvane-decode --csv writes it; CRLF line
// ends. `wallMs` is the sample's time in ms since 1970 (UTC), `offsetS` the
// local time's offset from UTC then.
inline constexpr const char* kCsvHeader = "time_s,heading_deg,pitch_deg,roll_deg,time";
void AppendCsvRow(std::string& out, const Sample& sample, std::int64_t wallMs, int offsetS);
// ISO 8601 local time with milliseconds and the offset: "2026-12-07T13:45:10.250+01:00".
std::string IsoLocalTime(std::int64_t wallMs, int offsetS);

} // namespace tolvane::plot
