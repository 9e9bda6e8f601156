#include "instruments/plot_math.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "logging/printf_text.h"

namespace tolvane::plot {

namespace {

// Unwrapped headings beyond this many turns are brought back by whole turns.
constexpr double kRebaseDegrees = 360.0 * 32;

std::size_t PowerOfTwoAtLeast(std::size_t n)
{
    std::size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

// Fixed-point text of `value`, independent of the C locale (the program
// runs under the user's, which may write a decimal comma).
void AppendFixed(std::string& out, double value, int decimals)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    out.append(text, end);
}

} // namespace

double WrapHeading(double degrees)
{
    double r = std::fmod(degrees, 360.0);
    if (r < 0) r += 360.0;
    return r >= 360.0 ? 0.0 : r + 0.0; // a hair under zero rounds up to 360; no -0
}

double UnwrapHeading(double previous, double heading)
{
    const double d = heading - previous;
    return previous + (d - 360.0 * std::floor((d + 180.0) / 360.0));
}

SampleRing::SampleRing(std::size_t capacity)
    : samples_(new Sample[PowerOfTwoAtLeast(std::max<std::size_t>(capacity, 1))]),
      capacity_(PowerOfTwoAtLeast(std::max<std::size_t>(capacity, 1)))
{
}

void SampleRing::Append(std::int32_t timeMs, double heading, double pitch, double roll)
{
    double unwrapped = WrapHeading(heading);
    if (size_ > 0) {
        const Sample& newest = Newest();
        timeMs = std::max(timeMs, newest.timeMs);
        unwrapped = UnwrapHeading(newest.values[kHeading], heading);
        if (std::abs(unwrapped) > kRebaseDegrees) {
            const float shift = static_cast<float>(360.0 * std::round(unwrapped / 360.0));
            for (std::size_t i = 0; i < size_; ++i)
                samples_[(start_ + i) & (capacity_ - 1)].values[kHeading] -= shift;
            unwrapped -= shift;
        }
    }
    samples_[(start_ + size_) & (capacity_ - 1)] =
        Sample{timeMs, {static_cast<float>(unwrapped), static_cast<float>(pitch), static_cast<float>(roll)}};
    if (size_ < capacity_) ++size_;
    else start_ = (start_ + 1) & (capacity_ - 1);
}

std::size_t SampleRing::FirstAtOrAfter(std::int32_t timeMs) const
{
    std::size_t lo = 0, hi = size_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if ((*this)[mid].timeMs < timeMs) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

std::size_t SampleRing::Nearest(std::int32_t timeMs) const
{
    const std::size_t i = FirstAtOrAfter(timeMs);
    if (i == size_) return size_ - 1;
    if (i > 0 && std::int64_t{timeMs} - (*this)[i - 1].timeMs <= std::int64_t{(*this)[i].timeMs} - timeMs)
        return i - 1;
    return i;
}

void Decimate(const SampleRing& ring, std::int32_t fromMs, std::int32_t toMs, int columns, std::vector<Column>& out)
{
    out.assign(static_cast<std::size_t>(std::max(columns, 0)), Column{});
    if (columns <= 0 || toMs <= fromMs) return;
    const std::int64_t span = std::int64_t{toMs} - fromMs;
    // Column c holds the times t with floor((t - from) * columns / span) == c;
    // it ends where the next one starts.
    const auto start = [&](std::int64_t c) { return fromMs + (c * span + columns - 1) / columns; };
    std::size_t i = ring.FirstAtOrAfter(fromMs);
    bool hasPrevious = i > 0;
    std::int64_t previousMs = hasPrevious ? ring[i - 1].timeMs : 0;
    int c = 0;
    std::int64_t nextStart = start(1);
    for (; i < ring.Size(); ++i) {
        const Sample& s = ring[i];
        if (s.timeMs >= toMs) break;
        while (s.timeMs >= nextStart) nextStart = start(++c + 1);
        Column& column = out[static_cast<std::size_t>(c)];
        if (column.count++ == 0) {
            column.joined = hasPrevious && s.timeMs - previousMs <= kJoinMs;
            for (int t = 0; t < kTraceCount; ++t) {
                const float v = s.values[t];
                column.trace[t] = {v, v, v, v};
            }
        } else {
            for (int t = 0; t < kTraceCount; ++t) {
                const float v = s.values[t];
                TraceSpan& extent = column.trace[t];
                extent.min = std::min(extent.min, v);
                extent.max = std::max(extent.max, v);
                extent.last = v;
            }
        }
        hasPrevious = true;
        previousMs = s.timeMs;
    }
}

namespace {

// The step nearest above `raw` among 1, 2, 5 times a power of ten (up to
// ten), then 15, 30, 45, 90, 180 and whole turns in 1, 2, 5 decades.
double NiceStep(double raw)
{
    if (raw <= 10.0) {
        const double decade = std::pow(10.0, std::floor(std::log10(raw)));
        for (double m : {1.0, 2.0, 5.0, 10.0})
            if (m * decade >= raw * (1 - 1e-9)) return m * decade;
    }
    for (double s : {15.0, 30.0, 45.0, 90.0, 180.0})
        if (s >= raw) return s;
    const double turns = raw / 360.0;
    const double decade = std::pow(10.0, std::floor(std::log10(turns)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * decade >= turns * (1 - 1e-9)) return 360.0 * std::max(1.0, m * decade);
    return 360.0 * 10 * decade;
}

} // namespace

Axis AutoscaleAxis(double min, double max, double minSpan, int ticks)
{
    if (!(min <= max)) { // also NaN
        min = -minSpan / 2;
        max = minSpan / 2;
    }
    if (max - min < minSpan) {
        const double mid = (min + max) / 2;
        min = mid - minSpan / 2;
        max = mid + minSpan / 2;
    }
    const double step = NiceStep((max - min) / std::max(ticks, 1));
    const double lo = std::floor(min / step + 1e-9) * step;
    double hi = std::ceil(max / step - 1e-9) * step;
    if (hi <= lo) hi = lo + step;
    return {lo, hi, step};
}

bool HeadingWraps(double min, double max)
{
    return max - min > 360.0;
}

int WrapInterval(double lo, double hi, Interval out[2])
{
    if (hi - lo >= 360.0) {
        out[0] = {0, 360};
        return 1;
    }
    const double from = WrapHeading(lo), to = from + (hi - lo);
    out[0] = {from, std::min(to, 360.0)};
    if (to <= 360.0) return 1;
    out[1] = {0, to - 360.0};
    return 2;
}

std::string AngleTickLabel(double value, double step, bool heading)
{
    const int decimals = step >= 1 - 1e-9 ? 0 : step >= 0.1 - 1e-9 ? 1 : 2;
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (heading) rounded = std::round(WrapHeading(rounded) * scale) / scale;
    if (heading && rounded >= 360.0) rounded = 0.0;
    if (rounded == 0.0) rounded = 0.0; // no "-0"
    std::string text;
    AppendFixed(text, rounded, decimals);
    return text;
}

std::string TimeTickLabel(std::int32_t offsetMs)
{
    const long seconds = std::lround(std::abs(static_cast<double>(offsetMs)) / 1000.0);
    char text[48]; // room for any long, as an -O0 build cannot see the bound
    const char* sign = offsetMs < 0 && seconds != 0 ? "-" : "";
    std::snprintf(text, sizeof text, "%s%ld:%02ld", sign, seconds / 60, seconds % 60);
    return text;
}

Interval Extremes(const std::vector<Column>& columns, std::initializer_list<int> traces)
{
    Interval extremes{INFINITY, -INFINITY};
    for (const Column& c : columns) {
        if (c.count == 0) continue;
        for (int t : traces) {
            extremes.lo = std::min<double>(extremes.lo, c.trace[t].min);
            extremes.hi = std::max<double>(extremes.hi, c.trace[t].max);
        }
    }
    return extremes;
}

double ValueY(const Axis& axis, int top, int height, double value)
{
    return top + height - (value - axis.lo) / (axis.hi - axis.lo) * height;
}

int TimeTickX(int left, int width, std::int32_t spanMs, std::int32_t backMs)
{
    return left + static_cast<int>(std::int64_t{spanMs - backMs} * (width - 1) / spanMs);
}

std::optional<int> TimeLabelRow::Place(int tickX, int width)
{
    const int x = std::clamp(tickX - width / 2, left_, std::max(left_, right_ - width));
    if (x + width + gap_ > limit_) return std::nullopt;
    limit_ = x;
    return x;
}

CursorReading ReadCursor(const SampleRing& ring, std::int32_t rightMs, std::int32_t spanMs, int column, int width)
{
    if (ring.Empty() || column < 0 || column >= width) return {};
    const std::int64_t span = spanMs;
    // The end of the column's time; the nearest sample among those drawn.
    const auto at = static_cast<std::int32_t>(rightMs - span + (column + 1) * span / width);
    const std::size_t first = ring.FirstAtOrAfter(static_cast<std::int32_t>(rightMs - span + 1));
    const std::size_t end = ring.FirstAtOrAfter(rightMs + 1);
    if (first >= end) return {};
    const std::size_t nearest = std::clamp(ring.Nearest(at), first, end - 1);
    if (std::abs(std::int64_t{ring[nearest].timeMs} - at) > std::max<std::int64_t>(kJoinMs, 2 * span / width))
        return {CursorReading::kNoData, at - rightMs, 0};
    return {CursorReading::kSample, ring[nearest].timeMs - rightMs, nearest};
}

std::string AnglesText(const Sample& sample)
{
    std::string heading = PrintfText("%.1f", WrapHeading(sample.values[kHeading]));
    if (heading == "360.0") heading = "0.0";
    return PrintfText("Heading %s, Pitch %.1f, Roll %.1f", heading.c_str(), double{sample.values[kPitch]},
                      double{sample.values[kRoll]});
}

std::string CursorText(const SampleRing& ring, const CursorReading& reading)
{
    if (reading.kind == CursorReading::kNothing) return {};
    return PrintfText("%.2f s  ", reading.offsetMs / 1000.0) +
           (reading.kind == CursorReading::kNoData ? std::string("no data") : AnglesText(ring[reading.sample]));
}

std::string IsoLocalTime(std::int64_t wallMs, int offsetS)
{
    const std::int64_t local = wallMs + std::int64_t{offsetS} * 1000;
    const std::int64_t ms = (local % 1000 + 1000) % 1000;
    const auto seconds = static_cast<std::time_t>((local - ms) / 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    const int offset = std::abs(offsetS) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ms), offsetS < 0 ? '-' : '+',
                  offset / 60, offset % 60);
    return text;
}

void AppendCsvRow(std::string& out, const Sample& sample, std::int64_t wallMs, int offsetS)
{
    AppendFixed(out, sample.timeMs / 1000.0, 3);
    out += ',';
    // Rounded before wrapping, so that a hair under north reads 0.000, not 360.000.
    AppendFixed(out, WrapHeading(std::round(sample.values[kHeading] * 1000.0) / 1000.0), 3);
    for (int t : {kPitch, kRoll}) {
        out += ',';
        AppendFixed(out, sample.values[t], 3);
    }
    out += ',';
    out += IsoLocalTime(wallMs, offsetS);
    out += "\r\n";
}

} // namespace tolvane::plot
