// libFuzzer target: any field text through the number reader, and every
// value it accepts through the conversions and the WMM request the dialogs
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
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
        Check(request.type == kWmmRequest && request.length == 15);
    }
    return 0;
}
