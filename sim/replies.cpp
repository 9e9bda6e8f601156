#include "replies.h"

#include <cmath>
#include <ctime>

#include "protocol/requests.h"

namespace tolvane::sim {
namespace {

// Request payload lengths; a request of another length is not understood.
int ExpectedLength(std::uint8_t type)
{
    switch (type) {
    case kSerialNumberRequest:
    case kSelfTestRequest:
    case kResetRequest:
    case kCompensationParametersRequest: return 0;
    case kOffsetsRequest: return 7;
    case kDeclinationRequest: return 3;
    case kOrientationRateRequest: return 2;
    case kStartUpDefaultsRequest: return 12;
    case kCompensationRequest: return 1;
    case kWmmRequest: return 15;
    default: return -1;
    }
}

// Fractional year of a day, for the declination model's drift.
double DecimalYear(int day, int month, int year)
{
    static const int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return year + (kDaysBefore[(month - 1) % 12] + day - 1) / 365.25;
}

std::int16_t DegreesToCountsRounded(double degrees)
{
    return static_cast<std::int16_t>(std::lround(std::fmod(degrees, 360.0) * 32768 / 180) & 0xFFFF);
}

} // namespace

std::vector<Outgoing> Replier::Answer(const DeviceMessage& request, std::int64_t nowMs)
{
    const SimOptions& options = module_.Options();
    const auto type = static_cast<std::uint8_t>(request.type);
    const int expected = ExpectedLength(type);
    if (expected < 0 || request.length != expected || module_.Restarting()) return {};
    module_.Advance(nowMs);

    // Requests change the module even when their answer is withheld.
    std::vector<Outgoing> replies;
    const std::uint8_t* p = request.payload;
    WorkingValues& w = module_.Working();
    switch (type) {
    case kSerialNumberRequest: replies.push_back(Identity()); break;
    case kSelfTestRequest: replies.push_back(PayloadBuilder().U16(options.testResult).Frame(type)); break;
    case kResetRequest: module_.Reset(nowMs); break;
    case kOffsetsRequest:
        if (p[0] & kSetBodyOffset) w.bodyOffset = ReadS16(p + 1);
        if (p[0] & kSetRollOffset) w.rollOffset = ReadS16(p + 3);
        if (p[0] & kSetPitchOffset) w.pitchOffset = ReadS16(p + 5);
        replies.push_back(Offsets(p[0]));
        break;
    case kDeclinationRequest:
        if (p[0] == 1) w.declination = ReadS16(p + 1);
        replies.push_back(Declination(p[0]));
        break;
    case kOrientationRateRequest: {
        const std::int16_t interval = ReadS16(p);
        if (interval >= 0) w.interval = interval;
        replies.push_back(Rate());
        break;
    }
    case kStartUpDefaultsRequest: {
        const std::uint16_t flags = ReadU16(p);
        std::uint16_t result = 1;
        if (flags != 0) {
            FlashValues f = module_.Flash().Values();
            if (flags & kLoadDeclination) f.declination = ReadS16(p + 2);
            if (flags & kLoadBodyOffset) f.bodyOffset = ReadS16(p + 4);
            if (flags & kLoadPitchOffset) f.pitchOffset = ReadS16(p + 6);
            if (flags & kLoadRollOffset) f.rollOffset = ReadS16(p + 8);
            if (flags & kLoadInterval) f.interval = ReadS16(p + 10);
            result = !options.flashFail && module_.Flash().Store(f) ? 1 : 0;
        }
        replies.push_back(Defaults(result));
        break;
    }
    case kCompensationRequest:
        switch (p[0]) {
        case 1: module_.StartCompensation(nowMs); break;
        case 3: module_.AbortCompensation(); break;
        case 4: module_.RevertCompensation(); break;
        default: break; // 2, status, and anything else: report
        }
        replies.push_back(CompensationMessage());
        break;
    case kCompensationParametersRequest: replies.push_back(Parameters()); break;
    case kWmmRequest: {
        const double declination = DipoleDeclination(ReadF32(p + 3), ReadF32(p + 7), DecimalYear(p[0], p[1] == 0 ? 1 : p[1], 2000 + p[2]));
        w.declination = DegreesToCountsRounded(declination);
        replies.push_back(PayloadBuilder().U8(1).S16(w.declination).Text("Tilted dipole 2020-2025").U8(0).Frame(type));
        break;
    }
    default: break;
    }

    if (options.silent || options.silentFor.count(type)) return {};
    return replies;
}

Outgoing Replier::PowerUpMessage() const
{
    const SimOptions& o = module_.Options();
    char text[64];
    std::snprintf(text, sizeof text, "Compass simulator %d.%02d ready", o.versionMajor, o.versionMinor);
    return PayloadBuilder().Text(text).U8(0).Frame(0x44);
}

Outgoing Replier::Identity() const
{
    const SimOptions& o = module_.Options();
    return PayloadBuilder()
        .S16(o.versionMajor)
        .S16(o.versionMinor)
        .U16(o.optionBits)
        .S32(o.serial)
        .S8(o.upAxis)
        .S8(o.forwardAxis)
        .Frame(kSerialNumberRequest);
}

Outgoing Replier::Offsets(std::uint8_t flags) const
{
    const WorkingValues& w = module_.Working();
    PayloadBuilder b;
    b.U8(flags).S16(w.bodyOffset).S16(w.rollOffset);
    if (!module_.Options().incompatible) b.S16(w.pitchOffset);
    else b.U8(static_cast<unsigned>(w.pitchOffset) & 0xFF);
    return b.Frame(kOffsetsRequest);
}

Outgoing Replier::Declination(std::uint8_t setFlag) const
{
    return PayloadBuilder().U8(setFlag).S16(module_.Working().declination).Frame(kDeclinationRequest);
}

Outgoing Replier::Rate() const
{
    PayloadBuilder b;
    b.S16(module_.Working().interval);
    if (module_.Options().incompatible) b.U8(0);
    return b.Frame(kOrientationRateRequest);
}

Outgoing Replier::Defaults(std::uint16_t result) const
{
    const FlashValues& f = module_.Flash().Values();
    PayloadBuilder b;
    b.U16(result).S16(f.declination).S16(f.bodyOffset).S16(f.pitchOffset).S16(f.rollOffset);
    if (module_.Options().incompatible) b.U8(static_cast<unsigned>(f.interval) & 0xFF);
    else b.S16(f.interval);
    return b.Frame(kStartUpDefaultsRequest);
}

Outgoing Replier::CompensationMessage() const
{
    const CompensationReport r = module_.Compensation();
    PayloadBuilder b;
    b.U8(r.state).U8(r.status);
    for (auto bin : r.bins) b.U8(bin);
    return b.U8(r.completion).S16(r.quality).Frame(kCompensationRequest);
}

Outgoing Replier::Parameters() const
{
    const CompensationParameters& c = module_.Parameters();
    return PayloadBuilder()
        .S16(c.n).S16(c.a).S16(c.b).S16(c.c).S16(c.f0).S16(c.f1)
        .S16(module_.Working().declination)
        .S16(c.magneticOffset)
        .S16(c.rms)
        .Frame(kCompensationParametersRequest);
}

} // namespace tolvane::sim
