#include "dialogs/wmm_form.h"

#include <algorithm>
#include <cstdio>

#include "protocol/requests.h"

namespace tolvane {
namespace {

// The checks read a field into a 14-character buffer.
constexpr std::size_t kExamined = 13;
constexpr std::size_t kYearDigits = 2;

std::string Formatted(const char* format, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

int DaysAtMost(int month)
{
    switch (month) {
    case 1: return 29;
    case 3:
    case 5:
    case 8:
    case 10: return 30;
    default: return 31;
    }
}

int LeadingDigits(std::string_view text)
{
    // Far beyond any day or year, and far from overflowing.
    constexpr int kCeiling = 1'000'000;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min(value * 10 + (c - '0'), kCeiling);
    }
    return value;
}

WmmForm WmmForm::Opening(int year, int month, int day)
{
    WmmForm form;
    form.day = day;
    form.month = month - 1;
    form.year = std::clamp(year - 2000, 0, 99);
    return form;
}

CoordinateEntry WmmForm::LeaveLatitude(std::string_view text)
{
    const CoordinateEntry entry = ReadCoordinate(text, 90.0);
    latitudeValid = entry.outcome == EntryOutcome::Valid;
    if (latitudeValid) latitude = entry.magnitude;
    return entry;
}

CoordinateEntry WmmForm::LeaveLongitude(std::string_view text)
{
    const CoordinateEntry entry = ReadCoordinate(text, 180.0);
    longitudeValid = entry.outcome == EntryOutcome::Valid;
    if (longitudeValid) longitude = entry.magnitude;
    return entry;
}

AltitudeEntry WmmForm::LeaveAltitude(std::string_view text)
{
    const AltitudeEntry entry = ReadAltitude(text);
    altitudeValid = entry.outcome == EntryOutcome::Valid;
    if (altitudeValid) altitude = entry.feet;
    return entry;
}

std::string WmmForm::LeaveDay(std::string_view text)
{
    day = std::min(std::max(LeadingDigits(text.substr(0, kExamined)), 1), DaysAtMost(month));
    return DayText(day);
}

std::string WmmForm::LeaveYear(std::string_view text)
{
    year = LeadingDigits(text.substr(0, kYearDigits));
    return YearText(year);
}

OutgoingRequest WmmForm::Request(bool south, bool west) const
{
    return WmmRequest(day, month + 1, year, south ? -latitude : latitude, west ? -longitude : longitude, altitude);
}

std::string DayText(int day) { return Formatted("%d", day); }

std::string YearText(int year) { return Formatted("%02d", year); }

} // namespace tolvane
