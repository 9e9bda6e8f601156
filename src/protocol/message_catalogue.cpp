#include "protocol/message_catalogue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "protocol/angles.h"
#include "protocol/requests.h"

namespace tolvane {

namespace {

// Payload fields are read at fixed offsets. A byte past the 80-byte buffer
// reads as zero, so no layout, however placed, can read out of bounds.
std::uint32_t LittleEndian(const DeviceMessage& m, std::size_t offset, std::size_t width)
{
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t at = offset + i;
        const std::uint32_t byte = at < kMaxReceivedPayload ? m.payload[at] : 0u;
        bits |= byte << (8 * i);
    }
    return bits;
}

// A field of type T at `offset`, from its little-endian bytes.
template <typename T>
T Field(const DeviceMessage& m, std::size_t offset)
{
    using Bits = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                                    std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>>;
    const auto bits = static_cast<Bits>(LittleEndian(m, offset, sizeof(T)));
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint8_t U8(const DeviceMessage& m, std::size_t offset) { return Field<std::uint8_t>(m, offset); }
std::int8_t S8(const DeviceMessage& m, std::size_t offset) { return Field<std::int8_t>(m, offset); }
std::uint16_t U16(const DeviceMessage& m, std::size_t offset) { return Field<std::uint16_t>(m, offset); }
std::int16_t S16(const DeviceMessage& m, std::size_t offset) { return Field<std::int16_t>(m, offset); }
std::int32_t S32(const DeviceMessage& m, std::size_t offset) { return Field<std::int32_t>(m, offset); }
double F32(const DeviceMessage& m, std::size_t offset) { return Field<float>(m, offset); }

double SignedAngle(const DeviceMessage& m, std::size_t offset) { return SignedAngleDegrees(S16(m, offset)); }

// An angle field in "%.1f", as text for a "%s" in its place.
const char* SignedTenths(const DeviceMessage& m, std::size_t offset) { return SignedAngleText(S16(m, offset)); }
const char* UnsignedTenths(const DeviceMessage& m, std::size_t offset) { return UnsignedAngleText(U16(m, offset)); }

// Valid payload bytes; the receivers never deliver more than the buffer,
// but a corrupt length must not widen a text copy.
std::size_t PayloadLength(const DeviceMessage& m)
{
    return std::min<std::size_t>(m.length, kMaxReceivedPayload);
}

// Copies the payload text starting at `offset` into `out` (room for
// `limit` characters and the zero): up to the first zero byte, the end of
// the payload or `limit` characters.
void CopyPayloadText(const DeviceMessage& m, std::size_t offset, std::size_t limit, char* out)
{
    std::size_t n = 0;
    const std::size_t end = PayloadLength(m);
    while (offset + n < end && n < limit && m.payload[offset + n] != 0) {
        out[n] = static_cast<char>(m.payload[offset + n]);
        ++n;
    }
    out[n] = '\0';
}

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
    std::snprintf(line.text, sizeof line.text, "Acc=(%d, %d, %d)  Mag=(%d, %d, %d)  Temp=%.1f  Alt=%d  Hdg=%s",
                  S16(m, 0), S16(m, 2), S16(m, 4), S16(m, 18), S16(m, 20), S16(m, 22), S16(m, 36) * 0.1,
                  S16(m, 38), UnsignedTenths(m, 40));
}

void RenderDbug(const DeviceMessage& m, StatusLine& line)
{
    LineText t(line.text);
    t.Literal("Type=  ");
    line.text[5] = Printable(U8(m, 1));

    const std::size_t length = PayloadLength(m);
    const std::size_t valueBytes = length >= 2 ? length - 2 : 0;
    if (U8(m, 0) != 0) {
        const std::size_t count = std::min<std::size_t>(valueBytes / 4, 4);
        for (std::size_t i = 0; i < count; ++i)
            t.Wrote(std::snprintf(t.At(), t.Room(), "  %.6G", F32(m, 2 + 4 * i)));
    } else {
        const std::size_t count = std::min<std::size_t>(valueBytes / 2, 8);
        for (std::size_t i = 0; i < count; ++i)
            t.Wrote(std::snprintf(t.At(), t.Room(), "  %d(%04X)", S16(m, 2 + 2 * i),
                                  static_cast<unsigned>(U16(m, 2 + 2 * i))));
    }
}

void RenderDposn(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text,
                  "rate=%d  N=%.1f  E=%.1f  Lat=%.5f  Lon=%.5f  alt=%d  Hdg=%s  epe=%d  steps=%d", U8(m, 0),
                  S32(m, 1) * 0.001, S32(m, 5) * 0.001, F32(m, 9), F32(m, 13), S16(m, 17), UnsignedTenths(m, 19),
                  S16(m, 21), U16(m, 23));
}

void RenderDgpvt(const DeviceMessage& m, StatusLine& line)
{
    const std::int8_t quality = S8(m, 0);
    const std::int32_t utc = S32(m, 17);
    const std::int16_t hdop = S16(m, 11);
    std::snprintf(line.text, sizeof line.text,
                  "%s  UTC=%d:%02d:%02d  Lat=%.5f  Lon=%.5f  EPE=%d  HDOP=%d.%d  SatCnt=%d  Alt=%d",
                  quality == 1 ? "Coarse" : quality == 2 ? "Precise" : "Invalid", utc / 3600, (utc % 3600) / 60,
                  utc % 60, F32(m, 1), F32(m, 5), S16(m, 9), hdop / 10, hdop % 10, S16(m, 13), S16(m, 15));
}

void RenderDvrsn(const DeviceMessage& m, StatusLine& line)
{
    LineText t(line.text);
    t.Wrote(std::snprintf(t.At(), t.Room(), "Vrsn=%d.%02d  Opts=0x%04X  Ser.#=%d  Up=", S16(m, 0), S16(m, 2),
                          static_cast<unsigned>(U16(m, 4)), S32(m, 6)));
    t.Literal(AxisCodeText(S8(m, 10)));
    t.Literal("  Fwd=");
    t.Literal(AxisCodeText(S8(m, 11)));
}

void RenderDpower(const DeviceMessage& m, StatusLine& line)
{
    CopyPayloadText(m, 0, kMaxReceivedPayload, line.text);
}

void RenderNothing(const DeviceMessage&, StatusLine& line) { line.text[0] = '\0'; }

void RenderDinical(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "body offset=%s  roll offset=%s  pitch offset=%s",
                  SignedTenths(m, 1), SignedTenths(m, 3), SignedTenths(m, 5));
}

void RenderDinia(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "altitude=%d", S16(m, 1));
}

void RenderDimvar(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "magnetic declination=%s", SignedTenths(m, 1));
}

void RenderDfctry(const DeviceMessage& m, StatusLine& line)
{
    LineText(line.text).Literal(U8(m, 0) != 0 ? "Factory mode on" : "Factory mode off");
}

void RenderDcctbl(const DeviceMessage& m, StatusLine& line)
{
    LineText t(line.text);
    t.Literal(U8(m, 0) != 0 ? "Success" : "Fail");
    const std::size_t length = PayloadLength(m);
    if (length >= 2) {
        t.Wrote(std::snprintf(t.At(), t.Room(), "  Page %d", U8(m, 1)));
        t.Wrote(std::snprintf(t.At(), t.Room(), "  <%d bytes of data>", static_cast<int>(length - 2)));
    }
}

void RenderDstat(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "Temp=%.1f  Hdg=%s  Alt=%d", S16(m, 0) * 0.1, UnsignedTenths(m, 2),
                  S16(m, 4));
}

void RenderDobsr(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "Req=%u  Lat=%.5f  Lon=%.5f  EPE=%d  Alt=%d  EVE=%d",
                  static_cast<unsigned>(U8(m, 0)), F32(m, 1), F32(m, 5), S16(m, 9), S16(m, 11), S16(m, 13));
}

void RenderDgpsct(const DeviceMessage& m, StatusLine& line)
{
    LineText t(line.text);
    const std::uint8_t status = U8(m, 0);
    t.Wrote(std::snprintf(t.At(), t.Room(), "Status=%d  Error=%d", status, U8(m, 1)));
    if (status != 0) {
        t.Literal(U8(m, 2) != 0 ? "  Active" : "  Sleeping");
        t.Wrote(std::snprintf(t.At(), t.Room(), "  DutyCycle=%d%%", U8(m, 3)));
    }
    char firmware[21];
    CopyPayloadText(m, 4, 20, firmware);
    if (firmware[0] != '\0')
        t.Wrote(std::snprintf(t.At(), t.Room(), "  FirmVer=%.20s", firmware));
}

void RenderDped(const DeviceMessage& m, StatusLine& line)
{
    LineText t(line.text);
    t.Literal("Running o");
    t.Literal(U8(m, 0) != 0 ? "n" : "ff");
    t.Literal(", Side/Back o");
    t.Literal(U8(m, 1) != 0 ? "n" : "ff");
}

void RenderDtest(const DeviceMessage& m, StatusLine& line)
{
    const std::uint16_t result = U16(m, 0);
    if (result == 0)
        LineText(line.text).Literal("All passed");
    else
        std::snprintf(line.text, sizeof line.text, "Results=0x%04X", static_cast<unsigned>(result));
}

void RenderDbaud(const DeviceMessage& m, StatusLine& line)
{
    static constexpr const char* kRates[] = {"4800", "9600", "19200", "38400"};
    const std::uint8_t code = U8(m, 0);
    LineText(line.text).Literal(code < std::size(kRates) ? kRates[code] : "???");
}

void RenderDsdflt(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text,
                  "Result=0x%02X  MagDecl=%s  BOffset=%s  POffset=%s  ROffset=%s  DORIENTIntrvl=%d",
                  static_cast<unsigned>(U16(m, 0)), SignedTenths(m, 2), SignedTenths(m, 4), SignedTenths(m, 6),
                  SignedTenths(m, 8), S16(m, 10));
}

void RenderDmcalp(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text,
                  "N=%d  A=%d  B=%d  C=%d  F0=%d  F1=%d  MagDecl=%s  MagOffset=%s  RMS=%d", S16(m, 0), S16(m, 2),
                  S16(m, 4), S16(m, 6), S16(m, 8), S16(m, 10), SignedTenths(m, 12), SignedTenths(m, 14), S16(m, 16));
}

void RenderDsvcal(const DeviceMessage& m, StatusLine& line)
{
    LineText(line.text).Literal(U8(m, 0) != 0 ? "Success" : "Failure");
}

void RenderDorient(const DeviceMessage& m, StatusLine& line)
{
    // "Roll=%.1f  Pitch=%.1f  Azimuth=%.1f", assembled without a formatter:
    // this is the line that arrives many times a second.
    LineText t(line.text);
    t.Literal("Roll=");
    t.Literal(SignedTenths(m, 0));
    t.Literal("  Pitch=");
    t.Literal(SignedTenths(m, 2));
    t.Literal("  Azimuth=");
    t.Literal(UnsignedTenths(m, 4));
    if (PayloadLength(m) < 18) return;
    // "  RFUAcc=%d,%d,%d  RFUMag=%d,%d,%d": a decimal integer has one text,
    // so to_chars writes exactly what the format would.
    static constexpr const char* kLeads[] = {"  RFUAcc=", ",", ",", "  RFUMag=", ",", ","};
    for (std::size_t i = 0; i < 6; ++i) {
        t.Literal(kLeads[i]);
        t.Integer(S16(m, 6 + 2 * i));
    }
}

void RenderDorrate(const DeviceMessage& m, StatusLine& line)
{
    std::snprintf(line.text, sizeof line.text, "DORIENT interval=%d msec", S16(m, 0));
}

void RenderDrmc(const DeviceMessage& m, StatusLine& line)
{
    const std::int32_t utc = S32(m, 0);
    std::snprintf(line.text, sizeof line.text,
                  "Stat=%c  %d/%d/%02d  %d:%02d:%02d  Lat=%.5f  Lon=%.5f  EPE=%d  Azim=%s  Speed=%.1f",
                  Printable(U8(m, 4)), U8(m, 22), U8(m, 21), U8(m, 23), utc / 3600, (utc % 3600) / 60, utc % 60,
                  F32(m, 5), F32(m, 9), S16(m, 13), UnsignedTenths(m, 19), F32(m, 15));
}

void RenderDmcal(const DeviceMessage& m, StatusLine& line)
{
    static constexpr const char* kStates[] = {"off", "get data", "compute", "abort"};
    const std::uint8_t state = U8(m, 0);
    // Each bin is "%d," and the last comma gives way to the completion.
    std::snprintf(line.text, sizeof line.text, "State=%s  Status=%d  Bins=%d,%d,%d,%d,%d,%d,%d,%d  Comp=%d  Qual=%d",
                  state < std::size(kStates) ? kStates[state] : "???", U8(m, 1), U8(m, 2), U8(m, 3), U8(m, 4),
                  U8(m, 5), U8(m, 6), U8(m, 7), U8(m, 8), U8(m, 9), U8(m, 10), S16(m, 11));
}

void RenderDwmm(const DeviceMessage& m, StatusLine& line)
{
    char source[kMaxReceivedPayload + 1];
    CopyPayloadText(m, 3, kMaxReceivedPayload, source);
    std::snprintf(line.text, sizeof line.text, "state=%d  MagDecl=%f  Source=%s", U8(m, 0), SignedAngle(m, 1),
                  source);
}

void RenderNmea(const DeviceMessage& m, StatusLine& line)
{
    const std::size_t n = std::min(PayloadLength(m), kStatusTextMax);
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
    effects.LogSetMountOffset(S16(m, 1));
    if (effects.LogIsOpen())
        effects.SendRequest(DeclinationReadRequest());
}

void DeclinationEffect(const DeviceMessage& m, const StatusLine&, MessageEffects& effects)
{
    effects.LogSetDeclination(S16(m, 1));
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
    {'d', "DRAWD", RenderDrawd, nullptr},
    {'~', "DBUG", RenderDbug, DebugEffect},
    {'W', "DPOSN", RenderDposn, nullptr},
    {'_', "DGPVT", RenderDgpvt, nullptr},
    {0xC3, "DVRSN", RenderDvrsn, nullptr},
    {'D', "DPOWER", RenderDpower, PowerEffect},
    {'V', "DZDR", RenderNothing, nullptr},
    {'P', "DINICAL", RenderDinical, InitialOffsetsEffect},
    {'R', "DINIP", RenderNothing, nullptr},
    {'S', "DINIA", RenderDinia, nullptr},
    {'T', "DIMVAR", RenderDimvar, DeclinationEffect},
    {'J', "DFCTRY", RenderDfctry, nullptr},
    {'e', "DCCTBL", RenderDcctbl, nullptr},
    {'I', "DSTAT", RenderDstat, nullptr},
    {'Y', "DOBSR", RenderDobsr, nullptr},
    {'^', "DGPSCT", RenderDgpsct, nullptr},
    {'N', "DPED", RenderDped, nullptr},
    {'H', "DTEST", RenderDtest, nullptr},
    {'G', "DBAUD", RenderDbaud, nullptr},
    {'f', "DSDFLT", RenderDsdflt, nullptr},
    {'g', "DMCALP", RenderDmcalp, nullptr},
    {'i', "DSVCAL", RenderDsvcal, nullptr},
    {'p', "DORIENT", RenderDorient, nullptr},
    {0x7F, "DORRATE", RenderDorrate, nullptr},
    {'q', "DRMC", RenderDrmc, FixEffect},
    {'r', "DMCAL", RenderDmcal, nullptr},
    {'U', "DWMM", RenderDwmm, nullptr},
    {kNmeaType, "NMEA", RenderNmea, nullptr},
};

const MessageFormatter* FindFormatter(std::uint16_t type)
{
    // Every message is looked up, so the table is indexed by type byte once.
    static const auto index = [] {
        std::array<const MessageFormatter*, 256> byType{};
        for (const MessageFormatter& f : kMessageFormatters) byType[f.type] = &f;
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
