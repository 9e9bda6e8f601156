#include "protocol/requests.h"

#include <cstdio>

namespace tolvane {
namespace {

// Metres per international foot as the module's altitude field expects it.
constexpr double kMetresPerFoot = 0.3048006096012;

struct RequestLayout {
    MessageType type;
    std::size_t length;
};

template <typename T>
constexpr RequestLayout LayoutOf()
{
    return {T::kType, PayloadLength<T>()};
}

// Every request the host sends.
constexpr RequestLayout kRequestLayouts[] = {
    {MessageType::Identity, 0},
    {MessageType::SelfTest, 0},
    {MessageType::Reset, 0},
    {MessageType::CompensationParameters, 0},
    LayoutOf<Offsets>(),
    LayoutOf<Declination>(),
    LayoutOf<OrientationRate>(),
    LayoutOf<StartupDefaults>(),
    LayoutOf<CompensationCommand>(),
    LayoutOf<WmmQuery>(),
};

OutgoingRequest Empty(MessageType type)
{
    OutgoingRequest request;
    request.type = TypeByte(type);
    request.length = 0;
    return request;
}

} // namespace

OutgoingRequest SerialNumberRequest() { return Empty(MessageType::Identity); }
OutgoingRequest SelfTestRequest() { return Empty(MessageType::SelfTest); }
OutgoingRequest ResetRequest() { return Empty(MessageType::Reset); }
OutgoingRequest CompensationParametersRequest() { return Empty(MessageType::CompensationParameters); }

OutgoingRequest OffsetsReadRequest() { return OffsetsSetRequest(0, 0, 0, 0); }

OutgoingRequest OffsetsSetRequest(std::uint8_t flags, std::int16_t body, std::int16_t roll, std::int16_t pitch)
{
    return EncodeRequest(Offsets{flags, body, roll, pitch});
}

OutgoingRequest DeclinationReadRequest() { return EncodeRequest(Declination{0, 0}); }
OutgoingRequest DeclinationSetRequest(std::int16_t declination) { return EncodeRequest(Declination{1, declination}); }

OutgoingRequest OrientationRateReadRequest() { return OrientationRateSetRequest(OrientationRate::kRead); }
OutgoingRequest OrientationRateSetRequest(std::int16_t intervalMs)
{
    return EncodeRequest(OrientationRate{intervalMs});
}

OutgoingRequest StartupDefaultsReadRequest() { return EncodeRequest(StartupDefaults{}); }

OutgoingRequest StartupDefaultsLoadRequest(const StartupDefaults& values)
{
    auto pick = [mask = values.mask](std::uint16_t bit, std::int16_t value) -> std::int16_t {
        return (mask & bit) ? value : std::int16_t{0};
    };
    StartupDefaults sent;
    sent.mask = values.mask;
    sent.declination = pick(StartupDefaults::kDeclination, values.declination);
    sent.bodyOffset = pick(StartupDefaults::kBodyOffset, values.bodyOffset);
    sent.pitchOffset = pick(StartupDefaults::kPitchOffset, values.pitchOffset);
    sent.rollOffset = pick(StartupDefaults::kRollOffset, values.rollOffset);
    sent.interval = pick(StartupDefaults::kInterval, values.interval);
    return EncodeRequest(sent);
}

OutgoingRequest CompensationRequest(CompensationAction action) { return EncodeRequest(CompensationCommand{action}); }

OutgoingRequest WmmRequest(int day, int month, int yearSince2000, double latitude, double longitude,
                           double altitudeFeet)
{
    WmmQuery query;
    query.day = static_cast<std::uint8_t>(day);
    query.month = static_cast<std::uint8_t>(month);
    query.year = static_cast<std::uint8_t>(yearSince2000);
    query.latitude = static_cast<float>(latitude);
    query.longitude = static_cast<float>(longitude);
    query.altitudeMetres = static_cast<float>(altitudeFeet * kMetresPerFoot);
    return EncodeRequest(query);
}

std::optional<std::size_t> RequestLength(MessageType type)
{
    for (const RequestLayout& layout : kRequestLayouts)
        if (layout.type == type) return layout.length;
    return std::nullopt;
}

std::string RequestName(const DeviceMessage& frame)
{
    auto readOrSet = [](const char* name, bool read, const char* readWord, const char* setWord) {
        return std::string(name) + " (" + (read ? readWord : setWord) + ")";
    };
    switch (static_cast<MessageType>(frame.type)) {
    case MessageType::Identity: return "serial number request";
    case MessageType::SelfTest: return "self test request";
    case MessageType::Reset: return "reset request";
    case MessageType::CompensationParameters: return "compensation parameters request";
    case MessageType::Wmm: return "WMM request";
    case MessageType::Offsets: return readOrSet("offsets request", Decode<Offsets>(frame).flags == 0, "read", "set");
    case MessageType::Declination:
        return readOrSet("declination request", Decode<Declination>(frame).set == 0, "read", "set");
    case MessageType::OrientationRate:
        return readOrSet("orientation rate request",
                         Decode<OrientationRate>(frame).interval == OrientationRate::kRead, "read", "set");
    case MessageType::StartupDefaults:
        return readOrSet("start-up defaults request", Decode<StartupDefaults>(frame).mask == 0, "read", "load");
    case MessageType::Compensation: {
        static constexpr const char* kActions[] = {"?", "start", "status", "abort", "revert"};
        const auto action = static_cast<std::size_t>(Decode<CompensationCommand>(frame).action);
        return std::string("compensation request (") + kActions[action < std::size(kActions) ? action : 0] + ")";
    }
    default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "unknown request 0x%02X", frame.type);
    return text;
}

} // namespace tolvane
