// Number entry of the configuration dialogs: the decimal reader, the
// +/-180 degree check, the conversions between degrees and the module's
// 16-bit angles and between a rate in Hz and the DORIENT interval, and
// the texts the value fields show. Plain C++; the messages are the Qt
// side's (value_field.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// Characters a field may hold when typed, and characters read back from
// a field for parsing (its text is read into a 14-byte buffer).
inline constexpr int kFieldMaxLength = 8;
inline constexpr std::size_t kReadBackChars = 13;

// Optional blanks, '-' then '+', integer digits, '.' and up to 8 fraction
// digits (later digits ignored). Empty text, a lone point or a lone sign
// read as zero. Anything else, or an integer part beyond 2^31 - 1, fails.
std::optional<double> ParseNumber(std::string_view text);

// -180 < degrees < 180.
bool InRange180(double degrees);

// Raw 16-bit angle to degrees, single precision.
float RawToDegrees(std::int16_t raw);
// Degrees to the raw angle sent: truncated toward zero, low 16 bits.
std::int16_t DegreesToRaw(float degrees);

// "%.1f" of an offset.
std::string AngleText(float degrees);

struct DeclinationDisplay {
    std::string text; // "%.1f" of the magnitude
    bool west;        // W checked, E unchecked
};
DeclinationDisplay ShowDeclination(float degrees);

struct RateDisplay {
    float rate;       // Hz
    std::string text; // "%.2f"
};
// The rate an interval (ms) stands for; the interval itself is kept.
RateDisplay ShowRate(std::int32_t intervalMs);

struct RateEntry {
    std::int32_t intervalMs; // 0, or 20..20000 in steps of 5
    RateDisplay display;
};
// The interval for a rate the user entered in Hz.
RateEntry EnterRate(double hz);

} // namespace tolvane
