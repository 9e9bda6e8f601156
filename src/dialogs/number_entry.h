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

// What a WMM dialog field's check makes of its text.
enum class EntryOutcome {
    Empty,      // nothing after blanks and signs: not valid, nothing said
    NotANumber, // "Numbers only, please."
    OutOfRange, // the field's own message
    Valid,
};

// A latitude (limit 90) or longitude (limit 180) field left: its first 13
// characters, as 8-bit codes, with blanks, controls and codes above 127
// skipped, then a run of signs of which the last chooses the hemisphere,
// then a number whose magnitude may be at most `limit`.
struct CoordinateEntry {
    EntryOutcome outcome = EntryOutcome::Empty;
    int sign = 0;          // +1 for '+' (N or E), -1 for '-' (S or W), 0: no sign typed
    std::size_t start = 0; // characters skipped or consumed: the field keeps the rest
    double magnitude = 0;  // when valid
};
CoordinateEntry ReadCoordinate(std::string_view text, double limit);

// The altitude field left: skipped characters and signs as above, then
// digits only, in feet from -1000 to 30000.
struct AltitudeEntry {
    EntryOutcome outcome = EntryOutcome::Empty;
    int feet = 0; // when valid
};
AltitudeEntry ReadAltitude(std::string_view text);

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
