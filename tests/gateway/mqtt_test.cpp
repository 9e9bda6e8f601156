// The broker's payloads, the decimation and the retries, then the
// publisher against a real mosquitto on loopback.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

#include "gateway/mqtt_payloads.h"
#include "gateway/mqtt_publisher.h"
#include "link/clock.h"
#include "support/mosquitto_broker.h"
#include "support/sim_process.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

DeviceMessage OrientationAt(std::int64_t ms, std::uint16_t azimuth, std::int16_t pitch = 0, std::int16_t roll = 0)
{
    DeviceMessage m = EncodeAs<DeviceMessage>(Orientation{.roll = roll, .pitch = pitch, .azimuth = azimuth});
    m.timestamp = ms;
    return m;
}

TEST(MqttPayloads, TimesAndJson)
{
    const std::int64_t t = 1796647510250; // 2026-12-07 12:45:10.250 UTC
    const std::pair<std::string, std::string> cases[] = {
        {IsoLocalTime(t, 3600), "2026-12-07T13:45:10.250+01:00"},
        {IsoLocalTime(t, -12600), "2026-12-07T09:15:10.250-03:30"},
        {IsoLocalTime(t + 49 * 60000, 20700), "2026-12-07T19:19:10.250+05:45"},
        {IsoLocalTime(-1, 0), "1969-12-31T23:59:59.999+00:00"},
        // 359.99 degrees reads as north, 359.91 does not; -218 and 455 counts are -1.197 and 2.499 degrees.
        {OrientationPayload({.roll = 455, .pitch = -218, .azimuth = 65535}, "T"),
         R"({"time":"T","azimuth":0.0,"pitch":-1.2,"roll":2.5})"},
        {OrientationPayload({.azimuth = 65520}, "T"), R"({"time":"T","azimuth":359.9,"pitch":0.0,"roll":0.0})"},
        {*MessagePayload(OrientationAt(0, 16384, 0, -16384), "T"),
         R"({"time":"T","type":"DORIENT","text":"Roll=-90.0  Pitch=0.0  Azimuth=90.0"})"},
        {IdentityPayload({.versionMajor = 1, .versionMinor = 4, .buildOptions = 0x101, .serialNumber = 24601,
                          .upAxis = 3, .forwardAxis = -1}),
         R"({"serial":24601,"version":"1.04","build_options":"AI","forward":"-X","up":"Z"})"},
    };
    for (const auto& [made, expected] : cases) EXPECT_EQ(made, expected);
    EXPECT_FALSE(MessagePayload(DeviceMessage{.type = 0x45}, "T"));
}

TEST(MqttPublisher, DecimationKeepsTheLatestOfEachIntervalAndRetriesBackOff)
{
    OrientationDecimator every(0), tenth(100);
    EXPECT_EQ(every.Offer({OrientationAt(5, 1)})->message.timestamp, 5);
    // (offered at, or flushed at with -1 before it) -> timestamp sent, -1 none.
    const std::pair<std::int64_t, std::int64_t> steps[] = {{0, -1},    {50, -1},   {99, -1},   {100, 99}, {-150, -1},
                                                           {-200, 100}, {-900, -1}, {250, -1}, {-299, -1}, {350, 250}};
    for (const auto& [at, sent] : steps) {
        const auto out = at >= 0 ? tenth.Offer({OrientationAt(at, 0)}) : tenth.Flush(-at);
        EXPECT_EQ(out ? out->message.timestamp : -1, sent) << at;
    }
    const std::pair<int, std::int64_t> delays[] = {{0, 1000}, {1, 2000}, {4, 16000}, {5, 30000}, {60, 30000}};
    for (const auto& [tries, ms] : delays) EXPECT_EQ(MqttRetryDelayMs(tries), ms) << tries;
}

struct BrokerTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(broker.Start()) << "mosquitto did not start"; }

    MqttConfig Config(int port, bool tls = true) const
    {
        return {.tls = tls, .host = "127.0.0.1", .port = static_cast<std::uint16_t>(port), .username = kBrokerUser,
                .password = kBrokerPassword, .caFile = tls ? broker.File("ca.pem") : ""};
    }
    std::vector<std::string> Errors()
    {
        std::lock_guard lock(mutex);
        return errors;
    }
    MqttPublisher::ErrorSink Sink()
    {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex);
            errors.push_back(line);
        };
    }

    test::TempDir dir;
    MosquittoBroker broker{dir.path.string()};
    std::mutex mutex;
    std::vector<std::string> errors;
};

// Over TLS: every orientation in order with its values, every message,
// identity and status retained, closed at a clean stop; decimated, the
// latest of each tenth of a second.
TEST_F(BrokerTest, EveryMessageInOrderThenDecimated)
{
    for (const double rate : {0.0, 10.0}) {
        const auto sub = broker.Subscribe({"tolvane/#"}, dir / "sub.txt");
        MqttConfig config = Config(broker.TlsPort());
        config.orientationRate = rate;
        MqttPublisher publisher(config, {"bow"}, Sink());
        std::string error;
        ASSERT_TRUE(publisher.Start(error)) << error;
        publisher.SetIdentity(0, {.versionMajor = 1, .versionMinor = 4, .serialNumber = 24601});
        publisher.SetStatus(0, {.module = "bow", .state = ModuleState::Open});
        ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 1; }, std::chrono::seconds(10)));
        std::vector<std::string> expected;
        // Times ahead of the link's clock: the decimation's interval never ends before the stop.
        for (int i = 0; i < 2000; ++i) {
            const DeviceMessage m = OrientationAt(NowMs() / 100 * 100 + 100000 + i * 10, static_cast<std::uint16_t>(i * 33),
                                                    static_cast<std::int16_t>(-i), static_cast<std::int16_t>(i));
            publisher.Offer(0, m, 0);
            if (rate == 0 || i % 10 == 9) expected.push_back(OrientationPayload(Decode<Orientation>(m), IsoLocalTime(0)));
        }
        publisher.Stop();
        EXPECT_EQ(publisher.Dropped(0), 0u);
        // The messages, the identity and at least the closing status.
        EXPECT_TRUE(test::WaitFor([&] { return MessageLines(dir / "sub.txt").size() >= expected.size() + 2002; },
                                  std::chrono::seconds(20)));
        sub->Stop();
        std::vector<std::string> orientations, messages, status;
        for (const std::string& line : MessageLines(dir / "sub.txt")) {
            const std::string topic = line.substr(0, line.find(' ')), payload = line.substr(topic.size() + 1);
            (topic == "tolvane/bow/orientation" ? orientations : topic == "tolvane/bow/message" ? messages : status)
                .push_back(payload);
        }
        EXPECT_EQ(orientations, expected);
        EXPECT_EQ(messages.size(), 2000u);
        ASSERT_FALSE(status.empty());
        EXPECT_NE(status.back().find(R"("state":"closed")"), std::string::npos) << status.back();
        EXPECT_TRUE(Errors().empty());
    }
    const auto retained = broker.Subscribe({"tolvane/bow/identity", "tolvane/bow/status"}, dir / "r.txt", 2);
    EXPECT_EQ(retained->Stop(0), 0);
    const auto lines = MessageLines(dir / "r.txt");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "tolvane/bow/identity " + IdentityPayload({.versionMajor = 1, .versionMinor = 4,
                                                                     .serialNumber = 24601}));
    EXPECT_NE(lines[1].find(R"("state":"closed")"), std::string::npos) << lines[1];
}

// The broker killed and started again: the queue keeps the newest and
// counts what it let go, publishing resumes, identity and status come
// back retained.
TEST_F(BrokerTest, BrokerLostAndBack)
{
    MqttPublisher publisher(Config(broker.Port(), false), {"bow"}, Sink(), 300);
    std::string error;
    ASSERT_TRUE(publisher.Start(error)) << error;
    publisher.SetIdentity(0, {.serialNumber = 24601});
    publisher.SetStatus(0, {.module = "bow", .state = ModuleState::Open});
    ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 1; }, std::chrono::seconds(10)));
    int sent = 0;
    const auto offer = [&](int n) {
        for (int end = sent + n; sent < end; ++sent) {
            publisher.Offer(0, OrientationAt(sent, static_cast<std::uint16_t>(sent)), 0);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    };
    offer(500);
    broker.Kill();
    ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 0; }, std::chrono::seconds(10)));
    offer(1000);
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 1; }, std::chrono::seconds(20)));
    const auto retained = broker.Subscribe({"tolvane/bow/identity", "tolvane/bow/status"}, dir / "r.txt", 2);
    EXPECT_EQ(retained->Stop(0), 0);
    EXPECT_EQ(MessageLines(dir / "r.txt").size(), 2u);
    const auto sub = broker.Subscribe({"tolvane/bow/orientation"}, dir / "sub.txt");
    offer(100);
    publisher.Stop();
    sub->Stop();
    EXPECT_EQ(MessageLines(dir / "sub.txt").back(),
              "tolvane/bow/orientation " + OrientationPayload({.azimuth = 1599}, IsoLocalTime(0)));
    EXPECT_GE(publisher.Dropped(0), 700u);
    const auto said = Errors();
    ASSERT_GE(said.size(), 2u);
    EXPECT_NE(said.front().find("mqtt bow (127.0.0.1:" + std::to_string(broker.Port()) + "): "), std::string::npos);
    EXPECT_EQ(said.back().substr(said.back().size() - 15), "connected again");

}

// Each refusal is said, and the publisher keeps trying without blocking anyone.
TEST_F(BrokerTest, Refusals)
{
    MqttConfig wrongPassword = Config(broker.Port(), false), otherName = Config(broker.WrongNamePort()),
               unknownCa = Config(broker.TlsPort());
    wrongPassword.password = "guess";
    unknownCa.caFile = broker.File("other-ca.pem");
    const std::pair<MqttConfig, std::string> cases[] = {
        {wrongPassword, "not authorised"},
        {otherName, "certificate verify failed"},
        {unknownCa, "certificate verify failed"},
    };
    for (const auto& [config, why] : cases) {
        errors.clear();
        MqttPublisher publisher(config, {"bow"}, Sink());
        std::string error;
        ASSERT_TRUE(publisher.Start(error)) << error;
        ASSERT_TRUE(test::WaitFor([&] { return !Errors().empty(); }, std::chrono::seconds(10))) << why;
        EXPECT_NE(Errors().front().find(why), std::string::npos) << Errors().front();
        publisher.Offer(0, OrientationAt(0, 0), 0);
        EXPECT_EQ(publisher.Connected(), 0u);
    }
}

// The gateway on the simulator, killed: its last will. A password in
// plain text to another computer is refused at start (out of reach of
// any network, under unshare -n), and allowed when allow-plaintext says so.
TEST_F(BrokerTest, GatewayWillAndPlaintextRefusal)
{
    std::ofstream(dir / "pw") << kBrokerPassword << "\n";
    const auto write = [&](const std::string& url, const std::string& extra) {
        std::ofstream(dir / "gw.conf") << "[module bow]\nsource = " << (dir / "compass") << "\n[mqtt]\nurl = " << url
                                       << "\nusername = fleet\npassword-file = " << (dir / "pw") << "\n" << extra;
    };
    SimProcess sim(TOLVANE_SIM_PATH, {"--link", dir / "compass"});
    ASSERT_FALSE(sim.Output().empty());
    write("mqtt://127.0.0.1:" + std::to_string(broker.Port()), "");
    const auto sub = broker.Subscribe({"tolvane/bow/status"}, dir / "s.txt");
    SimProcess gateway(TOLVANE_GATEWAY_PATH, {"--config", dir / "gw.conf"});
    ASSERT_TRUE(test::WaitFor([&] { return test::S(test::ReadBytes(dir / "s.txt")).find("24601") != std::string::npos; },
                              std::chrono::seconds(20)));
    EXPECT_EQ(gateway.Stop(SIGKILL), -1);
    EXPECT_TRUE(test::WaitFor([&] { return MessageLines(dir / "s.txt").back().ends_with(R"({"state":"offline"})"); },
                              std::chrono::seconds(10)));
    for (const std::string extra : {"", "allow-plaintext = yes"}) {
        write("mqtt://10.0.0.5", extra);
        SimProcess isolated("/usr/bin/unshare", {"-n", TOLVANE_GATEWAY_PATH, "--config", dir / "gw.conf"}, {}, 2);
        EXPECT_EQ(isolated.Output(), extra.empty() ? "tolvane-gateway: [mqtt]: the password would cross the network "
                                                     "unencrypted to 10.0.0.5 (mqtt://); use mqtts://, or allow-plaintext = yes"
                                                   : "tolvane-gateway: mqtt bow (10.0.0.5:1883): Network is unreachable");
        EXPECT_EQ(isolated.Stop(extra.empty() ? 0 : SIGTERM), extra.empty() ? 2 : 0);
    }
}

} // namespace
} // namespace tolvane
