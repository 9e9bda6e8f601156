// The five settings the Initializations and Start-Up Defaults dialogs
// share, apart from their widgets: what typing into a field, leaving it, a
// click on "E" or "W" and a Load box do to each value. Texts are a field's
// first 13 characters as 8-bit codes; the dialogs tell the user what the
// results say and show the values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// One setting: what OK would send, what the module gave, and whether OK
// sends it.
template <typename T>
struct ValueField {
    T working{};
    T received{};
    bool load = false;

    // The Load box clicked; unchecked, the received value comes back. True
    // when it did, for the field to show it again.
    bool SetLoad(bool checked)
    {
        load = checked;
        if (!load) working = received;
        return !load;
    }
};

// Degrees.
using AngleField = ValueField<float>;

// The DORIENT interval in ms (0: no orientation messages), and the rate
// in Hz the field shows.
struct RateField : ValueField<std::int32_t> {
    float rate = 0.0f;
};

struct SettingValues {
    enum Angle { kDeclination, kAzimuth, kRoll, kPitch };

    std::array<AngleField, 4> angles;
    RateField rate;

    // Each value as the module gave it becomes working and received value.
    void Take(float declination, float azimuth, float roll, float pitch, std::int32_t intervalMs);
    // The first angle OK would send that is not within +/-180, in the order
    // declination, azimuth, roll, pitch.
    std::optional<Angle> FirstOutOfRange() const;
};

// What typing into a field makes of its text.
enum class Typed {
    kNotANumber,   // "Numbers only, please."
    kNegativeRate, // "Negative frequency?"
    kLoaded,       // the Load box is checked
};
// An angle field: a number loads it. An offset takes the number as its
// working value; the declination only once its field is left.
Typed AngleTyped(SettingValues& values, SettingValues::Angle angle, std::string_view text);
// The rate field: a number of zero or more loads it; the interval changes
// only once the field is left.
Typed RateTyped(RateField& rate, std::string_view text);

// The declination field left, its Load box checked, with "W" chosen or
// not: the characters before the first digit choose the hemisphere, the
// last of them deciding ('-' west, any other east; none: as chosen), and
// the number from that digit on, negated for west, becomes the working
// value. False when it is not a number: the value stays as it was, the
// hemisphere chosen stays chosen.
struct DeclinationLeft {
    std::optional<bool> west; // the hemisphere the text chose
    bool taken = false;
};
DeclinationLeft LeaveDeclination(AngleField& declination, std::string_view text, bool west);

// "E" or "W" clicked: a working value on the other side changes sign and
// is loaded. True when it did.
bool HemisphereClicked(AngleField& declination, bool west);

// The rate field left, loaded or not: the interval of the rate typed and
// the text the field then shows; none when it is not a number, and the
// interval stays as it was.
std::optional<std::string> LeaveRate(RateField& rate, std::string_view text);

} // namespace tolvane
