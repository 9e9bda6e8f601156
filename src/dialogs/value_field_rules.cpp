#include "dialogs/value_field_rules.h"

#include "dialogs/number_entry.h"

namespace tolvane {

void SettingValues::Take(float declination, float azimuth, float roll, float pitch, std::int32_t intervalMs)
{
    const float values[] = {declination, azimuth, roll, pitch};
    for (std::size_t i = 0; i < angles.size(); ++i) angles[i].working = angles[i].received = values[i];
    rate.working = rate.received = intervalMs;
}

std::optional<SettingValues::Angle> SettingValues::FirstOutOfRange() const
{
    for (Angle angle : {kDeclination, kAzimuth, kRoll, kPitch}) {
        if (angles[angle].load && !InRange180(angles[angle].working)) return angle;
    }
    return std::nullopt;
}

Typed AngleTyped(SettingValues& values, SettingValues::Angle angle, std::string_view text)
{
    const std::optional<double> value = ParseNumber(text);
    if (!value) return Typed::kNotANumber;
    values.angles[angle].load = true;
    if (angle != SettingValues::kDeclination) values.angles[angle].working = static_cast<float>(*value);
    return Typed::kLoaded;
}

Typed RateTyped(RateField& rate, std::string_view text)
{
    const std::optional<double> value = ParseNumber(text);
    if (!value) return Typed::kNotANumber;
    if (*value < 0) return Typed::kNegativeRate;
    rate.load = true;
    return Typed::kLoaded;
}

DeclinationLeft LeaveDeclination(AngleField& declination, std::string_view text, bool west)
{
    DeclinationLeft left;
    std::size_t first = 0;
    while (first < text.size() && !(text[first] >= '0' && text[first] <= '9')) ++first;
    if (first > 0) left.west = text[first - 1] == '-';
    const std::optional<double> value = ParseNumber(text.substr(first));
    if (!value) return left;
    declination.working = static_cast<float>(left.west.value_or(west) ? -*value : *value);
    left.taken = true;
    return left;
}

bool HemisphereClicked(AngleField& declination, bool west)
{
    if (west ? declination.working < 0 : declination.working >= 0) return false;
    declination.working = -declination.working;
    declination.load = true;
    return true;
}

std::optional<std::string> LeaveRate(RateField& rate, std::string_view text)
{
    const std::optional<double> hz = ParseNumber(text);
    if (!hz) return std::nullopt;
    const RateEntry entry = EnterRate(*hz);
    rate.working = entry.intervalMs;
    rate.rate = entry.display.rate;
    return entry.display.text;
}

} // namespace tolvane
