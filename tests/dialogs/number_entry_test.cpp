// The number reader and the conversions of the value fields, against the
// texts std::snprintf gives. dialogs_number_entry.txt holds what each
// input gives, one line each; the comments below say what the inputs probe.
#include "dialogs/number_entry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "support/golden.h"

namespace tolvane {
namespace {

using namespace std::string_view_literals;

// printf's text of the arguments.
template <typename... Args>
std::string Printed(const char* format, Args... args)
{
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// The text quoted, what is not printable ASCII as \xHH.
std::string Quoted(std::string_view text)
{
    std::string s = "\"";
    for (unsigned char c : text) s += c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : Printed("\\x%02X", c);
    return s + "\"";
}

constexpr const char* kOutcome[] = {"empty", "not a number", "out of range", "valid"};

TEST(NumberEntry, ReadersAndConversions)
{
    std::string made = "ParseNumber: text -> value, or refused\n";
    for (std::string_view text : {
             "12.123456789"sv, "0.000000019"sv,       // the ninth fraction digit is ignored
             "-+5"sv, "+5"sv, "+-5"sv,               // '-' before '+' only
             "."sv, ""sv, "   "sv, "-"sv,             // nothing reads as zero
             "5."sv, ".25"sv, "-0.5"sv,
             " \t7"sv, "\x01" "5"sv, "\xC2\xA0" "3"sv, // controls, blanks, codes above 127 skipped
             "!5"sv, "5\0x"sv,                        // but not '!'; a NUL ends the text
             "1.5x"sv, "1e3"sv, "1,5"sv, "5 "sv, "2147483647"sv, "2147483648"sv, "-99999999999.5"sv})
        made += Quoted(text) + (ParseNumber(text) ? Printed(" -> %.10g\n", *ParseNumber(text)) : " -> refused\n");

    // The open ends of the angles' range; the signs of declinations that show as zero. The angles shown
    // (the exact half rounded to even, as snprintf does and Qt's formatters would not: 11.25 as 11.2) and
    // the hemisphere are in the settings dialogs' table.
    made += "InRange180: degrees -> inside or not; ShowDeclination: degrees -> text, hemisphere\n";
    for (double degrees : {180.0, -180.0, 179.9, -179.9})
        made += Printed("%g -> %s\n", degrees, InRange180(degrees) ? "inside" : "outside");
    for (float degrees : {-0.0f, -0.04f})
        made += Printed("%g -> %s %s\n", degrees, ShowDeclination(degrees).text.c_str(),
                        ShowDeclination(degrees).west ? "W" : "E");

    // The interval kept is 0 or 20..20000 ms in steps of 5: 141 ms is kept as 140, 142 and 143 as 145; a
    // rate shown, entered again, keeps its interval.
    made += "ShowRate: interval ms -> text, Hz; EnterRate: Hz -> interval ms, text, Hz\n";
    for (std::int32_t ms : {0, 2, 3, 20, 141, 143, 145, 147, 8000, 20000, 32767})
        made += Printed("%d ms -> %s, %.9g\n", ms, ShowRate(ms).text.c_str(), ShowRate(ms).rate);
    for (double hz : {7.0, 6.9, 100.0, 50.0, 0.002, -1.0, 0.003, 0.05, 8.0, 3.0}) {
        const RateEntry entry = EnterRate(hz);
        made += Printed("%g Hz -> %d ms, %s, %.9g\n", hz, entry.intervalMs, entry.display.text.c_str(),
                        entry.display.rate);
    }

    // Signs, skipped characters and limits of a coordinate; the limits themselves, a sign and text refused
    // are in the WMM dialog's table.
    made += "ReadCoordinate: text, limit -> outcome, sign, characters skipped or consumed, magnitude\n";
    for (const auto& [text, limit] : {
             std::pair{"-+-12.5"sv, 90}, {" \t\xA0+122.25"sv, 180}, // blank, tab, no-break space
             {""sv, 90}, {" -"sv, 90}, {"999999999999"sv, 180},     // beyond any integer
             {"\x7f" "5"sv, 90}, {"?47"sv, 90}, // DEL is not skipped; '?': a character beyond 8 bits in Latin-1
             {"           12.5"sv, 90},                             // 13 characters read: "12"
             {"5\0garbage"sv, 90}}) {
        const CoordinateEntry e = ReadCoordinate(text, limit);
        made += Quoted(text) + Printed(", %d -> %s, %d, %zu, %g\n", limit, kOutcome[int(e.outcome)], e.sign, e.start,
                                       e.magnitude);
    }

    // Whole feet, digits only, to 30000; the lower limit, blanks after and nothing at all: the WMM dialog's
    // table.
    made += "ReadAltitude: text -> outcome, feet\n";
    for (std::string_view text : {"30000"sv, "30001"sv, "9999999999999"sv, "+-500"sv, "-+500"sv, "\xE9" "100"sv,
                                  "1e3"sv, "\x01\x1b\t7\x7f"sv, "+"sv}) {
        const AltitudeEntry e = ReadAltitude(text);
        made += Quoted(text) + Printed(" -> %s, %d\n", kOutcome[int(e.outcome)], e.feet);
    }
    test::ExpectGolden("dialogs_number_entry.txt", made);
}

} // namespace
} // namespace tolvane
