#include "protocol/message_catalogue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "protocol/angles.h"
#include "protocol/messages.h"
#include "protocol/requests.h"

namespace tolvane {

namespace {

// An angle in "%.1f", as text for a "%s" in its place.
const char* SignedTenths(std::int16_t counts) { return SignedAngleText(counts); }
const char* UnsignedTenths(std::uint16_t counts) { return UnsignedAngleText(counts); }

// A character shown with %c or placed into the text: anything outside
// printable ASCII becomes '?'. Deliberately differs from a raw copy, where a
// zero byte would end the text early and hide the rest of the line.
char Printable(std::uint8_t c)
{
    return c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : '?';
}

// Builds a line text from pieces; each piece is a std::snprintf into the
// remaining room, so the text is cut at kStatusTextMax and always
// zero-terminated.
class LineText {
public:
    explicit LineText(char* text) : text_(text) { text_[0] = '\0'; }

    char* At() { return text_ + used_; }
    std::size_t Room() const { return kStatusTextMax + 1 - used_; }

    // Takes the result of a std::snprintf(At(), Room(), ...).
    void Wrote(int result)
    {
        if (result > 0)
            used_ = std::min(used_ + static_cast<std::size_t>(result), kStatusTextMax);
    }

    void Literal(const char* piece)
    {
        const std::size_t n = std::min(std::strlen(piece), kStatusTextMax - used_);
        std::memcpy(At(), piece, n);
        used_ += n;
        text_[used_] = '\0';
    }

    void Integer(int value)
    {
        char digits[12];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        *end = '\0';
        Literal(digits);
    }

private:
    char* text_;
    std::size_t used_ = 0;
};

void RenderDrawd(const DeviceMessage& m, StatusLine& line)
{
    const RawReadings r = Decode<RawReadings>(m);
    const auto& a = r.acceleration;
    const auto& g = r.magnetic;
    std::snprintf(line.text, sizeof line.text, "Acc=(%d, %d, %d)  Mag=(%d, %d, %d)  Temp=%.1f  Alt=%d  Hdg=%s", a[0],
                  a[1], a[2], g[0], g[1], g[2], r.temperatureTenths * 0.1, r.altitude, UnsignedTenths(r.heading));
}

void RenderDbug(const DeviceMessage& m, StatusLine& line)
{
    const DebugReport d = Decode<DebugReport>(m);
    LineText t(line.text);
    t.Literal("Type=  ");
    line.text[5] = Printable(d.kind);
    // Only one of the two holds values.
    for (const float value : d.reals) t.Wrote(std::snprintf(t.At(), t.Room(), "  %.6G", static_cast<double>(value)));
    for (const std::uint16_t bits : d.words) {
        const auto value = static_cast<std::int16_t>(bits);
        t.Wrote(std::snprintf(t.At(), t.Room(), "  %d(%04X)", value, static_cast<unsigned>(bits)));
    }
}

void RenderDposn(const DeviceMessage& m, StatusLine& line)
{
    const PositionReport p = Decode<PositionReport>(m);
    std::snprintf(line.text, sizeof line.text,
                  "rate=%d  N=%.1f  E=%.1f  Lat=%.5f  Lon=%.5f  alt=%d  Hdg=%s  epe=%d  steps=%d", p.rate,
                  p.northThousandths * 0.001, p.eastThousandths * 0.001, static_cast<double>(p.latitude),
                  static_cast<double>(p.longitude), p.altitude, UnsignedTenths(p.heading), p.epe, p.steps);
}

void RenderDgpvt(const DeviceMessage& m, StatusLine& line)
{
    const GpsFix f = Decode<GpsFix>(m);
    const std::int32_t utc = f.utcSeconds;
    std::snprintf(line.text, sizeof line.text,
                  "%s  UTC=%d:%02d:%02d  Lat=%.5f  Lon=%.5f  EPE=%d  HDOP=%d.%d  SatCnt=%d  Alt=%d",
                  f.quality == 1 ? "Coarse" : f.quality == 2 ? "Precise" : "Invalid", utc / 3600, (utc % 3600) / 60,
                  utc % 60, static_cast<double>(f.latitude), static_cast<double>(f.longitude), f.epe, f.hdopTenths / 10,
                  f.hdopTenths % 10, f.satellites, f.altitude);
}

void RenderDvrsn(const DeviceMessage& m, StatusLine& line)
{
    const ModuleIdentity id = Decode<ModuleIdentity>(m);
    LineText t(line.text);
    t.Wrote(std::snprintf(t.At(), t.Room(), "Vrsn=%d.%02d  Opts=0x%04X  Ser.#=%d  Up=", id.versionMajor,
                          id.versionMinor, static_cast<unsigned>(id.buildOptions),
                          static_cast<std::int32_t>(id.serialNumber)));
    t.Literal(AxisCodeText(id.upAxis));
    t.Literal("  Fwd=");
    t.Literal(AxisCodeText(id.forwardAxis));
}

void RenderDpower(const DeviceMessage& m, StatusLine& line)
{
    LineText(line.text).Literal(Decode<PowerUp>(m).text.c_str());
}

void RenderNothing(const DeviceMessage&, StatusLine& line) { line.text[0] = '\0'; }

void RenderDinical(const DeviceMessage& m, StatusLine& line)
{
    const Offsets o = Decode<Offsets>(m);
    std::snprintf(line.text, sizeof line.text, "body offset=%s  roll offset=%s  pitch offset=%s", SignedTenths(o.body),
                  SignedTenths(o.roll), SignedTenths(o.pitch));
}

void RenderDinia(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "altitude=%d", Decode<InitialAltitude>(m).altitude);
}

void RenderDimvar(const DeviceMessage& m, StatusLine& line)
{
    const std::int16_t declination = Decode<Declination>(m).declination;
    std::snprintf(line.text, sizeof line.text, "magnetic declination=%s", SignedTenths(declination));
}

void RenderDfctry(const DeviceMessage& m, StatusLine& line)
{
    LineText(line.text).Literal(Decode<FactoryMode>(m).on != 0 ? "Factory mode on" : "Factory mode off");
}

void RenderDcctbl(const DeviceMessage& m, StatusLine& line)
{
    const CalibrationTablePage c = Decode<CalibrationTablePage>(m);
    LineText t(line.text);
    t.Literal(c.success != 0 ? "Success" : "Fail");
    if (c.hasPage) {
        t.Wrote(std::snprintf(t.At(), t.Room(), "  Page %d", c.page));
        t.Wrote(std::snprintf(t.At(), t.Room(), "  <%d bytes of data>", static_cast<int>(c.data.size())));
    }
}

void RenderDstat(const DeviceMessage& m, StatusLine& line)
{
    const ModuleStatus s = Decode<ModuleStatus>(m);
    std::snprintf(line.text, sizeof line.text, "Temp=%.1f  Hdg=%s  Alt=%d", s.temperatureTenths * 0.1,
                  UnsignedTenths(s.heading), s.altitude);
}

void RenderDobsr(const DeviceMessage& m, StatusLine& line)
{
    const Observation o = Decode<Observation>(m);
    std::snprintf(line.text, sizeof line.text, "Req=%u  Lat=%.5f  Lon=%.5f  EPE=%d  Alt=%d  EVE=%d",
                  static_cast<unsigned>(o.request), static_cast<double>(o.latitude), static_cast<double>(o.longitude),
                  o.epe, o.altitude, o.eve);
}

void RenderDgpsct(const DeviceMessage& m, StatusLine& line)
{
    const GpsStatus g = Decode<GpsStatus>(m);
    LineText t(line.text);
    t.Wrote(std::snprintf(t.At(), t.Room(), "Status=%d  Error=%d", g.status, g.error));
    if (g.status != 0) {
        t.Literal(g.active != 0 ? "  Active" : "  Sleeping");
        t.Wrote(std::snprintf(t.At(), t.Room(), "  DutyCycle=%d%%", g.dutyCycle));
    }
    if (!g.firmware.empty())
        t.Wrote(std::snprintf(t.At(), t.Room(), "  FirmVer=%.20s", g.firmware.c_str()));
}

void RenderDped(const DeviceMessage& m, StatusLine& line)
{
    const PedometerSettings p = Decode<PedometerSettings>(m);
    LineText t(line.text);
    t.Literal("Running o");
    t.Literal(p.running != 0 ? "n" : "ff");
    t.Literal(", Side/Back o");
    t.Literal(p.sideBack != 0 ? "n" : "ff");
}

void RenderDtest(const DeviceMessage& m, StatusLine& line)
{
    const std::uint16_t result = Decode<SelfTest>(m).result;
    if (result == 0)
        LineText(line.text).Literal("All passed");
    else
        std::snprintf(line.text, sizeof line.text, "Results=0x%04X", static_cast<unsigned>(result));
}

void RenderDbaud(const DeviceMessage& m, StatusLine& line)
{
    static constexpr const char* kRates[] = {"4800", "9600", "19200", "38400"};
    const std::uint8_t code = Decode<BaudReport>(m).code;
    LineText(line.text).Literal(code < std::size(kRates) ? kRates[code] : "???");
}

void RenderDsdflt(const DeviceMessage& m, StatusLine& line)
{
    const StartupDefaults d = Decode<StartupDefaults>(m);
    std::snprintf(line.text, sizeof line.text,
                  "Result=0x%02X  MagDecl=%s  BOffset=%s  POffset=%s  ROffset=%s  DORIENTIntrvl=%d",
                  static_cast<unsigned>(d.mask), SignedTenths(d.declination), SignedTenths(d.bodyOffset),
                  SignedTenths(d.pitchOffset), SignedTenths(d.rollOffset), d.interval);
}

void RenderDmcalp(const DeviceMessage& m, StatusLine& line)
{
    const CompensationParameters c = Decode<CompensationParameters>(m);
    std::snprintf(line.text, sizeof line.text,
                  "N=%d  A=%d  B=%d  C=%d  F0=%d  F1=%d  MagDecl=%s  MagOffset=%s  RMS=%d", c.n, c.a, c.b, c.c, c.f0,
                  c.f1, SignedTenths(c.declination), SignedTenths(c.magneticOffset), c.rms);
}

void RenderDsvcal(const DeviceMessage& m, StatusLine& line)
{
    LineText(line.text).Literal(Decode<CalibrationSaved>(m).success != 0 ? "Success" : "Failure");
}

void RenderDorient(const DeviceMessage& m, StatusLine& line)
{
    const Orientation o = Decode<Orientation>(m);
    // "Roll=%.1f  Pitch=%.1f  Azimuth=%.1f", assembled without a formatter:
    // this is the line that arrives many times a second.
    LineText t(line.text);
    t.Literal("Roll=");
    t.Literal(SignedTenths(o.roll));
    t.Literal("  Pitch=");
    t.Literal(SignedTenths(o.pitch));
    t.Literal("  Azimuth=");
    t.Literal(UnsignedTenths(o.azimuth));
    if (!o.hasRfu) return;
    // "  RFUAcc=%d,%d,%d  RFUMag=%d,%d,%d": a decimal integer has one text,
    // so to_chars writes exactly what the format would.
    static constexpr const char* kLeads[] = {"  RFUAcc=", ",", ",", "  RFUMag=", ",", ","};
    for (std::size_t i = 0; i < 6; ++i) {
        t.Literal(kLeads[i]);
        t.Integer(i < 3 ? o.rfuAcc[i] : o.rfuMag[i - 3]);
    }
}

void RenderDorrate(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "DORIENT interval=%d msec", Decode<OrientationRate>(m).interval);
}

void RenderDrmc(const DeviceMessage& m, StatusLine& line)
{
    const Fix f = Decode<Fix>(m);
    const std::int32_t utc = f.utcSeconds;
    std::snprintf(line.text, sizeof line.text,
                  "Stat=%c  %d/%d/%02d  %d:%02d:%02d  Lat=%.5f  Lon=%.5f  EPE=%d  Azim=%s  Speed=%.1f",
                  Printable(f.status), f.month, f.day, f.year, utc / 3600, (utc % 3600) / 60, utc % 60,
                  static_cast<double>(f.latitude), static_cast<double>(f.longitude), f.epe, UnsignedTenths(f.azimuth),
                  static_cast<double>(f.speed));
}

void RenderDmcal(const DeviceMessage& m, StatusLine& line)
{
    static constexpr const char* kStates[] = {"off", "get data", "compute", "abort"};
    const CompensationReport c = Decode<CompensationReport>(m);
    const auto& b = c.bins;
    // Each bin is "%d," and the last comma gives way to the completion.
    std::snprintf(line.text, sizeof line.text, "State=%s  Status=%d  Bins=%d,%d,%d,%d,%d,%d,%d,%d  Comp=%d  Qual=%d",
                  c.state < std::size(kStates) ? kStates[c.state] : "???", c.status, b[0], b[1], b[2], b[3], b[4],
                  b[5], b[6], b[7], c.completion, c.quality);
}

void RenderDwmm(const DeviceMessage& m, StatusLine& line)
{
    const WmmResult w = Decode<WmmResult>(m);
    std::snprintf(line.text, sizeof line.text, "state=%d  MagDecl=%f  Source=%s", w.state,
                  SignedAngleDegrees(w.declination), w.source.c_str());
}

void RenderNmea(const DeviceMessage& m, StatusLine& line)
{
    const std::size_t n = std::min<std::size_t>({m.length, kMaxReceivedPayload, kStatusTextMax});
    std::memcpy(line.text, m.payload, n);
    line.text[n] = '\0';
}

void PowerEffect(const DeviceMessage&, const StatusLine&, MessageEffects& effects)
{
    if (!effects.LogIsOpen())
        return;
    effects.LogWriteLine("");
    effects.LogSetHeaderPending();
}

// While logging, each DRMC asks for the offsets, their DINICAL for the
// declination, and its DIMVAR writes the record: the chain keeps the
// logged offsets and declination current.
void InitialOffsetsEffect(const DeviceMessage& m, const StatusLine&, MessageEffects& effects)
{
    effects.LogSetMountOffset(Decode<Offsets>(m).body);
    if (effects.LogIsOpen())
        effects.SendRequest(DeclinationReadRequest());
}

void DeclinationEffect(const DeviceMessage& m, const StatusLine&, MessageEffects& effects)
{
    effects.LogSetDeclination(Decode<Declination>(m).declination);
    if (effects.LogIsOpen())
        effects.LogWriteRecord();
}

void DebugEffect(const DeviceMessage&, const StatusLine& line, MessageEffects& effects)
{
    effects.LogWriteLine(line.text);
}

void FixEffect(const DeviceMessage&, const StatusLine&, MessageEffects& effects)
{
    if (effects.LogIsOpen())
        effects.SendRequest(OffsetsReadRequest());
}

} // namespace

const MessageFormatter kMessageFormatters[kFormatterCount] = {
    {MessageType::RawData, "DRAWD", RenderDrawd, nullptr},
    {MessageType::Debug, "DBUG", RenderDbug, DebugEffect},
    {MessageType::Position, "DPOSN", RenderDposn, nullptr},
    {MessageType::GpsFix, "DGPVT", RenderDgpvt, nullptr},
    {MessageType::Identity, "DVRSN", RenderDvrsn, nullptr},
    {MessageType::PowerUp, "DPOWER", RenderDpower, PowerEffect},
    {MessageType::ZeroDrift, "DZDR", RenderNothing, nullptr},
    {MessageType::Offsets, "DINICAL", RenderDinical, InitialOffsetsEffect},
    {MessageType::InitialPosition, "DINIP", RenderNothing, nullptr},
    {MessageType::InitialAltitude, "DINIA", RenderDinia, nullptr},
    {MessageType::Declination, "DIMVAR", RenderDimvar, DeclinationEffect},
    {MessageType::FactoryMode, "DFCTRY", RenderDfctry, nullptr},
    {MessageType::CalibrationTable, "DCCTBL", RenderDcctbl, nullptr},
    {MessageType::Status, "DSTAT", RenderDstat, nullptr},
    {MessageType::Observation, "DOBSR", RenderDobsr, nullptr},
    {MessageType::GpsStatus, "DGPSCT", RenderDgpsct, nullptr},
    {MessageType::Pedometer, "DPED", RenderDped, nullptr},
    {MessageType::SelfTest, "DTEST", RenderDtest, nullptr},
    {MessageType::Baud, "DBAUD", RenderDbaud, nullptr},
    {MessageType::StartupDefaults, "DSDFLT", RenderDsdflt, nullptr},
    {MessageType::CompensationParameters, "DMCALP", RenderDmcalp, nullptr},
    {MessageType::SaveCalibration, "DSVCAL", RenderDsvcal, nullptr},
    {MessageType::Orientation, "DORIENT", RenderDorient, nullptr},
    {MessageType::OrientationRate, "DORRATE", RenderDorrate, nullptr},
    {MessageType::Fix, "DRMC", RenderDrmc, FixEffect},
    {MessageType::Compensation, "DMCAL", RenderDmcal, nullptr},
    {MessageType::Wmm, "DWMM", RenderDwmm, nullptr},
    {MessageType::Nmea, "NMEA", RenderNmea, nullptr},
};

const MessageFormatter* FindFormatter(std::uint16_t type)
{
    // Every message is looked up, so the table is indexed by type byte once.
    static const auto index = [] {
        std::array<const MessageFormatter*, 256> byType{};
        for (const MessageFormatter& f : kMessageFormatters) byType[TypeByte(f.type)] = &f;
        return byType;
    }();
    return type < index.size() ? index[type] : nullptr;
}

bool RenderMessage(const DeviceMessage& message, StatusLine& line)
{
    const MessageFormatter* f = FindFormatter(message.type);
    if (f == nullptr)
        return false;
    line.mnemonic = f->mnemonic;
    f->render(message, line);
    return true;
}

void ApplyMessageEffects(const DeviceMessage& message, const StatusLine& line, MessageEffects& effects)
{
    const MessageFormatter* f = FindFormatter(message.type);
    if (f != nullptr && f->effect != nullptr)
        f->effect(message, line, effects);
}

const char* AxisCodeText(std::int8_t code)
{
    switch (code) {
    case 1: return "X";
    case 2: return "Y";
    case 3: return "Z";
    case -1: return "-X";
    case -2: return "-Y";
    case -3: return "-Z";
    default: return "?";
    }
}

} // namespace tolvane
