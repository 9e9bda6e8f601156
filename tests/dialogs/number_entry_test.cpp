// The number reader and the conversions of the value fields; the comments
// beside the rows say what the inputs probe.
#include "dialogs/number_entry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <tuple>

namespace tolvane {
namespace {

using namespace std::string_view_literals;

// Each text and what it reads as ("%.10g"), or "refused".
TEST(NumberEntry, ParseNumber)
{
    const std::pair<std::string_view, const char*> rows[] = {
        {"12.123456789", "12.12345678"}, {"0.000000019", "1e-08"}, // the ninth fraction digit is ignored
        {"-+5", "-5"}, {"+5", "5"}, {"+-5", "refused"},            // '-' before '+' only
        {".", "0"}, {"", "0"}, {"   ", "0"}, {"-", "-0"},          // nothing reads as zero
        {"5.", "5"}, {".25", "0.25"}, {"-0.5", "-0.5"},
        {" \t7", "7"}, {"\x01" "5", "5"}, {"\xC2\xA0" "3", "3"},   // controls, blanks, codes above 127 skipped
        {"!5", "refused"}, {"5\0x"sv, "5"},                        // but not '!'; a NUL ends the text
        {"1.5x", "refused"}, {"1e3", "refused"}, {"1,5", "refused"}, {"5 ", "refused"},
        {"2147483647", "2147483647"}, {"2147483648", "refused"}, {"-99999999999.5", "refused"}};
    for (const auto& [text, expected] : rows) {
        const std::optional<double> value = ParseNumber(text);
        char made[32] = "refused";
        if (value) std::snprintf(made, sizeof made, "%.10g", *value);
        EXPECT_STREQ(made, expected) << ::testing::PrintToString(std::string(text));
    }
}

// The open ends of the angles' range; the signs of declinations that show
// as zero. The interval kept is 0 or 20..20000 ms in steps of 5: 141 ms is
// shown as 140, 142 and 143 as 145; a rate entered is kept as the interval
// nearest to it (1000 / Hz, halves up), taken up to a step of 5.
TEST(NumberEntry, AnglesAndRates)
{
    EXPECT_EQ(std::vector({InRange180(180), InRange180(-180), InRange180(179.9), InRange180(-179.9)}),
              std::vector({false, false, true, true}));
    for (const auto& [degrees, text, west] : {std::tuple{-0.0f, "0.0", false}, {-0.04f, "0.0", true}}) {
        const DeclinationDisplay shown = ShowDeclination(degrees);
        EXPECT_EQ(std::pair(shown.text, shown.west), std::pair(std::string(text), west)) << degrees;
    }
    // interval ms: text, Hz
    const std::tuple<std::int32_t, const char*, double> shown[] = {
        {0, "0.00", 0},        {2, "0.00", 0},        {3, "50.00", 50},          {20, "50.00", 50},
        {141, "7.14", 1000.0 / 140}, {143, "6.90", 1000.0 / 145}, {145, "6.90", 1000.0 / 145},
        {147, "6.67", 1000.0 / 150}, {8000, "0.12", 0.125},       {20000, "0.05", 0.05},
        {32767, "0.03", 1000.0 / 32770}};
    for (const auto& [ms, text, hz] : shown)
        EXPECT_EQ(std::pair(ShowRate(ms).text, ShowRate(ms).rate), std::pair(std::string(text), float(hz))) << ms;
    // Hz: interval ms, text
    const std::tuple<double, std::int32_t, const char*> entered[] = {
        {7, 145, "6.90"},      {6.9, 145, "6.90"},    {100, 20, "50.00"},      {50, 20, "50.00"}, {0.002, 0, "0.00"},
        {-1, 0, "0.00"},       {0.003, 20000, "0.05"}, {0.05, 20000, "0.05"}, {8, 125, "8.00"},  {3, 335, "2.99"}};
    for (const auto& [hz, ms, text] : entered) {
        const RateEntry e = EnterRate(hz);
        EXPECT_EQ(std::tuple(e.intervalMs, e.display.text, e.display.rate),
                  std::tuple(ms, std::string(text), float(ms == 0 ? 0 : 1000.0 / ms)))
            << hz;
    }
}

// A WMM field's text: the outcome, the sign (0 none), the characters
// skipped or consumed, the magnitude or the feet. The limits themselves, a
// sign and text refused, are in the WMM dialog's table.
TEST(NumberEntry, CoordinatesAndAltitudes)
{
    using enum EntryOutcome;
    const std::tuple<std::string_view, double, EntryOutcome, int, std::size_t, double> coordinates[] = {
        {"-+-12.5", 90, Valid, -1, 3, 12.5}, {" \t\xA0+122.25", 180, Valid, 1, 4, 122.25}, // blank, tab, NBSP
        {"", 90, Empty, 0, 0, 0}, {" -", 90, Empty, -1, 2, 0}, {"999999999999", 180, NotANumber, 0, 0, 0},
        {"\x7f" "5", 90, NotANumber, 0, 0, 0}, // DEL is not skipped
        {"?47", 90, NotANumber, 0, 0, 0},       // '?': a character beyond 8 bits in Latin-1
        {"           12.5", 90, Valid, 0, 11, 12}, {"5\0garbage"sv, 90, Valid, 0, 0, 5}}; // 13 characters read; NUL
    for (const auto& [text, limit, outcome, sign, start, magnitude] : coordinates) {
        const CoordinateEntry e = ReadCoordinate(text, limit);
        EXPECT_EQ(std::tuple(e.outcome, e.sign, e.start, e.magnitude), std::tuple(outcome, sign, start, magnitude))
            << ::testing::PrintToString(std::string(text));
    }
    // Whole feet, digits only, to 30000; the lower limit, blanks after and
    // nothing at all: the WMM dialog's table.
    const std::tuple<std::string_view, EntryOutcome, int> altitudes[] = {
        {"30000", Valid, 30000},        {"30001", OutOfRange, 0}, {"9999999999999", OutOfRange, 0},
        {"+-500", Valid, -500},         {"-+500", Valid, 500},    {"\xE9" "100", Valid, 100},
        {"1e3", NotANumber, 0},         {"\x01\x1b\t7\x7f", NotANumber, 0}, {"+", Empty, 0}};
    for (const auto& [text, outcome, feet] : altitudes)
        EXPECT_EQ(std::pair(ReadAltitude(text).outcome, ReadAltitude(text).feet), std::pair(outcome, feet))
            << ::testing::PrintToString(std::string(text));
}

} // namespace
} // namespace tolvane
