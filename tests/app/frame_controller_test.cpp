// The frame's dispatch and commands against a fake window: what goes out,
// which timers run, what the user is asked, and what the view receives.
#include "app/frame_controller.h"

#include "app/command_states.h"
#include "app/lost_port_watch.h"
#include "protocol/requests.h"
#include "resources/command_ids.h"
#include "support/in_process_link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

std::string Hex(int v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%X", v);
    return text;
}

// Records what the frame makes the window do.
struct FakeHost : FrameHost {
    bool replyTimer = false;
    bool answerRetry = false;
    std::function<void()> whileAsking; // runs inside the question's nested loop
    std::function<void()> whileIncompatible;
    std::map<std::string, std::vector<std::string>> seen; // "viewed", "shown" in order
    std::map<std::string, int> calls;

    void StartReplyTimer() override { replyTimer = true; }
    void StopReplyTimer() override { replyTimer = false; }
    void StartHoldoffTimer() override { ++calls["holdoff"]; }
    void ShowLine(const StatusLine& line) override { seen["viewed"].push_back(line.mnemonic); }
    void ShowOrientation(const Orientation& o) override { seen["shown"].push_back(std::to_string(o.roll)); }
    void RecordOrientation(const Orientation& o, std::int32_t) override
    {
        seen["recorded"].push_back(std::to_string(o.roll));
    }
    void RecreatePanel() override { ++calls["panel anew"]; }
    void ClearPanel() override { ++calls["panel cleared"]; }
    void IdentityChanged() override { ++calls["identity"]; }
    void CommandStateChanged() override {}
    bool AskRetry(const std::string& name) override
    {
        ++calls["asked " + name];
        if (whileAsking) std::exchange(whileAsking, nullptr)();
        return answerRetry;
    }
    void ShowIncompatible() override
    {
        ++calls["incompatible"];
        if (whileIncompatible) std::exchange(whileIncompatible, nullptr)();
    }
    void ShowReopenFailed() override { ++calls["reopen failed"]; }
    void PostShowInitializations() override { ++calls["initializations"]; }
};

// A dialog waiting for every type a dialog can wait for.
struct AnyDialog : MessageReceiver {
    std::vector<std::string> types;
    void OnMessage(const DeviceMessage& m) override { types.push_back(Hex(m.type)); }
};

// The window, the compass on port 1 at 9600 baud, a log that is not open,
// and a dialog waiting for everything.
struct Bench {
    FakeHost host;
    test::InProcessLink link;
    LogFile log{testing::TempDir(), nullptr};
    FrameController frame{host, link, log};
    AnyDialog dialog;

    Bench()
    {
        link.SetProbe(1, PortProbe(ProbeResult::Free));
        link.Open(1, 9600);
        link.opened.clear();
        using T = MessageType;
        frame.Receivers().Register(&dialog, {T::Offsets, T::Declination, T::OrientationRate, T::SelfTest,
                                             T::Orientation, T::Nmea, T::PowerUp, T::Identity, T::Compensation,
                                             T::CompensationParameters});
    }
};

DeviceMessage Msg(std::uint16_t type, const std::vector<std::uint8_t>& payload)
{
    DeviceMessage m;
    m.type = type;
    m.length = static_cast<std::uint16_t>(payload.size());
    std::copy(payload.begin(), payload.end(), m.payload);
    return m;
}

// Replies by type: version 1.4, options A and I, serial 1234; offsets
// 1911, -182 and 8192; declination 0xF510; a rate of 100 ms.
const std::map<int, std::vector<std::uint8_t>> kReplies = {
    {0xC3, {1, 0, 4, 0, 0x01, 0x01, 0xD2, 0x04, 0, 0, 3, 0xFF}},
    {0x50, {0, 0x77, 0x07, 0x4A, 0xFF, 0x00, 0x20}},
    {0x54, {0, 0x10, 0xF5}},
    {0x7F, {0x64, 0x00}},
    {0x44, {'u', 'p', 0}},
    {0x48, {0, 0}},
    {0x70, {0, 0, 2, 0, 3, 0}},
    {0x20, {'$', '*', '0', '0'}},
};

// Runs a script of words: commands, "timeout" (answered Cancel, or Retry
// with "timeout+retry"), "holdoff", "unplug" (the port closes), "busy"
// (port 1 cannot be opened again), "baud=4800", and replies by type in hex,
// as "50", "50/6" (payload length 6) or "70:9" (first payload byte 9).
// "ask>48" and "box>70:9" deliver a message while the next question or box is open.
void RunScript(Bench& b, const std::string& script)
{
    static const std::map<std::string, void (FrameController::*)()> commands = {
        {"identify", &FrameController::RequestIdentity}, {"serial", &FrameController::SerialNo},
        {"init", &FrameController::Initialize},          {"reset", &FrameController::ResetModule},
        {"selftest", &FrameController::SelfTest},        {"status", &FrameController::CompensateStatus},
        {"abort", &FrameController::CompensateAbort},    {"nmea", &FrameController::ToggleNmea},
        {"holdoff", &FrameController::OnHoldoffTimeout}};
    std::istringstream words(script);
    for (std::string w; words >> w;) {
        const std::string arg = w.substr(w.find_first_of("=>+:/") + 1);
        if (commands.count(w)) (b.frame.*commands.at(w))();
        else if (w.starts_with("timeout")) {
            b.host.answerRetry = w == "timeout+retry";
            b.frame.OnReplyTimeout();
        }
        else if (w == "unplug") b.link.Close();
        else if (w == "busy") b.link.SetProbe(1, PortProbe(ProbeResult::Busy));
        else if (w.starts_with("baud=")) b.frame.SetBaudRate(std::stoi(arg));
        else if (w.starts_with("ask>")) b.host.whileAsking = [&b, arg] { RunScript(b, arg); };
        else if (w.starts_with("box>")) b.host.whileIncompatible = [&b, arg] { RunScript(b, arg); };
        else {
            const int type = std::stoi(w, nullptr, 16);
            std::vector<std::uint8_t> payload = kReplies.at(type);
            if (w.find('/') != std::string::npos) payload.resize(std::stoul(arg));
            if (w.find(':') != std::string::npos) payload[0] = static_cast<std::uint8_t>(std::stoi(arg));
            b.frame.OnDeviceMessage(Msg(static_cast<std::uint16_t>(type), payload));
        }
    }
}

// Everything the window, the link, the log and the frame show after a
// script, defaults left out.
std::string Summary(const Bench& b)
{
    std::ostringstream out;
    const auto list = [&out](const std::string& what, const std::vector<std::string>& items) {
        if (items.empty()) return;
        out << what;
        for (const std::string& item : items) out << ' ' << item;
        out << ", ";
    };
    list("dialogs", b.dialog.types);
    std::vector<std::string> sent, opened;
    for (const OutgoingRequest& r : b.link.sent) sent.push_back(Hex(r.type));
    for (const auto& [port, baud] : b.link.opened) opened.push_back(std::to_string(port) + "@" + std::to_string(baud));
    list("opened", opened);
    list("sent", sent);
    for (const auto& [what, items] : b.host.seen) list(what, items);
    for (const auto& [what, count] : b.host.calls) out << what << " x" << count << ", ";
    const FrameController& f = b.frame;
    if (b.log.roll != 0) out << "log roll " << b.log.roll << ", ";
    if (b.host.replyTimer) out << "timer, ";
    if (f.PendingRequest().type != kNoReplyAwaited) out << "awaits " << Hex(f.PendingRequest().type) << ", ";
    if (f.VersionKnown()) out << "known " << f.Identity().serialNumber << ", ";
    if (f.InitializeActive()) out << "initializing, ";
    if (const InitialValues& v = f.Initial(); v.interval != 0)
        out << "read " << v.bodyOffset << ' ' << v.rollOffset << ' ' << v.pitchOffset << ' ' << v.declination << ' '
            << v.interval << ", ";
    if (f.Receivers().For(TypeByte(MessageType::Compensation)) == nullptr) out << "compensation unheard, ";
    if (f.BaudRate() != 9600) out << "baud " << f.BaudRate() << ", ";
    return out.str();
}

TEST(FrameController, ScriptsLeaveTheWindowAndFrameAsExpected)
{
    const struct {
        const char *name, *script, *summary;
    } rows[] = {
        {"identity chain: offsets and declination, replies to the dialogs", "identify C3 50 54",
         "dialogs 50 54, sent C3 50 54, viewed DVRSN DINICAL DIMVAR, identity x1, panel anew x1, known 1234, "},
        {"no port: nothing asked at start-up", "unplug identify", ""},
        {"power-up forgets the version and asks again; the title waits", "C3 44",
         "sent 50 C3, viewed DVRSN DPOWER, identity x1, panel anew x1, awaits C3, "},
        {"silence: Retry resends, Cancel forgets the version", "C3 serial timeout+retry timeout",
         "sent 50 C3 C3, viewed DVRSN, asked serial number x2, identity x2, panel anew x1, "},
        {"Retry after a late reply sends nothing", "selftest ask>48 timeout+retry",
         "dialogs 48, sent 48, viewed DTEST, asked self test x1, "},
        {"an unsupervised send replaces the awaited reply", "selftest C3 48",
         "dialogs 48, sent 48 50, viewed DVRSN DTEST, identity x1, panel anew x1, timer, awaits 50, known 1234, "},
        {"... whose reply stops the timer", "selftest C3 48 50",
         "dialogs 48 50, sent 48 50 54, viewed DVRSN DTEST DINICAL, identity x1, panel anew x1, awaits 54, known 1234, "},
        {"initialize: supervised reads, then the dialog", "init 50 54 54 7F",
         "dialogs 50 54 54 7F, sent 50 54 54 7F, viewed DINICAL DIMVAR DIMVAR DORRATE, initializations x1, "
         "read 1911 -182 8192 -2800 100, "},
        {"initialize: declination unanswered, later replies change nothing", "init 50 timeout 54 7F",
         "dialogs 50 54 7F, sent 50 54 54, viewed DINICAL DIMVAR DORRATE, asked declination x1, "},
        // Offsets of 7 bytes and a rate of 2 are the compatible lengths: a byte
        // more or less is not.
        {"initialize: offsets of 6 bytes are incompatible", "init 50/6 54 7F",
         "dialogs 50 54 7F, sent 50 54, viewed DINICAL DIMVAR DORRATE, incompatible x1, "},
        {"initialize: a rate of 3 bytes is incompatible", "init 50 54 7F/3",
         "dialogs 50 54 7F, sent 50 54 54 7F, viewed DINICAL DIMVAR DORRATE, incompatible x1, "},
        {"a dispatch interrupted by the box finishes with its own message", "init box>70:9 50/8",
         "dialogs 70 50, sent 50 54, recorded 9, shown 9, viewed DORIENT DINICAL, holdoff x1, incompatible x1, log roll 9, awaits 54, "},
        {"orientation held off for 80 ms, logged and plotted always; other types never", "70:1 70:2 holdoff 70:3 20",
         "dialogs 70 70 20, recorded 1 2 3, shown 1 3, viewed DORIENT DORIENT NMEA, holdoff x2, log roll 3, "},
        {"NMEA sentences are shown while the switch is on", "nmea 20 nmea 20", "dialogs 20 20, viewed NMEA, "},
        {"compensation parameters only with option I", "status C3 status",
         "sent 72 50 72 67, viewed DVRSN, identity x1, panel anew x1, awaits 67, known 1234, "},
        {"abort ends the compensation", "abort", "sent 72, awaits 72, compensation unheard, "},
        {"reset forgets the version, unsupervised", "C3 reset",
         "sent 50 42, viewed DVRSN, identity x2, panel anew x1, panel cleared x1, awaits 42, "},
        {"baud rate: a failed reopen says so, no port only moves the rate",
         "baud=9600 baud=38400 busy baud=4800 unplug baud=19200", "opened 1@38400, reopen failed x1, baud 19200, "},
        {"baud rate: the same rate reopens nothing", "busy baud=9600 baud=38400", "reopen failed x1, baud 38400, "},
    };
    for (const auto& r : rows) {
        Bench b;
        RunScript(b, r.script);
        EXPECT_EQ(Summary(b), r.summary) << r.name << ": " << r.script;
    }
}

// The watch's tries over time: none before a second has passed, none while
// paused, one a second while the port stays away, and none once it is back
// or the watch ended.
TEST(LostPortWatch, TriesOnceASecondUntilThePortIsBack)
{
    LostPortWatch watch;
    EXPECT_EQ(watch.PortToTry(0), -1);
    watch.PortLost(4, 10'000);
    EXPECT_EQ(watch.LostPort(), 4);
    EXPECT_EQ(watch.PortToTry(10'999), -1);
    EXPECT_EQ(watch.PortToTry(11'000), 4);
    watch.SetPaused(true);
    EXPECT_EQ(watch.PortToTry(11'250), -1);
    watch.SetPaused(false);
    watch.Tried(false, 11'250);
    EXPECT_EQ(watch.PortToTry(12'249), -1);
    EXPECT_EQ(watch.PortToTry(12'250), 4);
    watch.Tried(true, 12'250);
    EXPECT_EQ(watch.LostPort(), -1);
    EXPECT_EQ(watch.PortToTry(20'000), -1);
    watch.PortLost(2, 30'000);
    watch.End();
    EXPECT_EQ(watch.PortToTry(40'000), -1);
}

// Enabled, checkable and checked in states that differ from the default in
// the one flag the command's rule reads; a command no rule names is enabled.
TEST(CommandStates, FollowTheFlagsTheirRulesRead)
{
    const struct {
        int id;
        FrameState state;
        bool enabled, checkable, checked;
    } rows[] = {
        {kCmdInitialize, {}, false, false, false},
        {kCmdCompensateRevert, {.portOpen = true}, true, false, false},
        {kCmdSerialNo, {.portOpen = true, .versionKnown = true}, true, true, true},
        {kCmdLogBumpToolbar, {.logging = true}, true, false, false},
        {kCmdNavConsoleToolbar, {.navConsoleOpen = true}, true, true, true},
        {kCmdOrientationPlotToolbar, {.orientationPlotOpen = true}, true, true, true},
        {kCmdStatusView, {.panelShown = true}, true, true, true},
        {kCmdStatusViewToolbar, {.portOpen = true}, true, true, false},
        {kCmdBaud9600, {}, true, true, true},
        {kCmdBaud19200, {.baudRate = 19200}, true, true, true},
        {kCmdBaud4800, {}, true, true, false},
        {kCmdToggleNmea, {.showNmea = false}, true, true, false},
        {kCmdCaptureRawStream, {.capturing = true}, true, true, true},
        {kCmdCaptureRawStream, {}, false, true, false},
        {kCmdMessagesPause, {.viewPaused = true}, true, true, true},
        {kCmdMessagesFilter, {}, true, true, false},
        {kCmdMessagesFindNext, {.findText = true}, true, false, false},
        {kCmdToolbar, {.toolbarShown = false}, true, true, false},
        {kCmdStatusBar, {}, true, true, true},
        {0, {}, true, false, false},
    };
    for (const auto& r : rows) {
        const CommandState got = StateOfCommand(r.id, r.state);
        EXPECT_EQ(std::vector<bool>({got.enabled, got.checkable, got.checked}),
                  std::vector<bool>({r.enabled, r.checkable, r.checked}))
            << "command " << r.id;
    }
    EXPECT_EQ(std::vector<int>({BaudRateOf(kCmdBaud4800), BaudRateOf(kCmdBaud9600), BaudRateOf(kCmdBaud19200),
                                BaudRateOf(kCmdBaud38400), BaudRateOf(kCmdSerialNo)}),
              std::vector<int>({4800, 9600, 19200, 38400, 0}));
}

TEST(ModuleIdentityText, TitleAndVersionPane)
{
    const struct {
        std::vector<std::uint8_t> payload; // empty: no version known
        const char *serial, *pane;
    } rows[] = {
        {{}, "unknown", " No version information available"},
        {{1, 0, 4, 0, 5, 0, 0xD2, 4, 0, 0, 3, 0xFF}, "1234", " Version=1.04  Build Opts=AC  Fwd=-X  Up=Z"},
        {{2, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 4}, "unassigned", " Version=2.10  Build Opts=None  Fwd=?  Up=?"},
        {{0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2}, "4294967295", // unsigned
         " Version=0.00  Build Opts=P  Fwd=Y  Up=X"},
    };
    for (const auto& r : rows) {
        const bool known = !r.payload.empty();
        const auto id =
            known ? Decode<ModuleIdentity>(Msg(TypeByte(MessageType::Identity), r.payload)) : ModuleIdentity{};
        EXPECT_EQ(WindowTitle(known, id), std::string("Tolvane --- Serial number ") + r.serial);
        EXPECT_EQ(VersionPaneText(known, id), r.pane);
    }
}

} // namespace
} // namespace tolvane
