#include "protocol/requests.h"

#include <cstring>

namespace tolvane {
namespace {

// Metres per international foot as the module's altitude field expects it.
constexpr double kMetresPerFoot = 0.3048006096012;

// Writes little-endian fields into a request's payload and keeps its length.
class PayloadWriter {
public:
    explicit PayloadWriter(OutgoingRequest& request) : request_(request) {}
    PayloadWriter& U8(std::uint8_t v)
    {
        request_.payload[request_.length++] = v;
        return *this;
    }
    PayloadWriter& U16(std::uint16_t v) { return U8(static_cast<std::uint8_t>(v)).U8(static_cast<std::uint8_t>(v >> 8)); }
    PayloadWriter& S16(std::int16_t v) { return U16(static_cast<std::uint16_t>(v)); }
    PayloadWriter& F32(float v)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return U16(static_cast<std::uint16_t>(bits)).U16(static_cast<std::uint16_t>(bits >> 16));
    }

private:
    OutgoingRequest& request_;
};

OutgoingRequest Empty(RequestType type)
{
    OutgoingRequest request;
    request.type = type;
    request.length = 0;
    return request;
}

std::int16_t ReadS16(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}

} // namespace

OutgoingRequest SerialNumberRequest() { return Empty(kSerialNumberRequest); }
OutgoingRequest SelfTestRequest() { return Empty(kSelfTestRequest); }
OutgoingRequest ResetRequest() { return Empty(kResetRequest); }
OutgoingRequest CompensationParametersRequest() { return Empty(kCompensationParametersRequest); }

OutgoingRequest OffsetsReadRequest() { return OffsetsSetRequest(0, 0, 0, 0); }

OutgoingRequest OffsetsSetRequest(std::uint8_t flags, std::int16_t body, std::int16_t roll, std::int16_t pitch)
{
    OutgoingRequest request = Empty(kOffsetsRequest);
    PayloadWriter(request).U8(flags).S16(body).S16(roll).S16(pitch);
    return request;
}

OutgoingRequest DeclinationReadRequest()
{
    OutgoingRequest request = Empty(kDeclinationRequest);
    PayloadWriter(request).U8(0).S16(0);
    return request;
}

OutgoingRequest DeclinationSetRequest(std::int16_t declination)
{
    OutgoingRequest request = Empty(kDeclinationRequest);
    PayloadWriter(request).U8(1).S16(declination);
    return request;
}

OutgoingRequest OrientationRateReadRequest() { return OrientationRateSetRequest(-1); }

OutgoingRequest OrientationRateSetRequest(std::int16_t intervalMs)
{
    OutgoingRequest request = Empty(kOrientationRateRequest);
    PayloadWriter(request).S16(intervalMs);
    return request;
}

OutgoingRequest StartUpDefaultsReadRequest() { return StartUpDefaultsLoadRequest(0, StartUpDefaults{}); }

OutgoingRequest StartUpDefaultsLoadRequest(std::uint16_t flags, const StartUpDefaults& values)
{
    auto pick = [flags](std::uint16_t bit, std::int16_t value) -> std::int16_t {
        return (flags & bit) ? value : std::int16_t{0};
    };
    OutgoingRequest request = Empty(kStartUpDefaultsRequest);
    PayloadWriter(request)
        .U16(flags)
        .S16(pick(kLoadDeclination, values.declination))
        .S16(pick(kLoadBodyOffset, values.bodyOffset))
        .S16(pick(kLoadPitchOffset, values.pitchOffset))
        .S16(pick(kLoadRollOffset, values.rollOffset))
        .S16(pick(kLoadInterval, values.interval));
    return request;
}

StartUpDefaults DecodeStartUpDefaults(const std::uint8_t* payload, std::uint16_t* result)
{
    if (result) *result = static_cast<std::uint16_t>(payload[0] | (payload[1] << 8));
    StartUpDefaults values;
    values.declination = ReadS16(payload + 2);
    values.bodyOffset = ReadS16(payload + 4);
    values.pitchOffset = ReadS16(payload + 6);
    values.rollOffset = ReadS16(payload + 8);
    values.interval = ReadS16(payload + 10);
    return values;
}

OutgoingRequest CompensationRequest(CompensationAction action)
{
    OutgoingRequest request = Empty(kCompensationRequest);
    PayloadWriter(request).U8(static_cast<std::uint8_t>(action));
    return request;
}

OutgoingRequest WmmRequest(int day, int month, int yearSince2000, double latitude, double longitude,
                           double altitudeFeet)
{
    OutgoingRequest request = Empty(kWmmRequest);
    PayloadWriter(request)
        .U8(static_cast<std::uint8_t>(day))
        .U8(static_cast<std::uint8_t>(month))
        .U8(static_cast<std::uint8_t>(yearSince2000))
        .F32(static_cast<float>(latitude))
        .F32(static_cast<float>(longitude))
        .F32(static_cast<float>(altitudeFeet * kMetresPerFoot));
    return request;
}

} // namespace tolvane
