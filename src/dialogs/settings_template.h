// The controls the Initializations (150) and Start-Up Defaults (152)
// templates share; the latter adds its flash warning below them.
#pragma once

#include <array>
#include <cstddef>
#include <functional>

#include "dialogs/dialog_template.h"
#include "dialogs/value_field.h"

namespace tolvane {

inline constexpr int kSettingsOkId = 1;
inline constexpr int kSettingsCancelId = 2;

inline constexpr ControlLayout kSettingsControls[] = {
    {-1, ControlKind::StaticCentred, "Below are degrees.", 9, 4, 83, 10},
    {-1, ControlKind::StaticCentred, "Magnetic Declination", 9, 16, 83, 10},
    {kDeclinationLoadId, ControlKind::CheckBox, "Load", 9, 26, 30, 12, "Load magnetic declination"},
    {kDeclinationEditId, ControlKind::Edit, "", 42, 26, 50, 12, "Magnetic declination"},
    {kEastId, ControlKind::RadioButton, "E", 96, 23, 20, 10},
    {kWestId, ControlKind::RadioButton, "W", 96, 33, 20, 10},
    {-1, ControlKind::StaticCentred, "Azimuth Offset", 9, 53, 83, 10},
    {kAzimuthLoadId, ControlKind::CheckBox, "Load", 9, 63, 30, 12, "Load azimuth offset"},
    {kAzimuthEditId, ControlKind::Edit, "", 42, 63, 50, 12, "Azimuth offset"},
    {1332, ControlKind::Static, "Roll Offset", 9, 78, 83, 10},
    {kRollLoadId, ControlKind::CheckBox, "Load", 9, 88, 30, 12, "Load roll offset"},
    {kRollEditId, ControlKind::Edit, "", 42, 88, 50, 12, "Roll offset"},
    {1334, ControlKind::Static, "Pitch Offset", 9, 103, 83, 10},
    {kPitchLoadId, ControlKind::CheckBox, "Load", 9, 113, 30, 12, "Load pitch offset"},
    {kPitchEditId, ControlKind::Edit, "", 42, 113, 50, 12, "Pitch offset"},
    {1336, ControlKind::Static, "Orientation Rate (Hz)\n(0 = none)", 112, 45, 83, 18},
    {kRateLoadId, ControlKind::CheckBox, "Load", 112, 63, 30, 12, "Load orientation rate"},
    {kRateEditId, ControlKind::Edit, "", 145, 63, 50, 12, "Orientation rate (Hz)"},
    {kSettingsOkId, ControlKind::DefPushButton, "OK", 132, 87, 50, 14},
    {kSettingsCancelId, ControlKind::PushButton, "Cancel", 132, 112, 50, 14},
};

// The shared controls followed by `extra`.
template <std::size_t N>
constexpr std::array<ControlLayout, std::size(kSettingsControls) + N> WithSettingsControls(const ControlLayout (&extra)[N])
{
    std::array<ControlLayout, std::size(kSettingsControls) + N> all{};
    std::size_t i = 0;
    for (const ControlLayout& c : kSettingsControls) all[i++] = c;
    for (const ControlLayout& c : extra) all[i++] = c;
    return all;
}

// Builds `layout` into `dialog` with a caption and modal frame and no system
// menu, its statics wrapping as the template's do; OK calls `ok`, Cancel
// rejects.
void BuildSettingsDialog(QDialog& dialog, const DialogLayout& layout, const std::function<void()>& ok);

} // namespace tolvane
