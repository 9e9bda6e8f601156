#include "dialogs/number_entry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "protocol/angles.h"

namespace tolvane {
namespace {

constexpr int kFractionPlaces = 8;

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

std::string Format(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// Rounds an interval up to the next step of 5 ms, as the module keeps it.
std::int64_t RoundToStep(std::int64_t ms) { return (ms + 3) / 5 * 5; }

} // namespace

std::optional<double> ParseNumber(std::string_view text)
{
    // The fields hand over C strings: a NUL ends the text.
    text = text.substr(0, text.find('\0'));
    std::size_t i = 0;
    auto at = [&](std::size_t k) -> unsigned char { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0; };

    while (i < text.size() && ((at(i) >= 1 && at(i) <= 32) || at(i) >= 128)) ++i;
    bool negative = false;
    if (at(i) == '-') {
        negative = true;
        ++i;
    }
    if (at(i) == '+') ++i;

    std::int32_t integer = 0;
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    while (IsDigit(at(i))) {
        const int digit = at(i) - '0';
        if (integer > (kMax - digit) / 10) return std::nullopt;
        integer = integer * 10 + digit;
        ++i;
    }

    std::int32_t fraction = 0;
    int places = 0;
    if (at(i) == '.') {
        ++i;
        while (IsDigit(at(i)) && places < kFractionPlaces) {
            fraction = fraction * 10 + (at(i) - '0');
            ++places;
            ++i;
        }
    }
    if (i < text.size() && !IsDigit(at(i))) return std::nullopt;

    for (; places < kFractionPlaces; ++places) fraction *= 10;
    double value = fraction * 1e-8 + integer;
    if (negative) value = -value;
    return value;
}

namespace {

// The WMM checks read a field into a 14-character buffer.
constexpr std::size_t kWmmExamined = 13;
constexpr std::int64_t kLowestAltitude = -1000;
constexpr std::int64_t kHighestAltitude = 30000;

bool SkippedBeforeValue(unsigned char c) { return (c >= 1 && c <= 32) || c >= 128; }

// Skips what comes before a value and consumes the signs; returns the
// last sign (0: none) and leaves `i` at what follows.
int SkipToValue(std::string_view text, std::size_t& i)
{
    while (i < text.size() && SkippedBeforeValue(static_cast<unsigned char>(text[i]))) ++i;
    int sign = 0;
    for (; i < text.size() && (text[i] == '+' || text[i] == '-'); ++i) sign = text[i] == '+' ? 1 : -1;
    return sign;
}

} // namespace

CoordinateEntry ReadCoordinate(std::string_view text, double limit)
{
    text = text.substr(0, std::min(text.find('\0'), kWmmExamined));
    CoordinateEntry entry;
    entry.sign = SkipToValue(text, entry.start);
    if (entry.start == text.size()) return entry;
    const std::optional<double> value = ParseNumber(text.substr(entry.start));
    if (!value) {
        entry.outcome = EntryOutcome::NotANumber;
    } else if (std::fabs(*value) > limit) {
        entry.outcome = EntryOutcome::OutOfRange;
    } else {
        entry.outcome = EntryOutcome::Valid;
        entry.magnitude = std::fabs(*value);
    }
    return entry;
}

AltitudeEntry ReadAltitude(std::string_view text)
{
    text = text.substr(0, std::min(text.find('\0'), kWmmExamined));
    AltitudeEntry entry;
    std::size_t i = 0;
    const bool negative = SkipToValue(text, i) < 0;
    if (i == text.size()) return entry;
    // At most 13 digits: no overflow in 64 bits.
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(static_cast<unsigned char>(text[i]))) {
            entry.outcome = EntryOutcome::NotANumber;
            return entry;
        }
        magnitude = magnitude * 10 + (text[i] - '0');
    }
    const std::int64_t feet = negative ? -magnitude : magnitude;
    if (feet < kLowestAltitude || feet > kHighestAltitude) {
        entry.outcome = EntryOutcome::OutOfRange;
    } else {
        entry.outcome = EntryOutcome::Valid;
        entry.feet = static_cast<int>(feet);
    }
    return entry;
}

bool InRange180(double degrees) { return degrees > -180.0 && degrees < 180.0; }

float RawToDegrees(std::int16_t raw) { return static_cast<float>(SignedAngleDegrees(raw)); }

std::int16_t DegreesToRaw(float degrees) { return DegreesToCounts(degrees); }

std::string AngleText(float degrees) { return Format("%.1f", degrees); }

DeclinationDisplay ShowDeclination(float degrees)
{
    if (degrees < 0) return {Format("%.1f", -degrees), true};
    // Adding zero turns a negated zero into +0, so it never shows as "-0.0".
    return {Format("%.1f", degrees + 0.0f), false};
}

RateDisplay ShowRate(std::int32_t intervalMs)
{
    if (intervalMs < 3) return {0.0f, Format("%.2f", 0.0)};
    const std::int64_t m = RoundToStep(std::max<std::int64_t>(intervalMs, 20));
    const double rate = 1000.0 / static_cast<double>(m);
    return {static_cast<float>(rate), Format("%.2f", rate)};
}

RateEntry EnterRate(double hz)
{
    if (hz < 0.003) return {0, {0.0f, Format("%.2f", 0.0)}};
    hz = std::clamp(hz, 0.05, 50.0);
    const auto n = static_cast<std::int64_t>(1000.0 / hz + 0.5);
    const auto interval = static_cast<std::int32_t>(RoundToStep(n));
    const double rate = 1000.0 / interval;
    return {interval, {static_cast<float>(rate), Format("%.2f", rate)}};
}

} // namespace tolvane
