// The frame's logic without a window: its dispatch and commands against a
// fake one (what goes out, which timers run, what the user is asked, what
// the view receives), the commands' states, the lost port watch, and the
// health pane and baud rate search on a clock the test moves. The scripts
// and what they give are under tests/data/golden (app_frame_*, app_clock_*).
#include "app/frame_controller.h"

#include "app/baud_detector.h"
#include "app/command_states.h"
#include "app/link_health.h"
#include "app/lost_port_watch.h"
#include "protocol/requests.h"
#include "resources/command_ids.h"
#include "support/golden.h"
#include "support/in_process_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
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
    void RecordOrientation(const Orientation& o, std::int64_t) override
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

// Bytes written in hex, two digits each.
std::vector<std::uint8_t> Bytes(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The reply to each type, as the scripts' file defines them.
std::map<int, std::vector<std::uint8_t>> replies;

// Runs a script of words (described in tests/data/golden/app_frame_scripts.txt):
// commands, answers to questions, port events and replies by type in hex.
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
            std::vector<std::uint8_t> payload = w.find('=') != std::string::npos ? Bytes(arg) : replies.at(type);
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
    if (f.VersionKnown())
        out << "title \"" << WindowTitle(true, f.Identity()) << "\", pane \"" << VersionPaneText(true, f.Identity())
            << "\", ";
    if (f.InitializeActive()) out << "initializing, ";
    if (const InitialValues& v = f.Initial(); v.interval != 0)
        out << "read " << v.bodyOffset << ' ' << v.rollOffset << ' ' << v.pitchOffset << ' ' << v.declination << ' '
            << v.interval << ", ";
    if (f.Receivers().For(TypeByte(MessageType::Compensation)) == nullptr) out << "compensation unheard, ";
    if (f.BaudRate() != 9600) out << "baud " << f.BaudRate() << ", ";
    return out.str();
}

// Each script of app_frame_scripts.txt on a fresh bench, and everything it
// leaves (app_frame_summaries.txt): what went out and was awaited, what the
// dialogs, view, panel and log received, what the user was asked and told,
// and the frame's identity, initial values and baud rate. It guards the
// request chains, Retry and Cancel, supervised and unsupervised sends, the
// compatible reply lengths, the hold-off and the baud rate's reopen.
TEST(FrameController, ScriptsLeaveTheWindowAndFrameAsExpected)
{
    std::ifstream scripts(std::string(TOLVANE_TEST_DATA) + "/golden/app_frame_scripts.txt");
    ASSERT_TRUE(scripts);
    std::string made;
    for (std::string line; std::getline(scripts, line);) {
        if (line.starts_with('#') || line.starts_with("reply ")) made += line + "\n";
        if (line.empty() || line.starts_with('#')) continue;
        if (line.starts_with("reply ")) {
            replies[std::stoi(line.substr(6), nullptr, 16)] = Bytes(line.substr(line.find('=') + 2));
            continue;
        }
        const std::size_t bar = line.find(" | ");
        Bench b;
        RunScript(b, line.substr(bar + 3));
        const std::string summary = Summary(b);
        made += line.substr(0, bar) + "\n    " + line.substr(bar + 3) + "\n    -> " +
                (summary.empty() ? "nothing" : summary.substr(0, summary.size() - 2)) + "\n";
    }
    test::ExpectGolden("app_frame_summaries.txt", made);
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

// Runs app_clock_scripts.txt: the lost port watch, the link health pane and
// the baud rate search on a clock the script moves, each line repeated in
// app_clock_transcript.txt with what it gave. It guards the watch's second
// between tries and its pause, the pane's rate, garble, silence (the plot
// veiled under them) and drops (each time limit to the millisecond), its
// count from the port's own open and how long a lost port has been away,
// and the search's order, listening time and stop at the first answer.
TEST(ClockScripts, WatchHealthAndBaudSearchOverTime)
{
    std::ifstream script(std::string(TOLVANE_TEST_DATA) + "/golden/app_clock_scripts.txt");
    ASSERT_TRUE(script);
    LostPortWatch watch;
    LinkHealth health;
    std::optional<BaudDetector> baud;
    std::string made;
    for (std::string line; std::getline(script, line);) {
        std::istringstream words(line);
        std::string what, verb;
        words >> what >> verb;
        const auto number = [&words] {
            std::int64_t n = 0;
            words >> n;
            return n;
        };
        std::ostringstream out;
        if (what == "watch") {
            if (verb == "lost") {
                const int port = static_cast<int>(number());
                const std::int64_t at = number();
                out << (watch.PortLost(port, at, line.ends_with(" network")) ? "news, " : "no news, ");
            }
            else if (verb == "recovered") out << (watch.Recovered(number()) ? "back, " : "not yet, ");
            else if (verb == "pause" || verb == "resume") watch.SetPaused(verb == "pause");
            else if (verb == "failed" || verb == "opened") watch.Tried(verb == "opened", number());
            else if (verb == "end") watch.End();
            if (verb == "try") out << watch.PortToTry(number());
            else out << "lost port " << watch.LostPort();
        }
        else if (what == "health" && verb == "open") {
            const int rate = static_cast<int>(number());
            health.Opened(rate, number());
        }
        else if (what == "health" && verb == "closed") health.Closed();
        else if (what == "health" && verb == "lost") health.Lost(number());
        else if (what == "health") {
            std::map<std::string, std::int64_t> n = {{"valid", -1}, {"opened", -1}};
            for (std::string word; words >> word;)
                n[word.substr(0, word.find('='))] = std::stoll(word.substr(word.find('=') + 1));
            using U = std::uint64_t;
            const LinkCounters counters{.bytes = U(n["bytes"]), .frames = U(n["frames"]), .dropped = U(n["dropped"]),
                                        .lastValidMs = std::int32_t(n["valid"]), .openedMs = std::int32_t(n["opened"])};
            HealthReport r = health.Update(counters, std::stoll(verb));
            std::replace(r.tooltip.begin(), r.tooltip.end(), '\n', ' ');
            out << '"' << r.pane << "\" | \"" << r.viewLine << "\" | \"" << r.tooltip << '"';
            if (!r.veil.empty()) out << " veiled";
        }
        else if (what == "baud" && verb == "start") {
            baud.emplace(static_cast<int>(number()));
            for (int rate : baud->Rates()) out << (rate == baud->Rates()[0] ? "" : " ") << rate;
        }
        else if (what == "baud") {
            static const char* const steps[] = {"try rate", "listen", "found", "none answered"};
            const BaudDetector::Step step = baud->Advance(std::stoull(verb), number());
            out << steps[static_cast<int>(step)] << " at " << baud->Rate() << ", tried " << baud->Tried();
        }
        made += line + (out.str().empty() ? "" : " -> " + out.str()) + "\n";
    }
    test::ExpectGolden("app_clock_transcript.txt", made);
}

} // namespace
} // namespace tolvane
