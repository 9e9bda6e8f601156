#include "protocol/messages.h"

namespace tolvane {

ModuleIdentity ModuleIdentity::Decode(PayloadReader& r)
{
    ModuleIdentity m;
    m.versionMajor = r.S16();
    m.versionMinor = r.S16();
    m.buildOptions = r.U16();
    m.serialNumber = static_cast<std::uint32_t>(r.S32());
    m.upAxis = r.S8();
    m.forwardAxis = r.S8();
    return m;
}

void ModuleIdentity::Encode(PayloadWriter& w) const
{
    w.S16(versionMajor).S16(versionMinor).U16(buildOptions).S32(static_cast<std::int32_t>(serialNumber));
    w.S8(upAxis).S8(forwardAxis);
}

Orientation Orientation::Decode(PayloadReader& r)
{
    Orientation m;
    m.roll = r.S16();
    m.pitch = r.S16();
    m.azimuth = r.U16();
    m.hasRfu = r.Length() >= 18;
    for (auto& v : m.rfuAcc) v = r.S16();
    for (auto& v : m.rfuMag) v = r.S16();
    return m;
}

void Orientation::Encode(PayloadWriter& w) const
{
    w.S16(roll).S16(pitch).U16(azimuth);
    if (!hasRfu) return;
    for (auto v : rfuAcc) w.S16(v);
    for (auto v : rfuMag) w.S16(v);
}

Offsets Offsets::Decode(PayloadReader& r)
{
    Offsets m;
    m.flags = r.U8();
    m.body = r.S16();
    m.roll = r.S16();
    m.pitch = r.S16();
    return m;
}

void Offsets::Encode(PayloadWriter& w) const { w.U8(flags).S16(body).S16(roll).S16(pitch); }

Declination Declination::Decode(PayloadReader& r)
{
    Declination m;
    m.set = r.U8();
    m.declination = r.S16();
    return m;
}

void Declination::Encode(PayloadWriter& w) const { w.U8(set).S16(declination); }

OrientationRate OrientationRate::Decode(PayloadReader& r) { return {r.S16()}; }

void OrientationRate::Encode(PayloadWriter& w) const { w.S16(interval); }

StartupDefaults StartupDefaults::Decode(PayloadReader& r)
{
    StartupDefaults m;
    m.mask = r.U16();
    m.declination = r.S16();
    m.bodyOffset = r.S16();
    m.pitchOffset = r.S16();
    m.rollOffset = r.S16();
    m.interval = r.S16();
    return m;
}

void StartupDefaults::Encode(PayloadWriter& w) const
{
    w.U16(mask).S16(declination).S16(bodyOffset).S16(pitchOffset).S16(rollOffset).S16(interval);
}

CompensationCommand CompensationCommand::Decode(PayloadReader& r)
{
    return {static_cast<CompensationAction>(r.U8())};
}

void CompensationCommand::Encode(PayloadWriter& w) const { w.U8(static_cast<std::uint8_t>(action)); }

CompensationReport CompensationReport::Decode(PayloadReader& r)
{
    CompensationReport m;
    m.state = r.U8();
    m.status = r.U8();
    for (auto& bin : m.bins) bin = r.U8();
    m.completion = r.U8();
    m.quality = r.S16();
    return m;
}

void CompensationReport::Encode(PayloadWriter& w) const
{
    w.U8(state).U8(status);
    for (auto bin : bins) w.U8(bin);
    w.U8(completion).S16(quality);
}

CompensationParameters CompensationParameters::Decode(PayloadReader& r)
{
    CompensationParameters m;
    for (std::int16_t* v : {&m.n, &m.a, &m.b, &m.c, &m.f0, &m.f1, &m.declination, &m.magneticOffset, &m.rms})
        *v = r.S16();
    return m;
}

void CompensationParameters::Encode(PayloadWriter& w) const
{
    for (std::int16_t v : {n, a, b, c, f0, f1, declination, magneticOffset, rms}) w.S16(v);
}

WmmQuery WmmQuery::Decode(PayloadReader& r)
{
    WmmQuery m;
    m.day = r.U8();
    m.month = r.U8();
    m.year = r.U8();
    m.latitude = r.F32();
    m.longitude = r.F32();
    m.altitudeMetres = r.F32();
    return m;
}

void WmmQuery::Encode(PayloadWriter& w) const
{
    w.U8(day).U8(month).U8(year).F32(latitude).F32(longitude).F32(altitudeMetres);
}

WmmResult WmmResult::Decode(PayloadReader& r)
{
    WmmResult m;
    m.state = r.U8();
    m.declination = r.S16();
    m.source = r.Text();
    return m;
}

void WmmResult::Encode(PayloadWriter& w) const { w.U8(state).S16(declination).Text(source).U8(0); }

Fix Fix::Decode(PayloadReader& r)
{
    Fix m;
    m.utcSeconds = r.S32();
    m.status = r.U8();
    m.latitude = r.F32();
    m.longitude = r.F32();
    m.epe = r.S16();
    m.speed = r.F32();
    m.azimuth = r.U16();
    m.day = r.U8();
    m.month = r.U8();
    m.year = r.U8();
    return m;
}

void Fix::Encode(PayloadWriter& w) const
{
    w.S32(utcSeconds).U8(status).F32(latitude).F32(longitude).S16(epe).F32(speed).U16(azimuth);
    w.U8(day).U8(month).U8(year);
}

GpsFix GpsFix::Decode(PayloadReader& r)
{
    GpsFix m;
    m.quality = r.S8();
    m.latitude = r.F32();
    m.longitude = r.F32();
    m.epe = r.S16();
    m.hdopTenths = r.S16();
    m.satellites = r.S16();
    m.altitude = r.S16();
    m.utcSeconds = r.S32();
    return m;
}

void GpsFix::Encode(PayloadWriter& w) const
{
    w.S8(quality).F32(latitude).F32(longitude).S16(epe).S16(hdopTenths).S16(satellites).S16(altitude);
    w.S32(utcSeconds);
}

PowerUp PowerUp::Decode(PayloadReader& r) { return {r.Text()}; }

void PowerUp::Encode(PayloadWriter& w) const { w.Text(text).U8(0); }

SelfTest SelfTest::Decode(PayloadReader& r) { return {r.U16()}; }

void SelfTest::Encode(PayloadWriter& w) const { w.U16(result); }

} // namespace tolvane
