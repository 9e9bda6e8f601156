// The compass session without a window: its dispatch, commands and port
// against a fake host (what goes out, which timers run, what the user is
// asked and told, what the view receives, how the port's state is shown)
// on a link in process and a clock the scripts move; and the health pane
// on that clock. The scripts and what they give are under
// tests/data/golden (session_*).
#include "session/compass_session.h"

#include "app/module_identity.h"
#include "protocol/requests.h"
#include "support/fake_timers.h"
#include "support/golden.h"
#include "support/in_process_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
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

// Records what the session makes the window do, with the time of each
// change of the port's state.
struct FakeHost : SessionHost {
    const test::FakeTimers& clock;
    bool answerRetry = false;
    std::function<void()> whileAsking; // runs inside the question's nested loop
    std::function<void()> whileIncompatible;
    std::map<std::string, std::vector<std::string>> seen; // "viewed", "shown", "port"... in order
    std::map<std::string, int> calls;

    explicit FakeHost(const test::FakeTimers& timers) : clock(timers) {}
    void ShowLine(const StatusLine& line) override { seen["viewed"].push_back(line.mnemonic); }
    void ShowOrientation(const Orientation& o, const OrientationDegrees&) override { Saw("shown", o.roll); }
    void RecordOrientation(const OrientationDegrees& d, LinkTimeMs) override { Saw("recorded", d.roll * 32768 / 180); }
    void Saw(const std::string& what, double roll) { seen[what].push_back(std::to_string(std::lround(roll))); }
    void RecreatePanel() override { ++calls["panel anew"]; }
    void ClearPanel() override { ++calls["panel cleared"]; }
    void IdentityChanged() override { ++calls["identity"]; }
    void PostShowInitializations() override { ++calls["initializations"]; }
    bool AskRetry(const Notice& question) override
    {
        const std::string name = question.text.substr(24, question.text.size() - 25); // "No reply to request for %s."
        ++calls["asked " + name];
        if (whileAsking) std::exchange(whileAsking, nullptr)();
        return answerRetry;
    }
    void Tell(const Notice& notice) override
    {
        static const std::map<std::string, std::string> names{{"Incompatibility", "incompatible"},
                                                              {"Oops!", "reopen failed"}};
        ++calls[names.count(notice.title) ? names.at(notice.title) : "told " + notice.title];
        if (whileIncompatible) std::exchange(whileIncompatible, nullptr)();
    }
    // The state, "*" when shown, "!" when also noted, and when.
    void PortChanged(PortState state, PortNews news) override
    {
        static const char* const states[] = {"closed", "opening", "open", "lost"};
        static const char* const marks[] = {"", "*", "!"};
        seen["port"].push_back(std::string(states[int(state)]) + marks[int(news)] + "@" + std::to_string(clock.now));
    }
};

// A dialog waiting for every type a dialog can wait for.
struct AnyDialog : MessageReceiver {
    std::vector<std::string> types;
    void OnMessage(const DeviceMessage& m) override { types.push_back(Hex(m.type)); }
};

// The window, the compass on port 1 at 9600 baud (port 2 free too), a log
// that is not open, and a dialog waiting for everything.
struct Bench {
    test::FakeTimers timers;
    FakeHost host{timers};
    test::InProcessLink link;
    LogFile log{testing::TempDir(), nullptr};
    CompassSession session{link, log, timers, host};
    AnyDialog dialog;

    Bench()
    {
        for (int port : {1, 2}) link.SetProbe(port, PortProbe(ProbeResult::Free));
        session.SetNotify([this] { session.OnLinkNotified(); });
        session.Open(1);
        link.opened.clear();
        host.seen.clear();
        using T = MessageType;
        session.Receivers().Register(&dialog, {T::Offsets, T::Declination, T::OrientationRate, T::SelfTest,
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

// Runs a script of words (described in tests/data/golden/session_scripts.txt):
// commands, time passing, answers to questions, port events and replies by
// type in hex.
void RunScript(Bench& b, const std::string& script)
{
    using S = CompassSession;
    static const std::map<std::string, void (CompassSession::*)()> commands = {
        {"identify", &S::RequestIdentity}, {"serial", &S::SerialNo},       {"init", &S::Initialize},
        {"reset", &S::ResetModule},        {"selftest", &S::SelfTest},     {"status", &S::CompensateStatus},
        {"abort", &S::CompensateAbort},    {"nmea", &S::ToggleNmea},       {"cancel", &S::CancelDetect},
        {"close", &S::Close},              {"end", &S::End}};
    std::istringstream words(script);
    for (std::string w; words >> w;) {
        const std::string arg = w.substr(w.find_first_of("=>+:/") + 1);
        if (commands.count(w)) (b.session.*commands.at(w))();
        else if (w.starts_with("timeout")) {
            b.host.answerRetry = w == "timeout+retry";
            b.timers.Advance(CompassSession::kReplyTimeoutMs);
        }
        else if (w == "holdoff") b.timers.Advance(CompassSession::kHoldoffMs);
        else if (w.starts_with('+')) b.timers.Advance(std::stoll(arg));
        else if (w == "unplug") b.link.Close();
        else if (w == "lost") b.link.PullCable();
        else if (w == "busy" || w == "free") b.link.SetProbe(1, w == "busy" ? ProbeResult::Busy : ProbeResult::Free);
        else if (w.starts_with("path=")) b.session.SetPortPath(1, arg);
        else if (w.starts_with("baud=")) b.session.SetBaudRate(std::stoi(arg));
        else if (w.starts_with("open=")) b.session.Open(std::stoi(arg));
        else if (w == "valid") ++b.link.counters.frames;
        else if (w == "health") b.host.seen["health"].push_back('"' + b.session.Health().pane + '"');
        else if (w.starts_with("capture"))
            b.session.StartCapture(w == "capture" ? testing::TempDir() + "session.tcap" : arg);
        else if (w == "detect")
            b.session.StartDetect([&b](const DetectProgress& p) {
                const std::string step = std::to_string(p.rate) + "(" + std::to_string(p.tried) + "/" +
                                         std::to_string(p.rates) + ")";
                b.host.seen["detect"].push_back((p.ended ? "end" : step) + "@" + std::to_string(b.timers.now));
            });
        else if (w.starts_with("choose>")) {
            // The COM port dialog, and what it does while open.
            b.session.PortChoiceStarted();
            RunScript(b, arg);
            if (const int keep = b.session.PortChoiceEnded(); keep != -1)
                ++b.host.calls["setting " + std::to_string(keep)];
        }
        else if (w.starts_with("ask>")) b.host.whileAsking = [&b, arg] { RunScript(b, arg); };
        else if (w.starts_with("box>")) b.host.whileIncompatible = [&b, arg] { RunScript(b, arg); };
        else {
            const int type = std::stoi(w, nullptr, 16);
            std::vector<std::uint8_t> payload = w.find('=') != std::string::npos ? Bytes(arg) : replies.at(type);
            if (w.find('/') != std::string::npos) payload.resize(std::stoul(arg));
            if (w.find(':') != std::string::npos) payload[0] = static_cast<std::uint8_t>(std::stoi(arg));
            b.session.OnDeviceMessage(Msg(static_cast<std::uint16_t>(type), payload));
        }
    }
}

// What a script left, each aspect the case names in its own words (see
// session_scripts.txt), "; " between them.
std::string Summary(Bench& b, const std::string& aspects)
{
    const auto list = [](const std::vector<std::string>& items, const char* between = " ") {
        std::string out;
        for (const std::string& item : items) out += (out.empty() ? " " : between) + item;
        return items.empty() ? std::string(" none") : out;
    };
    const auto yes = [](bool on) { return std::string(on ? " yes" : " no"); };
    std::vector<std::string> sent, opened, calls;
    for (const OutgoingRequest& r : b.link.sent) sent.push_back(Hex(r.type));
    for (const auto& [port, baud] : b.link.opened) opened.push_back(std::to_string(port) + "@" + std::to_string(baud));
    std::map<std::string, int> counts = b.host.calls;
    if (const auto holdoffs = b.timers.started.find(CompassSession::kHoldoffMs); holdoffs != b.timers.started.end())
        counts["holdoff"] = holdoffs->second;
    for (const auto& [what, count] : counts) calls.push_back(what + " x" + std::to_string(count));
    const CompassSession& f = b.session;
    const InitialValues& v = f.Initial();
    std::ostringstream read;
    read << ' ' << v.bodyOffset << ' ' << v.rollOffset << ' ' << v.pitchOffset << ' ' << v.declination << ' '
         << v.interval;
    std::map<std::string, std::string> shown = {
        {"dialogs", list(b.dialog.types)}, {"opened", list(opened)}, {"sent", list(sent)}, {"calls", list(calls, ", ")},
        {"log", " roll " + std::to_string(b.log.roll)}, {"timer", f.ReplyTimerRunning() ? " running" : " stopped"},
        {"awaits", f.PendingRequest().type == kNoReplyAwaited ? " nothing" : " " + Hex(f.PendingRequest().type)},
        {"title", " \"" + WindowTitle(f.VersionKnown(), f.Identity()) + "\""},
        {"pane", " \"" + VersionPaneText(f.VersionKnown(), f.Identity()) + "\""},
        {"initializing", yes(f.InitializeActive())}, {"read", read.str()},
        {"compensation", f.Receivers().For(TypeByte(MessageType::Compensation)) ? " heard" : " unheard"},
        {"baud", " " + std::to_string(f.BaudRate())},
        {"watching", f.LostPort() == -1 ? " none" : " " + std::to_string(f.LostPort())},
        {"capturing", yes(f.Capture().Active())}, {"detecting", yes(f.Detecting())}};
    for (const char* what : {"recorded", "shown", "viewed", "health", "port", "detect"})
        shown[what] = list(b.host.seen[what]);
    std::istringstream words(aspects);
    std::string out;
    for (std::string w; words >> w;) out += (out.empty() ? "" : "; ") + w + shown.at(w);
    return out;
}

// Each script of session_scripts.txt on a fresh bench, and what it leaves
// of the aspects the case checks (session_summaries.txt): what went out
// and was awaited, what the dialogs, view, panel and log received, what
// the user was asked and told, the session's identity, initial values and
// baud rate, and the port's states as shown. It guards the request chains,
// Retry and Cancel, supervised and unsupervised sends, the compatible
// reply lengths, the hold-off, the baud rate's reopen, the lost port's
// tries and its return, the COM port dialog's hold on the watch, the baud
// rate search as time passes, and the capture ending with the port.
TEST(CompassSession, ScriptsLeaveTheWindowAndSessionAsExpected)
{
    std::ifstream scripts(std::string(TOLVANE_TEST_DATA) + "/golden/session_scripts.txt");
    ASSERT_TRUE(scripts);
    std::string made;
    for (std::string line; std::getline(scripts, line);) {
        if (line.starts_with('#') || line.starts_with("reply ")) made += line + "\n";
        if (line.empty() || line.starts_with('#')) continue;
        if (line.starts_with("reply ")) {
            replies[std::stoi(line.substr(6), nullptr, 16)] = Bytes(line.substr(line.find('=') + 2));
            continue;
        }
        if (std::string more; scripts.peek() == ' ' && std::getline(scripts, more)) line += more.substr(3);
        const std::size_t bar = line.find(" | "), checks = line.rfind(" | ");
        ASSERT_LT(bar, checks) << line;
        const std::string script = line.substr(bar + 3, checks - bar - 3);
        Bench b;
        RunScript(b, script);
        made += line.substr(0, bar) + "\n    " + script + "\n    -> " + Summary(b, line.substr(checks + 3)) + "\n";
    }
    test::ExpectGolden("session_summaries.txt", made);
}

// Runs session_clock_scripts.txt: the link health pane on a clock the script
// moves, each line repeated in session_clock_transcript.txt with what it
// gave. It guards the pane's rate, garble, silence (the plot veiled under
// them) and drops (each time limit to the millisecond), its count from the
// port's own open and how long a lost port has been away.
TEST(LinkHealth, PaneOverTime)
{
    std::ifstream script(std::string(TOLVANE_TEST_DATA) + "/golden/session_clock_scripts.txt");
    ASSERT_TRUE(script);
    LinkHealth health;
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
        if (verb == "open") {
            const int rate = static_cast<int>(number());
            health.Opened(rate, number());
        }
        else if (verb == "closed") health.Closed();
        else if (verb == "lost") health.Lost(number());
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
        made += line + (out.str().empty() ? "" : " -> " + out.str()) + "\n";
    }
    test::ExpectGolden("session_clock_transcript.txt", made);
}

} // namespace
} // namespace tolvane
