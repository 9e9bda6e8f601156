// libFuzzer target: any field text through the number reader and the WMM
// dialog's latitude, longitude and altitude checks, and every value the
// reader accepts through the conversions and the WMM request the dialogs
// build from it. Aborts on any broken invariant.
#include "dialogs/number_entry.h"
#include "protocol/requests.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace tolvane;

void Check(bool ok)
{
    if (!ok) std::abort();
}

// The field checks see at most 13 characters, up to a NUL.
void CheckWmmFields(std::string_view text)
{
    const std::string_view examined = text.substr(0, std::min<std::size_t>(text.find('\0'), 13));
    for (const double limit : {90.0, 180.0}) {
        const CoordinateEntry entry = ReadCoordinate(text, limit);
        Check(entry.start <= examined.size() && entry.sign >= -1 && entry.sign <= 1);
        Check((entry.outcome == EntryOutcome::Empty) == (entry.start == examined.size()));
        if (entry.outcome == EntryOutcome::Empty) continue;
        const std::optional<double> value = ParseNumber(examined.substr(entry.start));
        Check((entry.outcome == EntryOutcome::NotANumber) == !value);
        if (entry.outcome == EntryOutcome::Valid)
            Check(value && entry.magnitude == std::fabs(*value) && entry.magnitude <= limit);
        if (entry.outcome == EntryOutcome::OutOfRange) Check(value && std::fabs(*value) > limit);
    }
    const AltitudeEntry altitude = ReadAltitude(text);
    if (altitude.outcome == EntryOutcome::Valid) Check(altitude.feet >= -1000 && altitude.feet <= 30000);
    else Check(altitude.feet == 0);
    // Both skip the same characters before a value.
    Check((altitude.outcome == EntryOutcome::Empty) == (ReadCoordinate(text, 90).outcome == EntryOutcome::Empty));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckWmmFields(text);
    const std::optional<double> parsed = ParseNumber(text);
    // What follows a NUL never matters: the fields hand over C strings.
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) Check(ParseNumber(text.substr(0, nul)) == parsed);
    if (!parsed) return 0;

    const double value = *parsed;
    Check(std::isfinite(value) && std::fabs(value) < 2147483648.0);

    // Eight decimals are all the reader keeps, so they read back the same.
    char again[32];
    std::snprintf(again, sizeof again, "%.8f", value);
    const std::optional<double> reread = ParseNumber(again);
    Check(reread && std::fabs(*reread - value) <= 1e-8 * (1 + std::fabs(value)));

    const float degrees = static_cast<float>(value);
    (void)InRange180(value);
    (void)DegreesToRaw(degrees);
    Check(AngleText(degrees).size() <= 16);
    const DeclinationDisplay declination = ShowDeclination(degrees);
    Check(declination.text.size() <= 16 && declination.text[0] != '-');

    const RateEntry rate = EnterRate(value);
    Check(rate.intervalMs == 0 || (rate.intervalMs >= 20 && rate.intervalMs <= 20000 && rate.intervalMs % 5 == 0));
    // The interval kept shows the same rate as the one entered.
    Check(ShowRate(rate.intervalMs).text == rate.display.text);

    // The WMM dialog sends only what its checks let through.
    const double magnitude = std::fabs(value);
    if (magnitude <= 180.0) {
        const OutgoingRequest request =
            WmmRequest(31, 12, 99, std::min(magnitude, 90.0), -magnitude, std::trunc(value));
        Check(request.type == TypeByte(MessageType::Wmm) && request.length == 15);
    }
    return 0;
}
