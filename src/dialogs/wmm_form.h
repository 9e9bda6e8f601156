// The Magnetic Declination (WMM) dialog's form apart from its widgets: the
// date it opens on, each field's check as the user leaves it, whether
// Submit may send, and the request it sends. The hemispheres are the
// dialog's radio buttons; the form keeps magnitudes.
#pragma once

#include <string>
#include <string_view>

#include "dialogs/number_entry.h"
#include "link/device_message.h"

namespace tolvane {

// The most days a month (0 = January) takes in the day field; February 29
// whatever the year.
int DaysAtMost(int month);

// The value of the decimal digits `text` starts with; 0 without any.
int LeadingDigits(std::string_view text);

struct WmmForm {
    int day = 1;
    int month = 0;     // 0 = January
    int year = 0;      // since 2000
    int altitude = 0;  // feet
    double latitude = 0;  // magnitudes in degrees
    double longitude = 0;
    bool latitudeValid = false;
    bool longitudeValid = false;
    bool altitudeValid = true;

    // The form as the dialog opens on a date (a whole year, month 1 to 12):
    // that date, a year before 2000 as 0 and after 2099 as 99 (two digits
    // are all the field and the request hold), no position, altitude 0.
    static WmmForm Opening(int year, int month, int day);

    // Each field left, its text as 8-bit characters: valid exactly when its
    // entry is, the value taken then. The dialog tells the user why not.
    CoordinateEntry LeaveLatitude(std::string_view text);
    CoordinateEntry LeaveLongitude(std::string_view text);
    AltitudeEntry LeaveAltitude(std::string_view text);
    // The day: its digits, none or 0 read as 1, limited by the month chosen
    // now (a later choice does not limit it again). The year: its first two
    // characters' digits. Each returns the text the field then shows.
    std::string LeaveDay(std::string_view text);
    std::string LeaveYear(std::string_view text);

    // Submit may send: a position and an altitude that passed their checks.
    bool Complete() const { return latitudeValid && longitudeValid && altitudeValid; }
    // The request, the latitude negative when south is chosen and the
    // longitude when west is.
    OutgoingRequest Request(bool south, bool west) const;
};

// The texts the day ("%d") and the year ("%02d") fields show.
std::string DayText(int day);
std::string YearText(int year);

} // namespace tolvane
