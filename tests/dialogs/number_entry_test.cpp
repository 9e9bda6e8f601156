// The number reader and the conversions of the value fields, against the
// texts std::snprintf gives.
#include "dialogs/number_entry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>

namespace tolvane {
namespace {

using namespace std::string_view_literals;

TEST(ParseNumber, ReadsSignsDigitsAndEightFractionPlaces)
{
    const std::pair<std::string_view, std::optional<double>> cases[] = {
        {"12.123456789", 12.12345678}, {"0.000000019", 1e-8}, // the ninth fraction digit is ignored
        {"-+5", -5.0}, {"+5", 5.0}, {"+-5", std::nullopt},    // '-' before '+' only
        {".", 0.0}, {"", 0.0}, {"   ", 0.0}, {"-", 0.0},      // nothing reads as zero
        {"5.", 5.0}, {".25", 0.25}, {"-0.5", -0.5},
        {" \t7", 7.0}, {"\x01" "5", 5.0}, {"\xC2\xA0" "3", 3.0}, // controls, blanks, codes above 127 skipped
        {"!5", std::nullopt}, {"5\0x"sv, 5.0},                     // but not '!'; a NUL ends the text
        {"1.5x", std::nullopt}, {"1e3", std::nullopt}, {"1,5", std::nullopt}, {"5 ", std::nullopt},
        {"2147483647", 2147483647.0}, {"2147483648", std::nullopt}, {"-99999999999.5", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        const std::optional<double> value = ParseNumber(text);
        EXPECT_EQ(value.has_value(), expected.has_value()) << text;
        EXPECT_DOUBLE_EQ(value.value_or(0), expected.value_or(0)) << text;
    }
}

TEST(NumberEntry, AnglesRangeAndTexts)
{
    for (double open : {180.0, -180.0}) EXPECT_FALSE(InRange180(open)) << open;
    for (double inside : {179.9, -179.9}) EXPECT_TRUE(InRange180(inside)) << inside;

    // The conversions to and from counts are the requests' own, tested with them. The angles shown (the
    // exact half rounded to even, as snprintf does and Qt's formatters would not: 11.25 as 11.2) and the
    // declination's hemisphere are in the settings dialogs' table; here the signs of what shows as zero.
    const std::pair<float, const char*> declinations[] = {{-0.0f, "0.0 E"}, {-0.04f, "0.0 W"}};
    for (const auto& [degrees, shown] : declinations)
        EXPECT_EQ(ShowDeclination(degrees).text + (ShowDeclination(degrees).west ? " W" : " E"), shown) << degrees;
}

// The interval kept is 0 or 20..20000 ms in steps of 5: 141 ms is kept
// as 140, 142 and 143 as 145.
TEST(NumberEntry, IntervalShownAsRateAndRateEnteredAsInterval)
{
    const std::pair<std::int32_t, const char*> shown[] = {
        {0, "0.00"},   {2, "0.00"},   {3, "50.00"},   {20, "50.00"},   {141, "7.14"},   {143, "6.90"},
        {145, "6.90"}, {147, "6.67"}, {8000, "0.12"}, {20000, "0.05"}, {32767, "0.03"}};
    for (const auto& [interval, text] : shown) EXPECT_EQ(ShowRate(interval).text, text) << interval;
    EXPECT_EQ(ShowRate(143).rate, static_cast<float>(1000.0 / 145));

    const std::tuple<double, std::int32_t, const char*> entered[] = {
        {7, 145, "6.90"}, {6.9, 145, "6.90"}, // a rate shown, entered again, keeps its interval
        {100, 20, "50.00"},     {50, 20, "50.00"},     {0.002, 0, "0.00"}, {-1, 0, "0.00"},
        {0.003, 20000, "0.05"}, {0.05, 20000, "0.05"}, {8, 125, "8.00"},   {3, 335, "2.99"}};
    for (const auto& [hz, interval, text] : entered) {
        const RateEntry entry = EnterRate(hz);
        EXPECT_EQ(entry.intervalMs, interval) << hz;
        EXPECT_EQ(entry.display.text, text) << hz;
        EXPECT_EQ(entry.display.rate, interval ? static_cast<float>(1000.0 / interval) : 0.0f) << hz;
    }
}

TEST(WmmEntry, CoordinateSignsSkippedCharactersAndLimits)
{
    using O = EntryOutcome;
    // Text, limit; outcome, sign, characters skipped or consumed, magnitude.
    // The limits themselves, a sign and text refused are in the dialog's table.
    const std::tuple<std::string_view, double, O, int, std::size_t, double> cases[] = {
        {"-+-12.5", 90, O::Valid, -1, 3, 12.5},
        {" \t\xA0+122.25", 180, O::Valid, 1, 4, 122.25}, // blank, tab, no-break space
        {"", 90, O::Empty, 0, 0, 0},
        {" -", 90, O::Empty, -1, 2, 0},
        {"999999999999", 180, O::NotANumber, 0, 0, 0}, // beyond any integer
        {"\x7f" "5", 90, O::NotANumber, 0, 0, 0},      // DEL is not skipped
        {"?47", 90, O::NotANumber, 0, 0, 0},           // a character beyond 8 bits
        {"           12.5", 90, O::Valid, 0, 11, 12},   // 13 characters read: "12"
        {"5\0garbage"sv, 90, O::Valid, 0, 0, 5},
    };
    for (const auto& [text, limit, outcome, sign, start, magnitude] : cases) {
        const CoordinateEntry entry = ReadCoordinate(text, limit);
        EXPECT_EQ(std::tie(entry.outcome, entry.sign, entry.start, entry.magnitude),
                  std::tie(outcome, sign, start, magnitude)) << text;
    }
}

TEST(WmmEntry, AltitudeDigitsOnlyWithinItsRange)
{
    using O = EntryOutcome;
    // The lower limit, blanks after and nothing at all: see the dialog's table.
    const std::tuple<std::string_view, O, int> cases[] = {
        {"30000", O::Valid, 30000}, {"30001", O::OutOfRange, 0},   {"9999999999999", O::OutOfRange, 0},
        {"+-500", O::Valid, -500},  {"-+500", O::Valid, 500},      {"\xE9" "100", O::Valid, 100},
        {"1e3", O::NotANumber, 0},  {"\x01\x1b\t7\x7f", O::NotANumber, 0}, {"+", O::Empty, 0},
    };
    for (const auto& [text, outcome, feet] : cases) {
        const AltitudeEntry entry = ReadAltitude(text);
        EXPECT_EQ(std::tie(entry.outcome, entry.feet), std::tie(outcome, feet)) << text;
    }
}

} // namespace
} // namespace tolvane
