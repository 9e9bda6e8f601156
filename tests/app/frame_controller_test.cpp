// The frame's dispatch and commands against a fake window: what goes out,
// which timers run, what the user is asked, and what the view receives.
#include "app/frame_controller.h"

#include "protocol/requests.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tolvane {
namespace {

struct FakeHost : FrameHost {
    int port = 1;
    int reopenResult = 1;
    std::vector<OutgoingRequest> sent;
    bool replyTimer = false;
    int holdoffStarts = 0;
    std::vector<DeviceMessage> viewed;
    std::vector<DeviceMessage> toDialogs;
    int identityChanges = 0;
    std::vector<std::string> asked;
    bool answerRetry = false;
    std::function<void()> whileAsking; // runs inside the question's nested loop
    int incompatibleBoxes = 0;
    std::function<void()> whileIncompatible;
    int reopenFailures = 0;
    int showInitializations = 0;
    std::vector<std::int16_t> loggedRolls;
    std::vector<std::uint8_t> shown; // first payload byte of each displayed orientation
    int panelRecreations = 0;
    int panelClears = 0;

    int PortNumber() const override { return port; }
    int ReopenPort(int, int) override { return reopenResult; }
    void Send(const OutgoingRequest& r) override
    {
        if (port != -1) sent.push_back(r);
    }
    void StartReplyTimer() override { replyTimer = true; }
    void StopReplyTimer() override { replyTimer = false; }
    void StartHoldoffTimer() override { ++holdoffStarts; }
    void AddToView(const DeviceMessage& m) override { viewed.push_back(m); }
    void IdentityChanged() override { ++identityChanges; }
    void CommandStateChanged() override {}
    bool AskRetry(const std::string& name) override
    {
        asked.push_back(name);
        if (whileAsking) std::exchange(whileAsking, nullptr)();
        return answerRetry;
    }
    void ShowIncompatible() override
    {
        ++incompatibleBoxes;
        if (whileIncompatible) std::exchange(whileIncompatible, nullptr)();
    }
    void ShowReopenFailed() override { ++reopenFailures; }
    void PostShowInitializations() override { ++showInitializations; }
    void HandToDialogs(const DeviceMessage& m) override { toDialogs.push_back(m); }
    void LogOrientation(std::int16_t roll, std::int16_t, std::uint16_t) override { loggedRolls.push_back(roll); }
    void ShowOrientation(const DeviceMessage& m) override { shown.push_back(m.payload[0]); }
    void RecreatePanel() override { ++panelRecreations; }
    void ClearPanel() override { ++panelClears; }

    std::vector<std::uint16_t> SentTypes() const
    {
        std::vector<std::uint16_t> types;
        for (const auto& r : sent) types.push_back(r.type);
        return types;
    }
};

DeviceMessage Msg(std::uint16_t type, std::vector<std::uint8_t> payload)
{
    DeviceMessage m;
    m.type = type;
    m.length = static_cast<std::uint16_t>(payload.size());
    std::copy(payload.begin(), payload.end(), m.payload);
    return m;
}

// Version 1.4, options A and I, serial 1234, up Z, forward -X.
DeviceMessage Identity() { return Msg(0xC3, {1, 0, 4, 0, 0x01, 0x01, 0xD2, 0x04, 0, 0, 3, 0xFF}); }
DeviceMessage Offsets(std::size_t length = 7)
{
    std::vector<std::uint8_t> p{0, 0x77, 0x07, 0x4A, 0xFF, 0x00, 0x20, 0x11};
    p.resize(length);
    return Msg(0x50, p);
}
DeviceMessage Declination() { return Msg(0x54, {0, 0x10, 0xF5}); }
DeviceMessage Rate(std::size_t length = 2)
{
    std::vector<std::uint8_t> p{0x64, 0x00, 0x00};
    p.resize(length);
    return Msg(0x7F, p);
}
DeviceMessage Orientation(std::uint8_t tag) { return Msg(0x70, {tag, 0, 2, 0, 3, 0}); }

TEST(FrameDispatch, IdentityReplyStartsTheOffsetsAndDeclinationChain)
{
    FakeHost host;
    FrameController frame(host);
    frame.RequestIdentity();
    ASSERT_EQ(host.SentTypes(), (std::vector<std::uint16_t>{0xC3}));
    EXPECT_FALSE(host.replyTimer);

    frame.OnDeviceMessage(Identity());
    EXPECT_TRUE(frame.VersionKnown());
    EXPECT_EQ(frame.Identity().serialNumber, 1234u);
    EXPECT_EQ(host.identityChanges, 1);
    EXPECT_EQ(host.panelRecreations, 1);
    frame.OnDeviceMessage(Offsets());
    EXPECT_EQ(host.SentTypes(), (std::vector<std::uint16_t>{0xC3, 0x50, 0x54}));
    EXPECT_EQ(host.sent[1].length, 7);
    EXPECT_EQ(host.sent[2].length, 3);
    EXPECT_EQ(frame.PendingRequest().type, 0x54);
    frame.OnDeviceMessage(Declination());
    EXPECT_EQ(frame.PendingRequest().type, kNoReplyAwaited);
    EXPECT_EQ(host.viewed.size(), 3u);
    // The offsets and declination replies go on to a registered dialog.
    EXPECT_EQ(host.toDialogs.size(), 2u);
}

TEST(FrameDispatch, NoPortSendsNothingAtStartUp)
{
    FakeHost host;
    host.port = -1;
    FrameController frame(host);
    frame.RequestIdentity();
    EXPECT_TRUE(host.sent.empty());
}

TEST(FrameDispatch, PowerUpForgetsTheVersionAndAsksAgain)
{
    FakeHost host;
    FrameController frame(host);
    frame.OnDeviceMessage(Identity());
    const int changes = host.identityChanges;
    frame.OnDeviceMessage(Msg(0x44, {'u', 'p', 0}));
    EXPECT_FALSE(frame.VersionKnown());
    EXPECT_EQ(host.identityChanges, changes); // the title waits for the reply
    EXPECT_EQ(host.sent.back().type, 0xC3);
    EXPECT_FALSE(host.replyTimer);
}

TEST(FrameSupervision, SilentSerialNumberAsksAndRetryResendsTheSameBytes)
{
    FakeHost host;
    FrameController frame(host);
    frame.SerialNo();
    ASSERT_TRUE(host.replyTimer);
    host.answerRetry = true;
    frame.OnReplyTimeout();
    EXPECT_EQ(host.asked, (std::vector<std::string>{"serial number"}));
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[1].type, host.sent[0].type);
    EXPECT_EQ(host.sent[1].length, host.sent[0].length);
    EXPECT_TRUE(host.replyTimer);

    host.answerRetry = false;
    frame.OnReplyTimeout();
    EXPECT_EQ(host.sent.size(), 2u);
    EXPECT_FALSE(frame.VersionKnown());
    EXPECT_EQ(frame.PendingRequest().type, kNoReplyAwaited);
    EXPECT_GE(host.identityChanges, 1);
}

TEST(FrameSupervision, RetryAfterALateReplySendsNothing)
{
    FakeHost host;
    FrameController frame(host);
    frame.SelfTest();
    host.answerRetry = true;
    host.whileAsking = [&] { frame.OnDeviceMessage(Msg(0x48, {0, 0})); };
    frame.OnReplyTimeout();
    EXPECT_EQ(host.sent.size(), 1u); // no frame of type 0xFF, nor a second self test
    EXPECT_FALSE(host.replyTimer);
}

TEST(FrameSupervision, UnsupervisedSendReplacesTheAwaitedReply)
{
    FakeHost host;
    FrameController frame(host);
    frame.SelfTest();
    frame.OnDeviceMessage(Identity()); // its offsets request is now awaited
    frame.OnDeviceMessage(Msg(0x48, {0, 0}));
    EXPECT_TRUE(host.replyTimer);
    frame.OnDeviceMessage(Offsets());
    EXPECT_FALSE(host.replyTimer);
}

TEST(FrameInitialize, CompleteSequenceGathersTheValues)
{
    FakeHost host;
    FrameController frame(host);
    frame.Initialize();
    EXPECT_EQ(frame.RequestName(), "current offsets");
    frame.OnDeviceMessage(Offsets());
    EXPECT_EQ(frame.RequestName(), "declination");
    // The supervised declination request, then the dispatch's own.
    EXPECT_EQ(host.SentTypes(), (std::vector<std::uint16_t>{0x50, 0x54, 0x54}));
    EXPECT_TRUE(host.replyTimer);
    frame.OnDeviceMessage(Declination());
    EXPECT_EQ(frame.RequestName(), "orient message rate");
    EXPECT_EQ(host.sent.back().payload[0], 0xFF);
    frame.OnDeviceMessage(Declination()); // the second reply only shows
    EXPECT_EQ(frame.PendingRequest().type, 0x7F);
    frame.OnDeviceMessage(Rate());
    EXPECT_EQ(host.showInitializations, 1);
    EXPECT_FALSE(frame.InitializeActive());
    EXPECT_FALSE(host.replyTimer);
    const InitialValues& v = frame.Initial();
    EXPECT_EQ(v.bodyOffset, 1911);
    EXPECT_EQ(v.rollOffset, -182);
    EXPECT_EQ(v.pitchOffset, 8192);
    EXPECT_EQ(v.declination, static_cast<std::int16_t>(0xF510));
    EXPECT_EQ(v.interval, 100);
}

TEST(FrameInitialize, IncompatibleLengthsEndTheSequence)
{
    for (int which = 0; which < 3; ++which) {
        FakeHost host;
        FrameController frame(host);
        frame.Initialize();
        if (which == 0) {
            frame.OnDeviceMessage(Offsets(6));
        } else {
            frame.OnDeviceMessage(Offsets());
            frame.OnDeviceMessage(Declination());
            frame.OnDeviceMessage(Rate(which == 1 ? 3 : 1));
        }
        EXPECT_EQ(host.incompatibleBoxes, 1) << which;
        EXPECT_FALSE(frame.InitializeActive()) << which;
        EXPECT_EQ(host.showInitializations, 0) << which;
    }
}

TEST(FrameInitialize, DispatchInterruptedByTheBoxFinishesWithItsOwnMessage)
{
    FakeHost host;
    FrameController frame(host);
    frame.Initialize();
    // While the incompatibility box is open, an orientation message arrives.
    host.whileIncompatible = [&] { frame.OnDeviceMessage(Orientation(9)); };
    frame.OnDeviceMessage(Offsets(8));
    ASSERT_EQ(host.viewed.size(), 2u);
    EXPECT_EQ(host.viewed[0].type, 0x70);
    EXPECT_EQ(host.viewed[1].type, 0x50); // not the orientation message again
    EXPECT_EQ(host.sent.back().type, 0x54); // the offsets reply's own follow-up
}

TEST(FrameInitialize, CancelledTimeoutEndsTheSequence)
{
    FakeHost host;
    FrameController frame(host);
    frame.Initialize();
    frame.OnDeviceMessage(Offsets());
    frame.OnReplyTimeout(); // no declination reply; Cancel
    EXPECT_EQ(host.asked, (std::vector<std::string>{"declination"}));
    EXPECT_FALSE(frame.InitializeActive());
    frame.OnDeviceMessage(Declination());
    frame.OnDeviceMessage(Rate());
    EXPECT_EQ(host.showInitializations, 0);
}

TEST(FrameDispatch, OrientationHoldOffShowsOneInEightyMilliseconds)
{
    FakeHost host;
    FrameController frame(host);
    frame.OnDeviceMessage(Orientation(1));
    frame.OnDeviceMessage(Orientation(2)); // 20 ms later, within the hold-off
    ASSERT_EQ(host.viewed.size(), 1u);
    EXPECT_EQ(host.viewed[0].payload[0], 1);
    EXPECT_EQ(host.shown, (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(host.loggedRolls, (std::vector<std::int16_t>{1, 2})); // the log saw both
    EXPECT_EQ(host.holdoffStarts, 1);
    frame.OnHoldoffTimeout();
    frame.OnDeviceMessage(Orientation(3));
    EXPECT_EQ(host.viewed.size(), 2u);
    EXPECT_EQ(host.shown, (std::vector<std::uint8_t>{1, 3}));
    // Other types are never held off.
    frame.OnDeviceMessage(Msg(0x20, {'$', '*', '0', '0'}));
    EXPECT_EQ(host.viewed.size(), 3u);
}

TEST(FrameCommands, CompensateStatusAsksForParametersOnlyWithOptionI)
{
    FakeHost host;
    FrameController frame(host);
    frame.CompensateStatus();
    EXPECT_EQ(host.SentTypes(), (std::vector<std::uint16_t>{0x72}));
    frame.OnDeviceMessage(Identity()); // options A and I
    host.sent.clear();
    frame.CompensateStatus();
    EXPECT_EQ(host.SentTypes(), (std::vector<std::uint16_t>{0x72, 0x67}));
    EXPECT_EQ(host.sent[0].payload[0], 2);

    frame.compensationActive = true;
    frame.CompensateAbort();
    EXPECT_EQ(host.sent.back().payload[0], 3);
    EXPECT_FALSE(frame.compensationActive);
}

TEST(FrameCommands, ResetForgetsTheVersionUnsupervised)
{
    FakeHost host;
    FrameController frame(host);
    frame.OnDeviceMessage(Identity());
    frame.ResetModule();
    EXPECT_EQ(host.sent.back().type, 0x42);
    EXPECT_FALSE(host.replyTimer);
    EXPECT_FALSE(frame.VersionKnown());
    EXPECT_EQ(host.panelClears, 1);
}

TEST(FrameCommands, BaudRateChange)
{
    FakeHost host;
    FrameController frame(host);
    frame.SetBaudRate(9600); // already in force
    frame.SetBaudRate(38400);
    EXPECT_EQ(frame.BaudRate(), 38400);
    EXPECT_EQ(host.reopenFailures, 0);
    host.reopenResult = -1;
    frame.SetBaudRate(4800);
    EXPECT_EQ(host.reopenFailures, 1);
    host.port = -1;
    frame.SetBaudRate(19200); // no port: only the rate moves
    EXPECT_EQ(host.reopenFailures, 1);
    EXPECT_EQ(frame.BaudRate(), 19200);
    EXPECT_TRUE(host.sent.empty());
}

TEST(ModuleIdentityText, TitleAndVersionPane)
{
    ModuleIdentity id;
    EXPECT_EQ(WindowTitle(false, id), "Tolvane --- Serial number unknown");
    EXPECT_EQ(VersionPaneText(false, id), " No version information available");
    id = ModuleIdentity::FromPayload(std::vector<std::uint8_t>{1, 0, 4, 0, 0x05, 0, 0xD2, 0x04, 0, 0, 3, 0xFF}.data());
    EXPECT_EQ(WindowTitle(true, id), "Tolvane --- Serial number 1234");
    EXPECT_EQ(VersionPaneText(true, id), " Version=1.04  Build Opts=AC  Fwd=-X  Up=Z");
    id = ModuleIdentity::FromPayload(std::vector<std::uint8_t>{2, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 4}.data());
    EXPECT_EQ(WindowTitle(true, id), "Tolvane --- Serial number unassigned");
    EXPECT_EQ(VersionPaneText(true, id), " Version=2.10  Build Opts=None  Fwd=?  Up=?");
    id = ModuleIdentity::FromPayload(std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2}.data());
    EXPECT_EQ(WindowTitle(true, id), "Tolvane --- Serial number 4294967295"); // printed unsigned
    EXPECT_EQ(VersionPaneText(true, id), " Version=0.00  Build Opts=P  Fwd=Y  Up=X");
}

} // namespace
} // namespace tolvane
