// The rules of the value fields the Initializations and Start-Up Defaults
// dialogs share, and the requests Initializations sends on OK.
#include "dialogs/initialization_sequence.h"
#include "dialogs/value_field_rules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using S = SettingValues;

// Typed text: any number (an empty text reads as 0) loads a field; an
// offset takes it at once, the declination once left; the rate refuses a
// negative one (-0 is not). Leaving the declination: what stands
// before the first digit chooses the hemisphere, the last character
// deciding, '-' west and any other east; the number is negated for west.
// A click on the other hemisphere changes the value's sign and loads it.
TEST(ValueFieldRules, TypingLeavingAndHemispheres)
{
    const struct {
        S::Angle angle;
        const char* text;
        Typed typed;
        float working;
    } typed[] = {{S::kAzimuth, "12.5", Typed::kLoaded, 12.5f}, {S::kRoll, "1.5x", Typed::kNotANumber, 2},
                 {S::kPitch, "", Typed::kLoaded, 0}, {S::kDeclination, "7", Typed::kLoaded, 2}};
    for (const auto& t : typed) {
        S values;
        values.angles[t.angle].working = 2;
        EXPECT_EQ(AngleTyped(values, t.angle, t.text), t.typed) << t.text;
        EXPECT_TRUE(values.angles[t.angle].working == t.working &&
                    values.angles[t.angle].load == (t.typed == Typed::kLoaded)) << t.text;
    }
    for (const auto& [text, result] : {std::pair{"5", Typed::kLoaded}, {"-1", Typed::kNegativeRate},
                                       {"-0", Typed::kLoaded}, {"x", Typed::kNotANumber}}) {
        RateField rate;
        EXPECT_EQ(RateTyped(rate, text), result) << text;
        EXPECT_EQ(rate.load, result == Typed::kLoaded);
    }

    enum { None, East, West };
    const struct {
        const char* text;
        bool westBefore;
        int chosen;
        bool taken;
        float working;
    } left[] = {{"-7", false, West, true, -7}, {"+7", true, East, true, 7},   {"7", true, None, true, -7},
                {"7", false, None, true, 7},   {" 7", true, East, true, 7},   {"-+7", false, East, true, 7},
                {"+-7", false, West, true, -7}, {"-7x", false, West, false, 2}, {"", true, None, true, 0}};
    for (const auto& l : left) {
        AngleField declination{2, 2, true};
        const DeclinationLeft got = LeaveDeclination(declination, l.text, l.westBefore);
        EXPECT_EQ(got.west ? (*got.west ? West : East) : None, l.chosen) << l.text;
        EXPECT_TRUE(got.taken == l.taken && declination.working == l.working) << l.text;
    }

    const struct {
        float working;
        bool west, flipped;
    } clicks[] = {{5, true, true}, {5, false, false}, {-5, false, true}, {-5, true, false}, {0, true, true},
                  {0, false, false}};
    for (const auto& c : clicks) {
        AngleField declination{c.working, 1, false};
        EXPECT_EQ(HemisphereClicked(declination, c.west), c.flipped) << c.working << c.west;
        EXPECT_TRUE(declination.load == c.flipped && declination.working == (c.flipped ? -c.working : c.working));
    }
}

// Leaving the rate field enters the rate typed, loaded or not, as an
// interval in steps of 5 ms, and shows the rate that stands for; a text
// that is no number keeps the interval. A Load box unchecked brings the
// received value back. OK's range check goes in the order the requests
// go, over loaded values only.
TEST(ValueFieldRules, RateLoadBoxesAndRange)
{
    for (const auto& [text, interval, shown] : {std::tuple{"7", 145, "6.90"}, {"x", 143, ""}}) {
        RateField rate;
        rate.working = rate.received = 143;
        EXPECT_EQ(LeaveRate(rate, text).value_or(""), shown) << text;
        EXPECT_EQ(rate.working, interval);
    }
    AngleField offset{3, 1, false};
    EXPECT_FALSE(offset.SetLoad(true));
    EXPECT_TRUE(offset.load && offset.working == 3);
    EXPECT_TRUE(offset.SetLoad(false));
    EXPECT_TRUE(!offset.load && offset.working == 1);

    S values;
    values.Take(180, 500, -180, 179.9f, 200);
    EXPECT_EQ(values.FirstOutOfRange(), std::nullopt);
    for (S::Angle angle : {S::kPitch, S::kRoll, S::kDeclination}) values.angles[angle].load = true;
    EXPECT_EQ(values.FirstOutOfRange(), S::kDeclination);
    values.angles[S::kDeclination].working = -179.9f;
    EXPECT_EQ(values.FirstOutOfRange(), S::kRoll);
    values.angles[S::kRoll].working = 0;
    EXPECT_EQ(values.FirstOutOfRange(), std::nullopt);
}

// The type in hex, the payload and what it sets: the declination request
// sets (1) the raw declination, the offsets request carries a mask (1
// azimuth, 2 roll, 4 pitch) and all three raw offsets, the rate request
// the interval. With declination 2 (raw 364), azimuth 1.5 (273), roll -3
// (-546), pitch 10 (1820) and 145 ms.
std::string Sent(const OutgoingRequest& r, const char* label)
{
    char text[64];
    int n = std::snprintf(text, sizeof text, "%02X:", r.type);
    for (int i = 0; i < r.length; ++i) n += std::snprintf(text + n, sizeof text - n, "%02X", r.payload[i]);
    return text + std::string(" ") + label;
}

// Each request awaited is acknowledged by a message of its own type only
// (not by another of the three, nor by DSDFLT), and by none once given up.
TEST(InitializationSequence, RequestsInTurnAndTheirAcknowledgements)
{
    const struct {
        const char* loaded; // D, A, R, P: the angles; H: the rate
        std::vector<std::string> sent;
    } cases[] = {
        {"", {}},
        {"D", {"54:016C01 magnetic declination"}},
        {"R", {"50:021101DEFD1C07 offsets"}},
        {"AP", {"50:051101DEFD1C07 offsets"}},
        {"DH", {"54:016C01 magnetic declination", "7F:9100 orient rate"}},
        {"HPRAD", {"54:016C01 magnetic declination", "50:071101DEFD1C07 offsets", "7F:9100 orient rate"}},
    };
    const std::uint16_t types[] = {0x54, 0x50, 0x7F, 0x66};
    for (const auto& c : cases) {
        S values;
        values.Take(2, 1.5f, -3, 10, 145);
        for (const char* f = c.loaded; *f; ++f) {
            if (*f == 'H') values.rate.load = true;
            else values.angles[std::string("DARP").find(*f)].load = true;
        }
        InitializationSequence sequence;
        std::vector<std::string> sent;
        while (const auto request = sequence.Next(values)) {
            sent.push_back(Sent(*request, sequence.Label()));
            for (std::uint16_t type : types) EXPECT_EQ(sequence.Acknowledges({type}), type == request->type);
        }
        EXPECT_EQ(sent, c.sent) << c.loaded;
        EXPECT_TRUE(!values.angles[0].load && !values.angles[1].load && !values.angles[2].load &&
                    !values.angles[3].load && !values.rate.load);
        values.rate.load = true;
        sequence.Next(values);
        sequence.Abandon();
        EXPECT_FALSE(sequence.Acknowledges({0x7F}));
    }
}

} // namespace
} // namespace tolvane
