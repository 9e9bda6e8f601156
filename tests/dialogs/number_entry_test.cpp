// The number reader and the conversions of the value fields, against the
// texts std::snprintf gives.
#include "dialogs/number_entry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace tolvane {
namespace {

using namespace std::string_view_literals;

struct ParseCase {
    std::string_view text;
    std::optional<double> value;
};

TEST(ParseNumber, ReadsSignsDigitsAndEightFractionPlaces)
{
    const ParseCase cases[] = {
        {"12.123456789", 12.12345678},
        {"1.5x", std::nullopt},
        {"-+5", -5.0},
        {"+5", 5.0},
        {"+-5", std::nullopt},
        {".", 0.0},
        {"", 0.0},
        {"   ", 0.0},
        {"-", 0.0},
        {"5.", 5.0},
        {".25", 0.25},
        {"-0.5", -0.5},
        {" \t7", 7.0},
        {"\xC2\xA0" "3", 3.0}, // a no-break space is skipped like a blank
        {"0.000000019", 1e-8}, // the ninth fraction digit is ignored
        {"5\0x"sv, 5.0},       // the text ends at a NUL
        {"1e3", std::nullopt},
        {"1,5", std::nullopt},
        {"5 ", std::nullopt},
        {"2147483647", 2147483647.0},
        {"2147483648", std::nullopt},
        {"99999999999", std::nullopt},
        {"-99999999999.5", std::nullopt},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const std::optional<double> value = ParseNumber(c.text);
        ASSERT_EQ(value.has_value(), c.value.has_value());
        if (value) {
            EXPECT_DOUBLE_EQ(*value, *c.value);
        }
    }
}

TEST(NumberEntry, RangeIsOpenAtBothEnds)
{
    EXPECT_FALSE(InRange180(180.0));
    EXPECT_FALSE(InRange180(-180.0));
    EXPECT_TRUE(InRange180(179.9));
    EXPECT_TRUE(InRange180(-179.9));
}

TEST(NumberEntry, DegreesAndRawAngles)
{
    const struct {
        float degrees;
        std::int16_t raw;
    } toRaw[] = {{179.9f, 32749}, {0.1f, 18}, {-0.1f, -18}, {45.0f, 8192}, {-180.0f, -32768}};
    for (const auto& c : toRaw) EXPECT_EQ(DegreesToRaw(c.degrees), c.raw) << c.degrees;

    EXPECT_EQ(RawToDegrees(2048), 11.25f);
    EXPECT_EQ(RawToDegrees(-1000), -5.4931640625f);
    // snprintf rounds the exact half to even; Qt's formatters would not.
    EXPECT_EQ(AngleText(RawToDegrees(2048)), "11.2");
}

TEST(NumberEntry, DeclinationShowsMagnitudeAndHemisphere)
{
    const struct {
        float degrees;
        const char* text;
        bool west;
    } cases[] = {{-7.0f, "7.0", true}, {7.0f, "7.0", false}, {0.0f, "0.0", false},
                 {-0.0f, "0.0", false}, {-0.04f, "0.0", true}, {-7.25f, "7.2", true}};
    for (const auto& c : cases) {
        const DeclinationDisplay shown = ShowDeclination(c.degrees);
        EXPECT_EQ(shown.text, c.text) << c.degrees;
        EXPECT_EQ(shown.west, c.west) << c.degrees;
    }
}

TEST(NumberEntry, IntervalShownAsRate)
{
    const struct {
        std::int32_t interval;
        const char* text;
    } cases[] = {{0, "0.00"},    {2, "0.00"},     {3, "50.00"}, {20, "50.00"}, {143, "6.90"},
                 {145, "6.90"},  {147, "6.67"},   {1000, "1.00"}, {8000, "0.12"}, {20000, "0.05"},
                 {32767, "0.03"}};
    for (const auto& c : cases) EXPECT_EQ(ShowRate(c.interval).text, c.text) << c.interval;
    EXPECT_EQ(ShowRate(143).rate, static_cast<float>(1000.0 / 145));
}

TEST(NumberEntry, RateEnteredAsInterval)
{
    const struct {
        double hz;
        std::int32_t interval;
        const char* text;
    } cases[] = {{7, 145, "6.90"},      {100, 20, "50.00"},    {0.002, 0, "0.00"}, {0.003, 20000, "0.05"},
                 {50, 20, "50.00"},     {0.05, 20000, "0.05"}, {8, 125, "8.00"},   {3, 335, "2.99"},
                 {-1, 0, "0.00"}};
    for (const auto& c : cases) {
        const RateEntry entry = EnterRate(c.hz);
        EXPECT_EQ(entry.intervalMs, c.interval) << c.hz;
        EXPECT_EQ(entry.display.text, c.text) << c.hz;
        EXPECT_EQ(entry.display.rate, c.interval ? static_cast<float>(1000.0 / c.interval) : 0.0f) << c.hz;
    }
}

TEST(NumberEntry, ReceivedIntervalReenteredFromItsText)
{
    const RateDisplay shown = ShowRate(143);
    ASSERT_EQ(shown.text, "6.90");
    const std::optional<double> hz = ParseNumber(shown.text);
    ASSERT_TRUE(hz);
    EXPECT_EQ(EnterRate(*hz).intervalMs, 145);
}

TEST(WmmEntry, CoordinateSignsSkippedCharactersAndLimits)
{
    using O = EntryOutcome;
    const struct {
        std::string_view text;
        double limit;
        O outcome;
        int sign;
        std::size_t start;
        double magnitude;
    } cases[] = {
        {"-33.5", 90, O::Valid, -1, 1, 33.5},
        {"90", 90, O::Valid, 0, 0, 90},
        {"90.00000001", 90, O::OutOfRange, 0, 0, 0},
        {"-+-12.5", 90, O::Valid, -1, 3, 12.5},
        {" \t\xA0+122.25", 180, O::Valid, 1, 4, 122.25}, // blank, tab, no-break space
        {"181", 180, O::OutOfRange, 0, 0, 0},
        {"", 90, O::Empty, 0, 0, 0},
        {" -", 90, O::Empty, -1, 2, 0},
        {"1.5x", 90, O::NotANumber, 0, 0, 0},
        {"999999999999", 180, O::NotANumber, 0, 0, 0}, // beyond any integer
        {"\x7f" "5", 90, O::NotANumber, 0, 0, 0},      // DEL is not skipped
        {"?47", 90, O::NotANumber, 0, 0, 0},           // a character beyond 8 bits
        {"           12.5", 90, O::Valid, 0, 11, 12},   // 13 characters read: "12"
        {"5\0garbage", 90, O::Valid, 0, 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const CoordinateEntry entry = ReadCoordinate(c.text, c.limit);
        EXPECT_EQ(entry.outcome, c.outcome);
        EXPECT_EQ(entry.sign, c.sign);
        EXPECT_EQ(entry.start, c.start);
        EXPECT_EQ(entry.magnitude, c.magnitude);
    }
}

TEST(WmmEntry, AltitudeDigitsOnlyWithinItsRange)
{
    using O = EntryOutcome;
    const struct {
        std::string_view text;
        O outcome;
        int feet;
    } cases[] = {
        {"-1000", O::Valid, -1000},     {"30000", O::Valid, 30000},       {"+-500", O::Valid, -500},
        {"-+500", O::Valid, 500},       {"-1001", O::OutOfRange, 0},      {"30001", O::OutOfRange, 0},
        {"9999999999999", O::OutOfRange, 0},                              {"1e3", O::NotANumber, 0},
        {"12 ", O::NotANumber, 0},      {"\x01\x1b\t7\x7f", O::NotANumber, 0}, {"", O::Empty, 0},
        {"+", O::Empty, 0},             {"\xE9" "100", O::Valid, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const AltitudeEntry entry = ReadAltitude(c.text);
        EXPECT_EQ(entry.outcome, c.outcome);
        EXPECT_EQ(entry.feet, c.feet);
    }
}

} // namespace
} // namespace tolvane
