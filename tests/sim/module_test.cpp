// The simulated module without a terminal: replies, the state requests
// leave behind, the compensation run and the streams, time stepped by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>

#include "link/framing.h"
#include "protocol/requests.h"
#include "replies.h"
#include "streams.h"
#include "support/golden.h"
#include "support/test_data.h"

namespace tolvane::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kRmc = TypeByte(MessageType::Fix), kGpvt = TypeByte(MessageType::GpsFix);

FlashStore OpenedFlash(const std::string& path)
{
    FlashStore flash;
    std::string error;
    EXPECT_TRUE(flash.Open(path, error)) << error;
    return flash;
}

// One simulated module; its flash is opened before it powers up.
struct Module {
    explicit Module(const std::function<void(SimOptions&)>& set = {}) : options([&] {
        SimOptions o;
        if (set) set(o);
        return o;
    }()) {}

    SimOptions options;
    FlashStore flash = OpenedFlash(options.flashFile);
    CompassModule module{options, flash};
    Replier replier{module};
    Streams streams{module, replier};
};

// "type [length] payload" in hex.
std::string Hex(unsigned type, const std::uint8_t* payload, std::size_t length)
{
    char part[32];
    std::snprintf(part, sizeof part, "%02X [%zu]", type, length);
    std::string s = part;
    for (std::size_t i = 0; i < length; ++i) s += (std::snprintf(part, sizeof part, " %02X", payload[i]), part);
    return s;
}

// "label request -> reply" (every reply, or "nothing"), one line.
std::string Exchange(const char* label, Module& m, const OutgoingRequest& request, std::int64_t nowMs = 0)
{
    std::string s = std::string(label) + ": " + Hex(request.type, request.payload, request.length) + " ->";
    DeviceMessage asked;
    asked.type = request.type;
    asked.length = request.length;
    std::copy(request.payload, request.payload + request.length, asked.payload);
    const auto replies = m.replier.Answer(asked, nowMs);
    for (const Outgoing& o : replies) s += " " + Hex(o.type, o.payload.data(), o.payload.size());
    return s + (replies.empty() ? " nothing\n" : "\n");
}

// "t ms: type [length] payload" for each message the streams send from
// `fromMs` to before `toMs`, the line ready every `ready` ms; a sentence as
// its text (its CR LF dropped), a GPS fix without its payload (the time
// in it is the wall clock's).
std::string Sent(Module& m, std::int64_t fromMs, std::int64_t toMs, int ready = 1)
{
    std::string s;
    for (std::int64_t t = fromMs; t < toMs; ++t)
        for (const Outgoing& o : m.streams.Due(t, t % ready == 0)) {
            std::string shown = Hex(o.type, o.payload.data(), o.payload.size());
            if (o.type == kRmc || o.type == kGpvt) shown.resize(shown.find(']') + 1);
            if (o.sentence) shown.assign(o.payload.begin(), o.payload.end());
            if (o.sentence && shown.ends_with("\r\n")) shown.resize(shown.size() - 2);
            s += std::to_string(t) + " ms: " + shown + "\n";
        }
    return s;
}

// A module's or a flash's declination, pitch offset, roll offset, interval.
template <typename V>
std::string Values(const V& v)
{
    return std::to_string(v.declination) + " " + std::to_string(v.pitchOffset) + " " + std::to_string(v.rollOffset) +
           " " + std::to_string(v.interval) + "\n";
}

// sim_replies.txt, every byte of each reply: each read from a plain
// module, one that is incompatible (other lengths) and one with its
// identity set; then sets read back (offsets only where flagged); then
// what gets no reply: an unknown type, wrong lengths, a module silenced
// for a type (which still applies it) or silent.
TEST(Replies, ScriptedSession)
{
    Module plain, odd([](SimOptions& o) { o.incompatible = true; }), custom([](SimOptions& o) {
        o.versionMajor = 2, o.versionMinor = 5, o.optionBits = 0x0100, o.serial = -2;
        o.upAxis = -3, o.forwardAxis = 1, o.testResult = 0x0012;
    });
    Module partly([](SimOptions& o) { o.silentFor = {TypeByte(MessageType::Declination)}; });
    Module mute([](SimOptions& o) { o.silent = true; });
    const OutgoingRequest reads[] = {
        SerialNumberRequest(), SelfTestRequest(), OffsetsReadRequest(), DeclinationReadRequest(),
        OrientationRateReadRequest(), StartupDefaultsReadRequest(), CompensationRequest(CompensationAction::Status),
        CompensationParametersRequest(),
    };
    std::string made = "Module: request -> reply, each as type [length] payload, in hex.\n";
    for (const auto& r : reads) made += Exchange("plain", plain, r) + Exchange("incompatible", odd, r);
    made += Exchange("custom", custom, SerialNumberRequest());
    made += Exchange("custom", custom, SelfTestRequest());
    for (const auto& r : {OffsetsSetRequest(Offsets::kBody, 500, 0, 0),
                          OffsetsSetRequest(Offsets::kRoll | Offsets::kPitch, 111, 222, -333), OffsetsReadRequest(),
                          DeclinationSetRequest(-182), DeclinationReadRequest(), OrientationRateSetRequest(250),
                          OrientationRateReadRequest()})
        made += Exchange("plain", plain, r);
    OutgoingRequest unknown = SerialNumberRequest(), shortOffsets = OffsetsReadRequest(), longIdentity = unknown;
    unknown.type = 0x99;
    shortOffsets.length = 6;
    longIdentity.length = 1;
    for (const auto& r : {unknown, shortOffsets, longIdentity}) made += Exchange("plain", plain, r);
    made += Exchange("silent for 54", partly, DeclinationSetRequest(1000));
    made += Exchange("silent for 54", partly, SerialNumberRequest());
    for (const auto& r : reads) made += Exchange("silent", mute, r);
    test::ExpectGolden("sim_replies.txt", made);
    EXPECT_EQ(partly.module.Working().declination, 1000); // withheld, yet applied
}

// sim_startup_defaults.txt: a load with a mask writes the flash
// (replies.cpp's mask test; roll is not in it); the working values take
// them at the next power-up, half a second after a reset, with nothing
// answered meanwhile; a store that fails is refused. So is a flash file
// with an unknown line.
TEST(Replies, StartUpDefaultsSurviveAResetAndAFreshStoreButNotAFailedOne)
{
    const test::TempDir dir;
    Module m([&](SimOptions& o) { o.flashFile = dir / "flash"; }); // not there yet: an empty flash
    Module failing([](SimOptions& o) { o.flashFail = true; });
    m.streams.Due(0, true); // powered up
    using D = StartupDefaults;
    const D load{.mask = D::kDeclination | D::kPitchOffset | D::kInterval, .declination = 1911, .pitchOffset = -18,
                 .rollOffset = 18, .interval = 250};
    // Each step a statement of its own: the operands of + may be worked out in any order.
    std::string made = "Requests -> replies as type [length] payload, in hex; values as declination, pitch offset,\n"
                       "roll offset, interval.\n";
    made += Exchange("load at 10 ms", m, StartupDefaultsLoadRequest(load), 10);
    made += Exchange("at 20 ms", m, DeclinationSetRequest(77), 20);
    made += Exchange("reset at 100 ms", m, ResetRequest(), 100);
    made += Exchange("at 300 ms", m, SerialNumberRequest(), 300);
    made += "Sent from 101 to 700 ms:\n" + Sent(m, 101, 700);
    made += "Working values: " + Values(m.module.Working());
    made += "Flash file: " + Values(OpenedFlash(m.options.flashFile).Values());
    made += Exchange("flash failing", failing, StartupDefaultsLoadRequest({.mask = D::kDeclination, .declination = 1}));
    made += "Its flash: " + Values(failing.flash.Values());
    FlashStore unwritable = OpenedFlash(dir / "missing/flash"), unknown;
    made += std::string("Stored in a missing folder: ") + (unwritable.Store({.declination = 5}) ? "yes, " : "no, ") +
            Values(unwritable.Values());
    test::ExpectGolden("sim_startup_defaults.txt", made);
    std::ofstream(dir / "flash") << "declination=5\ncolour=blue\n";
    std::string error;
    EXPECT_FALSE(unknown.Open(dir / "flash", error));
    EXPECT_EQ(error, dir / "flash" + ":2: not a start-up default: colour=blue");
}

TEST(CompassModule, SectorBinsAndDipoleDeclination)
{
    const std::pair<double, int> bins[] = {{10, 7},    {0, 7},   {44.9, 7}, {45, 6},  {100, 5}, {180, 3},
                                           {314.9, 1}, {315, 0}, {350, 0},  {-10, 0}, {360, 7}, {725, 7}};
    for (const auto& [heading, bin] : bins) EXPECT_EQ(SectorBin(heading), bin) << heading;
    EXPECT_GT(DipoleDeclination(47.6, -122.3, 2025), 5);   // Seattle: east
    EXPECT_LT(DipoleDeclination(44.8, -68.8, 2025), -0.5); // Maine: west
    // On the pole's meridian, either side of the pole, as the pole drifts.
    EXPECT_NEAR(DipoleDeclination(40, -72.68, 2020), 0, 1e-9);
    EXPECT_NEAR(DipoleDeclination(-30, 107.32, 2020), 0, 1e-9);
    EXPECT_NEAR(DipoleDeclination(40, -72.76, 2025), 0, 1e-9);
    // Mid-2022 the pole is half way, at 80.725 N 72.72 W: on its meridian a
    // point just south of it points north, one just north of it south.
    EXPECT_NEAR(DipoleDeclination(80.70, -72.72, 2022.5), 0, 1e-6);
    EXPECT_NEAR(std::abs(DipoleDeclination(80.75, -72.72, 2022.5)), 180, 1e-6);
}

// sim_compensation.txt: a run started at 1 s, each report with its time
// (every half second, state and completion never going back, the sweep
// ending after 20 s, the result once 3 s later), then the parameters
// computed, and cleared by Revert; a second run aborted at 35 s, which
// reports nothing more.
TEST(Compensation, RunCollectsComputesAndReportsOnceOrIsAborted)
{
    Module m;
    Sent(m, 0, 1000); // powered up a second ago
    std::string made = "Reports as type [length] state (1 sweeping, 2 computing, 0 over, 3 aborted), result (1\n"
                       "success), the eight sector bins, completion %, quality (16 bits); requests -> replies.\n";
    const auto reports = [&](std::int64_t fromMs, std::int64_t toMs) {
        for (std::int64_t t = fromMs; t < toMs; t += 10)
            for (auto& o : m.streams.Due(t, true))
                if (o.type == TypeByte(MessageType::Compensation))
                    made += std::to_string(t) + " ms: " + Hex(o.type, o.payload.data(), o.payload.size()) + "\n";
    };
    made += Exchange("start at 1000 ms", m, CompensationRequest(CompensationAction::Start), 1000);
    reports(1000, 30000);
    made += Exchange("computed", m, CompensationParametersRequest(), 30000);
    made += Exchange("revert", m, CompensationRequest(CompensationAction::Revert), 30000);
    made += Exchange("reverted", m, CompensationParametersRequest(), 30000);
    made += Exchange("start at 30000 ms", m, CompensationRequest(CompensationAction::Start), 30000);
    reports(30000, 35000);
    made += Exchange("abort at 35000 ms", m, CompensationRequest(CompensationAction::Abort), 35000);
    reports(35000, 60000);
    made += Exchange("status at 60000 ms", m, CompensationRequest(CompensationAction::Status), 60000);
    test::ExpectGolden("sim_compensation.txt", made);
}

// sim_streams.txt: the power-up, then orientation at the interval in
// force: none at 0, every 50 ms after a set, and after a stall one
// message, not a catch-up flood; with --rfu the longer orientation; with
// --burst a numbered orientation each time the line is ready (every 2 ms
// here); NMEA headings at 5 Hz (the body offset of 10.5 degrees added,
// true heading the declination of -1 degree too) and GPS fixes at 2 Hz,
// each sentence with its checksum.
TEST(Streams, WhatGoesOutWhen)
{
    Module m, wide([](SimOptions& o) { o.rfu = true; }), burst([](SimOptions& o) { o.burst = true; });
    Module nmea([](SimOptions& o) { o.nmeaHz = 5, o.gpsHz = 2; });
    std::string made = "Each message as t ms: type [length] payload, in hex; a sentence as its text; requests ->\n"
                       "replies.\n"
                       "Plain module, 0 to 1000 ms:\n" + Sent(m, 0, 1000);
    made += Exchange("interval 0 at 1000 ms", m, OrientationRateSetRequest(0), 1000);
    made += "1000 to 2000 ms:\n" + Sent(m, 1000, 2000);
    made += Exchange("interval 50 at 2000 ms", m, OrientationRateSetRequest(50), 2000);
    made += "2000 to 3000 ms:\n" + Sent(m, 2000, 3000);
    made += "Nothing due until 3500 ms, 3500 to 4000 ms:\n" + Sent(m, 3500, 4000);
    made += "--rfu, 0 to 300 ms:\n" + Sent(wide, 0, 300) + "--burst, 0 to 20 ms:\n" + Sent(burst, 0, 20, 2);
    made += "--nmea 5 --gps 2, 0 to 500 ms:\n" + Sent(nmea, 0, 500);
    made += Exchange("offset at 500 ms", nmea, OffsetsSetRequest(Offsets::kBody, 1911, 0, 0), 500);
    made += Exchange("declination", nmea, DeclinationSetRequest(-182), 500);
    made += "500 to 1000 ms:\n" + Sent(nmea, 500, 1000);
    test::ExpectGolden("sim_streams.txt", made);
}

} // namespace
} // namespace tolvane::sim
