#include "gateway/mqtt_payloads.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "gateway/status_line.h"
#include "protocol/angles.h"
#include "protocol/message_catalogue.h"

namespace tolvane {

std::string IsoLocalTime(std::int64_t wallMs, int offsetS)
{
    const std::int64_t localMs = wallMs + std::int64_t{offsetS} * 1000;
    // Floor division, so that times before the epoch keep their milliseconds positive.
    std::int64_t seconds = localMs / 1000;
    int ms = static_cast<int>(localMs % 1000);
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm fields{};
    gmtime_r(&t, &fields);
    const int offsetMinutes = (offsetS < 0 ? -offsetS : offsetS) / 60;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec, ms,
                  offsetS < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return text;
}

std::string IsoLocalTime(std::int64_t wallMs)
{
    // The date, time of day and offset of a second are worked out once:
    // the messages of a second share them and differ in their milliseconds.
    thread_local std::int64_t cachedSecond = std::numeric_limits<std::int64_t>::min();
    thread_local std::string cached; // that second's text, at .000
    std::int64_t second = wallMs / 1000;
    int ms = static_cast<int>(wallMs % 1000);
    if (ms < 0) {
        ms += 1000;
        --second;
    }
    if (second != cachedSecond) {
        const std::time_t t = static_cast<std::time_t>(second);
        std::tm local{};
        localtime_r(&t, &local);
        cached = IsoLocalTime(second * 1000, static_cast<int>(local.tm_gmtoff));
        cachedSecond = second;
    }
    std::string out = cached;
    const std::size_t dot = out.find('.');
    out[dot + 1] = static_cast<char>('0' + ms / 100);
    out[dot + 2] = static_cast<char>('0' + ms / 10 % 10);
    out[dot + 3] = static_cast<char>('0' + ms % 10);
    return out;
}

std::string OrientationPayload(const Orientation& o, std::string_view time)
{
    const char* azimuth = UnsignedAngleText(o.azimuth);
    if (std::strcmp(azimuth, "360.0") == 0) azimuth = "0.0";
    std::string out = "{\"time\":";
    AppendJsonString(time, out);
    out += ",\"azimuth\":";
    out += azimuth;
    out += ",\"pitch\":";
    out += SignedAngleText(o.pitch);
    out += ",\"roll\":";
    out += SignedAngleText(o.roll);
    out += '}';
    return out;
}

std::optional<std::string> MessagePayload(const DeviceMessage& message, std::string_view time)
{
    StatusLine line;
    if (!RenderMessage(message, line)) return std::nullopt;
    std::string out = "{\"time\":";
    AppendJsonString(time, out);
    out += ",\"type\":";
    AppendJsonString(line.mnemonic, out);
    out += ",\"text\":";
    AppendJsonString(line.text, out);
    out += '}';
    return out;
}

std::string IdentityPayload(const ModuleIdentity& identity)
{
    std::string options;
    for (char letter = 'A'; letter < 'A' + 16; ++letter)
        if (identity.HasOption(letter)) options += letter;
    char version[16];
    std::snprintf(version, sizeof version, "%d.%02d", identity.versionMajor, identity.versionMinor);
    std::string out = "{\"serial\":" + std::to_string(identity.serialNumber) + ",\"version\":";
    AppendJsonString(version, out);
    out += ",\"build_options\":";
    AppendJsonString(options, out);
    out += ",\"forward\":";
    AppendJsonString(AxisCodeText(identity.forwardAxis), out);
    out += ",\"up\":";
    AppendJsonString(AxisCodeText(identity.upAxis), out);
    out += '}';
    return out;
}

} // namespace tolvane
