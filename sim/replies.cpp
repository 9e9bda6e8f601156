#include "replies.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "protocol/angles.h"
#include "protocol/messages.h"
#include "protocol/requests.h"

namespace tolvane::sim {
namespace {

// Fractional year of a day, for the declination model's drift.
double DecimalYear(int day, int month, int year)
{
    static const int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return year + (kDaysBefore[(month - 1) % 12] + day - 1) / 365.25;
}

std::int16_t DegreesToCountsRounded(double degrees)
{
    return static_cast<std::int16_t>(NearestCounts(std::fmod(degrees, 360.0)));
}

} // namespace

std::vector<Outgoing> Replier::Answer(const DeviceMessage& request, std::int64_t nowMs)
{
    const SimOptions& options = module_.Options();
    const auto type = static_cast<MessageType>(request.type);
    const std::optional<std::size_t> expected = RequestLength(type);
    if (!expected || request.length != *expected || module_.Restarting()) return {};
    module_.Advance(nowMs);

    // Requests change the module even when their answer is withheld.
    std::vector<Outgoing> replies;
    WorkingValues& w = module_.Working();
    switch (type) {
    case MessageType::Identity: replies.push_back(Identity()); break;
    case MessageType::SelfTest: replies.push_back(Frame(SelfTest{options.testResult})); break;
    case MessageType::Reset: module_.Reset(nowMs); break;
    case MessageType::Offsets: {
        const Offsets set = Decode<Offsets>(request);
        if (set.flags & Offsets::kBody) w.bodyOffset = set.body;
        if (set.flags & Offsets::kRoll) w.rollOffset = set.roll;
        if (set.flags & Offsets::kPitch) w.pitchOffset = set.pitch;
        replies.push_back(OffsetsReply(set.flags));
        break;
    }
    case MessageType::Declination: {
        const Declination set = Decode<Declination>(request);
        if (set.set == 1) w.declination = set.declination;
        replies.push_back(Frame(Declination{set.set, w.declination}));
        break;
    }
    case MessageType::OrientationRate: {
        const std::int16_t interval = Decode<OrientationRate>(request).interval;
        if (interval >= 0) w.interval = interval;
        replies.push_back(Rate());
        break;
    }
    case MessageType::StartupDefaults: {
        const StartupDefaults load = Decode<StartupDefaults>(request);
        std::uint16_t result = 1;
        if (load.mask != 0) {
            FlashValues f = module_.Flash().Values();
            if (load.mask & StartupDefaults::kDeclination) f.declination = load.declination;
            if (load.mask & StartupDefaults::kBodyOffset) f.bodyOffset = load.bodyOffset;
            if (load.mask & StartupDefaults::kPitchOffset) f.pitchOffset = load.pitchOffset;
            if (load.mask & StartupDefaults::kRollOffset) f.rollOffset = load.rollOffset;
            if (load.mask & StartupDefaults::kInterval) f.interval = load.interval;
            result = !options.flashFail && module_.Flash().Store(f) ? 1 : 0;
        }
        replies.push_back(Defaults(result));
        break;
    }
    case MessageType::Compensation:
        switch (Decode<CompensationCommand>(request).action) {
        case CompensationAction::Start: module_.StartCompensation(nowMs); break;
        case CompensationAction::Abort: module_.AbortCompensation(); break;
        case CompensationAction::Revert: module_.RevertCompensation(); break;
        default: break; // status, and anything else: report
        }
        replies.push_back(CompensationMessage());
        break;
    case MessageType::CompensationParameters: replies.push_back(Frame(module_.Parameters())); break;
    case MessageType::Wmm: {
        const WmmQuery q = Decode<WmmQuery>(request);
        const double declination =
            DipoleDeclination(q.latitude, q.longitude, DecimalYear(q.day, q.month == 0 ? 1 : q.month, 2000 + q.year));
        w.declination = DegreesToCountsRounded(declination);
        replies.push_back(Frame(WmmResult{1, w.declination, "Tilted dipole 2020-2025"}));
        break;
    }
    default: break;
    }

    if (options.silent || options.silentFor.count(static_cast<std::uint8_t>(request.type))) return {};
    return replies;
}

Outgoing Replier::PowerUpMessage() const
{
    const SimOptions& o = module_.Options();
    char text[64];
    std::snprintf(text, sizeof text, "Compass simulator %d.%02d ready", o.versionMajor, o.versionMinor);
    return Frame(PowerUp{text});
}

Outgoing Replier::Identity() const
{
    const SimOptions& o = module_.Options();
    ModuleIdentity id;
    id.versionMajor = static_cast<std::int16_t>(o.versionMajor);
    id.versionMinor = static_cast<std::int16_t>(o.versionMinor);
    id.buildOptions = static_cast<std::uint16_t>(o.optionBits);
    id.serialNumber = static_cast<std::uint32_t>(o.serial);
    id.upAxis = static_cast<std::int8_t>(o.upAxis);
    id.forwardAxis = static_cast<std::int8_t>(o.forwardAxis);
    return Frame(id);
}

// An incompatible module sends the offsets a byte short, the rate a byte
// long and the defaults a byte short.
Outgoing Replier::OffsetsReply(std::uint8_t flags) const
{
    const WorkingValues& w = module_.Working();
    Outgoing reply = Frame(Offsets{flags, w.bodyOffset, w.rollOffset, w.pitchOffset});
    if (module_.Options().incompatible) reply.payload.pop_back();
    return reply;
}

Outgoing Replier::Rate() const
{
    Outgoing reply = Frame(OrientationRate{module_.Working().interval});
    if (module_.Options().incompatible) reply.payload.push_back(0);
    return reply;
}

Outgoing Replier::Defaults(std::uint16_t result) const
{
    const FlashValues& f = module_.Flash().Values();
    Outgoing reply =
        Frame(StartupDefaults{result, f.declination, f.bodyOffset, f.pitchOffset, f.rollOffset, f.interval});
    if (module_.Options().incompatible) reply.payload.pop_back();
    return reply;
}

Outgoing Replier::CompensationMessage() const
{
    return Frame(module_.Compensation());
}

} // namespace tolvane::sim
