#include "logging/log_message_effects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "log_test_support.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

using namespace log_test;

// A message whose payload holds `value` (s16) at offset 1, or `bytes`.
DeviceMessage Message(std::uint8_t type, std::uint16_t length, std::int16_t value = 0, const char* bytes = nullptr)
{
    DeviceMessage m;
    m.type = type;
    m.length = length;
    if (bytes != nullptr) {
        std::memcpy(m.payload, bytes, length);
    } else {
        m.payload[1] = static_cast<std::uint8_t>(value & 0xFF);
        m.payload[2] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    return m;
}

bool Same(const OutgoingRequest& a, const OutgoingRequest& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const DeviceMessage kDrmc = Message('q', 24);
const DeviceMessage kDpower = Message('D', 6, 0, "Power");
const DeviceMessage kDbug = Message('~', 6, 0, "\0A\5\0\xFE\xFF");
DeviceMessage Dinical(std::int16_t body) { return Message('P', 7, body); }
DeviceMessage Dimvar(std::int16_t declination) { return Message('T', 3, declination); }

class LogMessageEffectsTest : public ::testing::Test {
protected:
    // As the message view shows a message: render, then the effects.
    void Show(const DeviceMessage& message)
    {
        StatusLine line;
        ASSERT_TRUE(RenderMessage(message, line));
        ApplyMessageEffects(message, line, effects);
    }
    void Open() { ASSERT_TRUE(log.OpenPath(dir / "effects.dta", false)); }
    std::string Written() const { return ReadFile(dir / "effects.dta"); }

    ScratchFolder dir;
    LogFile log{"/nowhere", FixedNow};
    std::vector<OutgoingRequest> sent;
    LogMessageEffects effects{log, [this](const OutgoingRequest& r) { sent.push_back(r); }};
};

TEST_F(LogMessageEffectsTest, PowerUpRepeatsTheHeaderBeforeTheNextRecord)
{
    Open();
    log.WriteRecord();
    Show(kDpower);
    log.WriteRecord();
    EXPECT_EQ(Written(), std::string(kSection) + kHeader + kZeroRecord + "\r\n" + kHeader + kZeroRecord);
}

TEST_F(LogMessageEffectsTest, FixStartsTheChainThatEndsInARecord)
{
    Open();
    Show(kDrmc);
    Show(Dinical(2048));
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(Same(sent[0], OffsetsReadRequest()));
    EXPECT_TRUE(Same(sent[1], DeclinationReadRequest()));
    Show(Dimvar(-91));
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(Written(), std::string(kSection) + kHeader + " 3:58:29    0.0     0.0     0.0    11.2    -0.5\r\n");
}

TEST_F(LogMessageEffectsTest, WhileNotLoggingOnlyTheFieldsChange)
{
    for (const DeviceMessage& m : {kDpower, kDrmc, Dinical(-2048), Dimvar(2276), kDbug}) Show(m);
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(log.headerPending);
    EXPECT_EQ(Written(), "<missing>");
    // The first record of the next log carries the latest values.
    Open();
    log.WriteRecord();
    EXPECT_EQ(Written(), std::string(kSection) + kHeader + " 3:58:29    0.0     0.0     0.0   -11.2    12.5\r\n");
}

TEST_F(LogMessageEffectsTest, DebugTextGoesToTheLog)
{
    Open();
    Show(kDbug);
    EXPECT_EQ(Written(), std::string(kSection) + "Type=A   5(0005)  -2(FFFE)\r\n");
}

} // namespace
} // namespace tolvane
