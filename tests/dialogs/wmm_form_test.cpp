// The WMM dialog's form: the date it opens on, each field's check as it is
// left, Submit's readiness and the request it sends.
#include "dialogs/wmm_form.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tolvane {
namespace {

// Today's date, the year in two digits (0 before 2000, 99 after 2099).
// The day: its leading digits, 0 or none as 1, limited by the month chosen
// (February 29 whatever the year; April, June, September and November 30);
// the year: its first two characters' digits.
TEST(WmmForm, DateOpenedAndLeft)
{
    const struct {
        int year, month, day, formYear;
    } opened[] = {{2004, 3, 31, 4}, {1999, 12, 5, 0}, {2000, 1, 1, 0}, {2099, 6, 30, 99}, {2100, 6, 30, 99}};
    for (const auto& o : opened) {
        const WmmForm form = WmmForm::Opening(o.year, o.month, o.day);
        EXPECT_TRUE(form.day == o.day && form.month == o.month - 1 && form.year == o.formYear) << o.year;
        EXPECT_TRUE(!form.latitudeValid && !form.longitudeValid && form.altitudeValid && !form.Complete());
    }
    const struct {
        int month;
        const char* text;
        const char* shown;
    } days[] = {{1, "31", "29"}, {1, "29", "29"}, {1, "28", "28"}, {0, "31", "31"},   {2, "31", "31"},
                {3, "31", "30"}, {5, "31", "30"}, {8, "31", "30"}, {10, "31", "30"},  {11, "31", "31"},
                {11, "45", "31"}, {7, "32", "31"}, {4, "0", "1"},  {4, "", "1"},      {4, "x5", "1"},
                {4, "5x", "5"},  {4, "07", "7"},  {4, "99999999999", "31"}};
    for (const auto& d : days) {
        WmmForm form;
        form.month = d.month;
        EXPECT_EQ(form.LeaveDay(d.text), d.shown) << d.month << " " << d.text;
        EXPECT_EQ(DayText(form.day), d.shown);
    }
    for (const auto& [text, year, shown] : {std::tuple{"7", 7, "07"}, {"456", 45, "45"}, {"", 0, "00"},
                                            {"4x", 4, "04"}, {"x4", 0, "00"}, {"99", 99, "99"}}) {
        WmmForm form;
        EXPECT_EQ(form.LeaveYear(text), shown) << text;
        EXPECT_EQ(form.year, year);
    }
}

// One form's fields left in turn: Submit waits for a latitude within 90, a
// longitude within 180 and an altitude from -1000 to 30000 feet; a field
// left empty or refused is not valid. Then the request, signed by the
// hemispheres chosen.
TEST(WmmForm, FieldsLeftAndTheRequest)
{
    enum Field { Lat, Lon, Alt };
    const struct {
        Field field;
        const char* text;
        EntryOutcome outcome;
        bool complete;
    } steps[] = {
        {Lat, "-33.5", EntryOutcome::Valid, false},      {Lon, "91", EntryOutcome::Valid, true},
        {Lat, "90.00000001", EntryOutcome::OutOfRange, false}, {Lat, "90", EntryOutcome::Valid, true},
        {Lon, "180.00000001", EntryOutcome::OutOfRange, false}, {Lon, "-180", EntryOutcome::Valid, true},
        {Alt, "30001", EntryOutcome::OutOfRange, false}, {Alt, "-+1000", EntryOutcome::Valid, true},
        {Lat, "-", EntryOutcome::Empty, false},          {Lat, "45.5", EntryOutcome::Valid, true},
    };
    WmmForm form = WmmForm::Opening(2007, 2, 31);
    for (const auto& s : steps) {
        const EntryOutcome outcome = s.field == Alt ? form.LeaveAltitude(s.text).outcome
                                     : s.field == Lat ? form.LeaveLatitude(s.text).outcome
                                                      : form.LeaveLongitude(s.text).outcome;
        EXPECT_TRUE(outcome == s.outcome && form.Complete() == s.complete) << s.field << " " << s.text;
    }
    EXPECT_TRUE(form.latitude == 45.5 && form.longitude == 180 && form.altitude == 1000);

    form.LeaveDay("31"); // February
    for (const auto& [south, west, latitude, longitude] : {std::tuple{false, true, 45.5f, -180.0f},
                                                           {true, false, -45.5f, 180.0f}}) {
        const OutgoingRequest r = form.Request(south, west);
        float values[3];
        std::memcpy(values, r.payload + 3, sizeof values);
        EXPECT_TRUE(r.type == 'U' && r.length == 15 && r.payload[0] == 29 && r.payload[1] == 2 && r.payload[2] == 7);
        EXPECT_TRUE(values[0] == latitude && values[1] == longitude && values[2] == 304.8006096012f) << south;
    }
}

} // namespace
} // namespace tolvane
