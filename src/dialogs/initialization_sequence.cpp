#include "dialogs/initialization_sequence.h"

#include "dialogs/number_entry.h"
#include "protocol/messages.h"
#include "protocol/requests.h"

namespace tolvane {

std::optional<OutgoingRequest> InitializationSequence::Next(SettingValues& values)
{
    AngleField& declination = values.angles[SettingValues::kDeclination];
    AngleField& azimuth = values.angles[SettingValues::kAzimuth];
    AngleField& roll = values.angles[SettingValues::kRoll];
    AngleField& pitch = values.angles[SettingValues::kPitch];
    OutgoingRequest request;
    if (declination.load) {
        request = DeclinationSetRequest(DegreesToRaw(declination.working));
        label_ = "magnetic declination";
        declination.load = false;
    } else if (azimuth.load || roll.load || pitch.load) {
        const auto mask = static_cast<std::uint8_t>((azimuth.load ? Offsets::kBody : 0) |
                                                    (roll.load ? Offsets::kRoll : 0) |
                                                    (pitch.load ? Offsets::kPitch : 0));
        request = OffsetsSetRequest(mask, DegreesToRaw(azimuth.working), DegreesToRaw(roll.working),
                                    DegreesToRaw(pitch.working));
        label_ = "offsets";
        azimuth.load = roll.load = pitch.load = false;
    } else if (values.rate.load) {
        request = OrientationRateSetRequest(static_cast<std::int16_t>(values.rate.working));
        label_ = "orient rate";
        values.rate.load = false;
    } else {
        awaited_ = 0;
        return std::nullopt;
    }
    awaited_ = request.type;
    return request;
}

bool InitializationSequence::Acknowledges(const DeviceMessage& message) const
{
    return message.type == awaited_ &&
           (IsType(message, MessageType::Offsets) || IsType(message, MessageType::Declination) ||
            IsType(message, MessageType::OrientationRate));
}

void InitializationSequence::Abandon()
{
    awaited_ = 0;
    label_ = "";
}

} // namespace tolvane
