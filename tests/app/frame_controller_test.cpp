// The frame's dispatch and commands against a fake window: what goes out,
// which timers run, what the user is asked, and what the view receives.
#include "app/frame_controller.h"

#include "protocol/requests.h"

#include <gtest/gtest.h>

#include <functional>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

// Records what the frame makes the window do. Sends are kept even without
// a port: dropping them is the link's business, not the frame's.
struct FakeHost : FrameHost {
    int port = 1;
    int reopenResult = 1;
    bool replyTimer = false;
    bool answerRetry = false;
    std::function<void()> whileAsking; // runs inside the question's nested loop
    std::function<void()> whileIncompatible;
    std::map<std::string, std::vector<int>> seen; // "sent", "viewed", ... in order
    std::map<std::string, int> calls;

    int PortNumber() const override { return port; }
    int ReopenPort(int, int) override { return reopenResult; }
    void Send(const OutgoingRequest& r) override { seen["sent"].push_back(r.type); }
    void StartReplyTimer() override { replyTimer = true; }
    void StopReplyTimer() override { replyTimer = false; }
    void StartHoldoffTimer() override { ++calls["holdoff"]; }
    void AddToView(const DeviceMessage& m) override { seen["viewed"].push_back(m.type); }
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
    void HandToDialogs(const DeviceMessage& m) override { seen["dialogs"].push_back(m.type); }
    void LogOrientation(std::int16_t roll, std::int16_t, std::uint16_t) override { seen["logged"].push_back(roll); }
    void ShowOrientation(const DeviceMessage& m) override { seen["shown"].push_back(m.payload[0]); }
    void RecreatePanel() override { ++calls["panel anew"]; }
    void ClearPanel() override { ++calls["panel cleared"]; }
};

DeviceMessage Msg(std::uint16_t type, std::vector<std::uint8_t> payload)
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
    {0x50, {0, 0x77, 0x07, 0x4A, 0xFF, 0x00, 0x20, 0x11}},
    {0x54, {0, 0x10, 0xF5}},
    {0x7F, {0x64, 0x00, 0x00}},
    {0x44, {'u', 'p', 0}},
    {0x48, {0, 0}},
    {0x70, {0, 0, 2, 0, 3, 0}},
    {0x20, {'$', '*', '0', '0'}},
};
const std::map<int, int> kReplyLengths = {{0x50, 7}, {0x7F, 2}};

// Runs a script of words: commands, "timeout" (answered Cancel, or Retry
// with "timeout+retry"), "holdoff", "compensating", settings as "port=-1",
// "reopen=-1" and "baud=4800", and replies by type in hex, as "50", "50/6"
// (payload length 6) or "70:9" (first payload byte 9). "ask>48" and
// "box>70:9" deliver a message while the next question or box is open.
void RunScript(FakeHost& host, FrameController& frame, const std::string& script)
{
    std::istringstream words(script);
    for (std::string w; words >> w;) {
        const std::string arg = w.substr(w.find_first_of("=>+:/") + 1);
        if (w == "identify") frame.RequestIdentity();
        else if (w == "serial") frame.SerialNo();
        else if (w == "init") frame.Initialize();
        else if (w == "reset") frame.ResetModule();
        else if (w == "selftest") frame.SelfTest();
        else if (w == "status") frame.CompensateStatus();
        else if (w == "abort") frame.CompensateAbort();
        else if (w == "compensating") frame.compensationActive = true;
        else if (w == "holdoff") frame.OnHoldoffTimeout();
        else if (w.starts_with("timeout")) {
            host.answerRetry = w == "timeout+retry";
            frame.OnReplyTimeout();
        }
        else if (w.starts_with("port=")) host.port = std::stoi(arg);
        else if (w.starts_with("reopen=")) host.reopenResult = std::stoi(arg);
        else if (w.starts_with("baud=")) frame.SetBaudRate(std::stoi(arg));
        else if (w.starts_with("ask>")) host.whileAsking = [&host, &frame, arg] { RunScript(host, frame, arg); };
        else if (w.starts_with("box>")) host.whileIncompatible = [&host, &frame, arg] { RunScript(host, frame, arg); };
        else {
            const int type = std::stoi(w, nullptr, 16);
            std::vector<std::uint8_t> payload = kReplies.at(type);
            payload.resize(w.find('/') != std::string::npos ? std::stoul(arg)
                           : kReplyLengths.count(type)      ? kReplyLengths.at(type)
                                                            : payload.size());
            if (w.find(':') != std::string::npos) payload[0] = static_cast<std::uint8_t>(std::stoi(arg));
            frame.OnDeviceMessage(Msg(static_cast<std::uint16_t>(type), payload));
        }
    }
}

// Everything the window and the frame show after a script, defaults left out.
std::string Summary(const FakeHost& host, const FrameController& frame)
{
    const auto hex = [](int v) {
        char text[8];
        std::snprintf(text, sizeof text, "%X", v);
        return std::string(text);
    };
    std::ostringstream out;
    for (const auto& [what, list] : host.seen) {
        out << what;
        for (int v : list) out << ' ' << (what == "logged" || what == "shown" ? std::to_string(v) : hex(v));
        out << ", ";
    }
    for (const auto& [what, count] : host.calls) out << what << " x" << count << ", ";
    if (host.replyTimer) out << "timer, ";
    if (frame.PendingRequest().type != kNoReplyAwaited) out << "awaits " << hex(frame.PendingRequest().type) << ", ";
    if (frame.VersionKnown()) out << "known " << frame.Identity().serialNumber << ", ";
    if (frame.InitializeActive()) out << "initializing, ";
    if (frame.compensationActive) out << "compensating, ";
    if (frame.BaudRate() != 9600) out << "baud " << frame.BaudRate() << ", ";
    return out.str();
}

TEST(FrameController, ScriptsLeaveTheWindowAndFrameAsExpected)
{
    const struct {
        const char* name;
        const char* script;
        const char* summary;
    } rows[] = {
        {"identity chain: offsets and declination, replies to the dialogs", "identify C3 50 54",
         "dialogs 50 54, sent C3 50 54, viewed C3 50 54, identity x1, panel anew x1, known 1234, "},
        {"no port: nothing asked at start-up", "port=-1 identify", ""},
        {"power-up forgets the version and asks again; the title waits", "C3 44",
         "sent 50 C3, viewed C3 44, identity x1, panel anew x1, awaits C3, "},
        {"silence: Retry resends, Cancel forgets the version", "C3 serial timeout+retry timeout",
         "sent 50 C3 C3, viewed C3, asked serial number x2, identity x2, panel anew x1, "},
        {"Retry after a late reply sends nothing", "selftest ask>48 timeout+retry",
         "dialogs 48, sent 48, viewed 48, asked self test x1, "},
        {"an unsupervised send replaces the awaited reply", "selftest C3 48",
         "dialogs 48, sent 48 50, viewed C3 48, identity x1, panel anew x1, timer, awaits 50, known 1234, "},
        {"... whose reply stops the timer", "selftest C3 48 50",
         "dialogs 48 50, sent 48 50 54, viewed C3 48 50, identity x1, panel anew x1, awaits 54, known 1234, "},
        {"initialize: supervised reads, then the dialog", "init 50 54 54 7F",
         "dialogs 50 54 54 7F, sent 50 54 54 7F, viewed 50 54 54 7F, initializations x1, "},
        {"initialize: offsets unanswered", "init timeout", "sent 50, asked current offsets x1, "},
        {"initialize: declination unanswered, later replies change nothing", "init 50 timeout 54 7F",
         "dialogs 50 54 7F, sent 50 54 54, viewed 50 54 7F, asked declination x1, "},
        {"initialize: rate unanswered", "init 50 54 timeout", "dialogs 50 54, sent 50 54 54 7F, viewed 50 54, "
                                                              "asked orient message rate x1, "},
        {"initialize: offsets of 6 bytes are incompatible", "init 50/6 54 7F",
         "dialogs 50 54 7F, sent 50 54, viewed 50 54 7F, incompatible x1, "},
        {"initialize: a rate of 3 bytes is incompatible", "init 50 54 7F/3",
         "dialogs 50 54 7F, sent 50 54 54 7F, viewed 50 54 7F, incompatible x1, "},
        {"initialize: a rate of 1 byte is incompatible", "init 50 54 7F/1",
         "dialogs 50 54 7F, sent 50 54 54 7F, viewed 50 54 7F, incompatible x1, "},
        {"a dispatch interrupted by the box finishes with its own message", "init box>70:9 50/8",
         "dialogs 70 50, logged 9, sent 50 54, shown 9, viewed 70 50, holdoff x1, incompatible x1, awaits 54, "},
        {"orientation held off for 80 ms, logged always; other types never", "70:1 70:2 holdoff 70:3 20",
         "dialogs 70 70 20, logged 1 2 3, shown 1 3, viewed 70 70 20, holdoff x2, "},
        {"compensation parameters only with option I", "status C3 status",
         "sent 72 50 72 67, viewed C3, identity x1, panel anew x1, awaits 67, known 1234, "},
        {"abort ends the compensation", "compensating abort", "sent 72, awaits 72, "},
        {"reset forgets the version, unsupervised", "C3 reset",
         "sent 50 42, viewed C3, identity x2, panel anew x1, panel cleared x1, awaits 42, "},
        {"baud rate: a failed reopen says so, no port only moves the rate",
         "baud=9600 baud=38400 reopen=-1 baud=4800 port=-1 baud=19200", "reopen failed x1, baud 19200, "},
        {"baud rate: the same rate reopens nothing", "reopen=-1 baud=9600 baud=38400",
         "reopen failed x1, baud 38400, "},
    };
    for (const auto& r : rows) {
        FakeHost host;
        FrameController frame(host);
        RunScript(host, frame, r.script);
        EXPECT_EQ(Summary(host, frame), r.summary) << r.name << ": " << r.script;
    }
}

TEST(FrameController, InitializeGathersTheValues)
{
    FakeHost host;
    FrameController frame(host);
    RunScript(host, frame, "init 50 54 7F");
    const InitialValues& v = frame.Initial();
    EXPECT_EQ(std::vector<int>({v.bodyOffset, v.rollOffset, v.pitchOffset, v.declination, v.interval}),
              std::vector<int>({1911, -182, 8192, static_cast<std::int16_t>(0xF510), 100}));
    EXPECT_EQ(frame.OrientationCount(), 0u);
    RunScript(host, frame, "70:1 70:2");
    EXPECT_EQ(frame.OrientationCount(), 2u);
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
        const ModuleIdentity id = r.payload.empty() ? ModuleIdentity{} : ModuleIdentity::FromPayload(r.payload.data());
        EXPECT_EQ(WindowTitle(!r.payload.empty(), id), std::string("Tolvane --- Serial number ") + r.serial);
        EXPECT_EQ(VersionPaneText(!r.payload.empty(), id), r.pane);
    }
}

} // namespace
} // namespace tolvane
