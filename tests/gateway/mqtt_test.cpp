// The broker's payloads, the decimation and the retries, then the
// publisher and the gateway against a real mosquitto on 127.0.0.1.
#include <arpa/inet.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "gateway/mqtt_payloads.h"
#include "gateway/mqtt_publisher.h"
#include "link/clock.h"
#include "logging/printf_text.h"
#include "protocol/angles.h"
#include "support/ser2net_server.h"
#include "support/sim_process.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

using std::chrono::seconds;

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

    // In this computer's zone a second's text serves its other milliseconds
    // and no other second: here across the change to summer time.
    ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    ::tzset();
    const std::int64_t change = 1772953200000; // 2026-03-08 07:00:00 UTC
    EXPECT_EQ(IsoLocalTime(change - 750), "2026-03-08T01:59:59.250-05:00");
    EXPECT_EQ(IsoLocalTime(change - 1), "2026-03-08T01:59:59.999-05:00");
    EXPECT_EQ(IsoLocalTime(change), "2026-03-08T03:00:00.000-04:00");
    ::unsetenv("TZ");
    ::tzset();
}

TEST(MqttPublisher, DecimationBackOffAndInFlightIds)
{
    OrientationDecimator every(0), tenth(100);
    EXPECT_EQ(every.Offer({OrientationAt(5, 1)})->message.timestamp, 5);
    // The later on the link, the later in the day.
    EXPECT_NEAR(static_cast<double>(WallMsAt(NowMs()) - WallMsAt(NowMs() - 5000)), 5000, 1000);
    // (offered at, or flushed at with -1 before it) -> timestamp sent, -1 none.
    const std::pair<std::int64_t, std::int64_t> steps[] = {{0, -1},    {50, -1},   {99, -1},   {100, 99}, {-150, -1},
                                                           {-200, 100}, {-900, -1}, {250, -1}, {-299, -1}, {350, 250}};
    for (const auto& [at, sent] : steps) {
        const auto out = at >= 0 ? tenth.Offer({OrientationAt(at, 0)}) : tenth.Flush(-at);
        EXPECT_EQ(out ? out->message.timestamp : -1, sent) << at;
    }
    const std::pair<int, std::int64_t> delays[] = {{0, 1000}, {1, 2000}, {4, 16000}, {5, 30000}, {60, 30000}};
    for (const auto& [tries, ms] : delays) EXPECT_EQ(MqttRetryDelayMs(tries), ms) << tries;

    // Awaited once however often given; a QoS 0 id or one out of range is never awaited.
    MqttInFlightIds ids;
    for (const int mid : {3, 65535, 3, 0, 65536}) ids.Insert(mid);
    EXPECT_EQ(ids.Count(), 2u);
    EXPECT_FALSE(ids.Erase(4));
    EXPECT_TRUE(ids.Erase(3));
    EXPECT_FALSE(ids.Erase(3));
    ids.Clear();
    EXPECT_EQ(ids.Count(), 0u);
    EXPECT_FALSE(ids.Erase(65535));
}

// mosquitto with user "fleet" in a password file, a plain listener, and
// TLS listeners with certificates for 127.0.0.1 ("good") and for another
// name ("wrong"), signed by a CA made here; "other-ca" signed nothing.
struct BrokerTest : ::testing::Test {
    void SetUp() override
    {
        const std::string script = "cd '" + dir.path.string() + "' && exec >openssl.log 2>&1 && "
            "for ca in ca other-ca; do openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
            "-keyout $ca.key -out $ca.pem -days 2 -subj /CN=$ca || exit 1; done && "
            "for s in 'good IP:127.0.0.1' 'wrong DNS:other.example'; do set -- $s; echo subjectAltName=$2 >$1.ext && "
            "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout $1.key -out $1.csr "
            "-subj /CN=$1 && openssl x509 -req -in $1.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
            "-extfile $1.ext -out $1.pem || exit 1; done && chmod 644 *.key && "
            "mosquitto_passwd -b -c passwd fleet s3cret";
        ASSERT_EQ(std::system(script.c_str()), 0) << "openssl or mosquitto_passwd failed";
        std::ofstream conf(dir / "mosquitto.conf");
        conf << "per_listener_settings false\nallow_anonymous false\npassword_file " << (dir / "passwd")
             << "\npersistence false\nlog_dest file " << (dir / "broker.log") << "\nlog_type all\n"
             << "max_queued_messages 0\n" << (::geteuid() ? "" : "user root\n")
             << "listener " << ports[0] << " 127.0.0.1\n";
        for (int i : {1, 2})
            conf << "listener " << ports[i] << " 127.0.0.1\ncafile " << (dir / "ca.pem") << "\ncertfile "
                 << (dir / kCerts[i] + ".pem") << "\nkeyfile " << (dir / kCerts[i] + ".key") << "\n";
        conf.close();
        StartBroker();
    }
    void StartBroker()
    {
        const std::vector<std::string> args{"-c", dir / "mosquitto.conf"};
        broker = std::make_unique<SimProcess>("/usr/sbin/mosquitto", args);
        ASSERT_TRUE(test::WaitFor([&] { return Accepts(ports[0]) && Accepts(ports[1]) && Accepts(ports[2]); },
                                  seconds(10)));
    }
    static bool Accepts(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }
    // mosquitto_sub -v into `out` once it has subscribed; `two`: it ends after two messages.
    std::unique_ptr<SimProcess> Subscribe(const std::string& topics, const std::string& out, bool two = false)
    {
        ::unlink(out.c_str());
        const std::string command = "exec stdbuf -oL mosquitto_sub -d -v -q 1 -h 127.0.0.1 -u fleet -P s3cret -p " +
                                    std::to_string(ports[0]) + (two ? " -C 2" : "") + " -t " + topics + " >" + out;
        auto sub = std::make_unique<SimProcess>("/bin/sh", std::vector<std::string>{"-c", command});
        test::WaitFor([&] { return test::S(test::ReadBytes(out)).find("SUBACK") != std::string::npos; }, seconds(10));
        return sub;
    }
    // "TOPIC {...}": every payload published is a JSON object; the debug lines are left out.
    static std::vector<std::string> Lines(const std::string& path)
    {
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            if (const auto space = line.find(' '); space != std::string::npos && line[space + 1] == '{')
                lines.push_back(line);
        return lines;
    }
    // The gateway's configuration: module bow on the simulator's link, `module` added to its section.
    void WriteConfig(const std::string& url, const std::string& module = "", const std::string& mqtt = "")
    {
        std::ofstream(dir / "pw") << "s3cret\n";
        std::ofstream(dir / "gw.conf") << "[module bow]\nsource = " << (dir / "compass") << "\n" << module
                                       << "[mqtt]\nurl = " << url << "\nusername = fleet\npassword-file = "
                                       << (dir / "pw") << "\n" << mqtt;
    }
    MqttConfig Config(int listener) const
    {
        return {.tls = listener > 0, .host = "127.0.0.1", .port = static_cast<std::uint16_t>(ports[listener]),
                .username = "fleet", .password = "s3cret", .caFile = listener ? dir / "ca.pem" : ""};
    }
    MqttPublisher::ErrorSink Sink()
    {
        return [this](const std::string& line) { std::lock_guard lock(mutex); errors.push_back(line); };
    }
    std::vector<std::string> Errors() { std::lock_guard lock(mutex); return errors; }

    static constexpr const char* kCerts[] = {"", "good", "wrong"};
    test::TempDir dir;
    const int ports[3] = {FreeLoopbackPort(), FreeLoopbackPort(), FreeLoopbackPort()}; // plain, good, wrong
    std::unique_ptr<SimProcess> broker;
    std::mutex mutex;
    std::vector<std::string> errors;
};

// Over TLS: every orientation in order with its values, every message,
// identity and status retained, closed at a clean stop once the broker
// has the messages; decimated, the latest of each tenth of a second. The
// second module's messages go through the first's connection.
TEST_F(BrokerTest, EveryMessageInOrderThenDecimated)
{
    const ModuleIdentity identity{.versionMajor = 1, .versionMinor = 4, .serialNumber = 24601};
    for (const double rate : {0.0, 10.0}) {
        const auto sub = Subscribe("'tolvane/bow/#'", dir / "sub.txt");
        MqttConfig config = Config(1);
        config.orientationRate = rate;
        MqttPublisher publisher(config, {"aft", "bow"}, Sink());
        std::string error;
        ASSERT_TRUE(publisher.Start(error)) << error;
        publisher.SetIdentity(1, identity);
        publisher.SetStatus(1, {.module = "bow", .state = ModuleState::Open});
        ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 2; }, seconds(10)));
        std::vector<std::string> expected, orientations, messages, status;
        // Times ahead of the link's clock: the decimation's interval never ends before the stop.
        const std::int64_t start = NowMs() / 100 * 100 + 100000;
        for (int i = 0; i < 2000; ++i) {
            const DeviceMessage m = OrientationAt(start + i * 10, static_cast<std::uint16_t>(i * 33),
                                                  static_cast<std::int16_t>(-i), static_cast<std::int16_t>(i));
            publisher.Offer(1, m, 0);
            if (rate == 0 || i % 10 == 9)
                expected.push_back(OrientationPayload(Decode<Orientation>(m), IsoLocalTime(0)));
        }
        publisher.Stop();
        EXPECT_EQ(publisher.Dropped(1), 0u);
        // The messages, the identity and at least the closing status.
        EXPECT_TRUE(
            test::WaitFor([&] { return Lines(dir / "sub.txt").size() >= expected.size() + 2002; }, seconds(20)));
        sub->Stop();
        for (const std::string& line : Lines(dir / "sub.txt")) {
            const std::string topic = line.substr(0, line.find(' ')), payload = line.substr(topic.size() + 1);
            (topic == "tolvane/bow/orientation" ? orientations : topic == "tolvane/bow/message" ? messages : status)
                .push_back(payload);
        }
        EXPECT_EQ(orientations, expected);
        EXPECT_EQ(messages.size(), 2000u);
        EXPECT_EQ(status.front(), IdentityPayload(identity)); // retained, then again as the connection began
        EXPECT_NE(Lines(dir / "sub.txt").back().find(R"("state":"closed")"), std::string::npos) << "comes last";
        EXPECT_TRUE(Errors().empty());
    }
}

// The broker killed and started again: the queue keeps the newest and
// counts what it let go (what is said and retained again: through the
// gateway, GatewayRecordsThroughBrokerLostAndBack).
TEST_F(BrokerTest, BrokerLostAndBack)
{
    MqttPublisher publisher(Config(0), {"bow"}, Sink(), 300);
    std::string error;
    ASSERT_TRUE(publisher.Start(error)) << error;
    publisher.SetIdentity(0, {.serialNumber = 24601});
    publisher.SetStatus(0, {.module = "bow", .state = ModuleState::Open});
    ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 1; }, seconds(10)));
    int sent = 0;
    const auto offer = [&](int n) {
        for (int end = sent + n; sent < end; ++sent) {
            publisher.Offer(0, OrientationAt(sent, static_cast<std::uint16_t>(sent)), 0);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    };
    offer(500);
    broker.reset();
    ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 0; }, seconds(10)));
    offer(1000);
    StartBroker();
    ASSERT_TRUE(test::WaitFor([&] { return publisher.Connected() == 1; }, seconds(20)));
    const auto sub = Subscribe("tolvane/bow/orientation", dir / "sub.txt");
    offer(100);
    publisher.Stop();
    sub->Stop();
    EXPECT_EQ(Lines(dir / "sub.txt").back(),
              "tolvane/bow/orientation " + OrientationPayload({.azimuth = 1599}, IsoLocalTime(0)));
    EXPECT_GE(publisher.Dropped(0), 700u);
}

// Each refusal is said, and the publisher keeps trying without blocking anyone.
TEST_F(BrokerTest, Refusals)
{
    MqttConfig wrongPassword = Config(0), otherName = Config(2), unknownCa = Config(1);
    wrongPassword.password = "guess";
    unknownCa.caFile = dir / "other-ca.pem";
    for (const auto& [config, why] : {std::pair{wrongPassword, "not authorised"},
                                      {otherName, "certificate verify failed"},
                                      {unknownCa, "certificate verify failed"}}) {
        errors.clear();
        MqttPublisher publisher(config, {"bow"}, Sink());
        std::string error;
        ASSERT_TRUE(publisher.Start(error)) << error;
        ASSERT_TRUE(test::WaitFor([&] { return !Errors().empty(); }, seconds(10))) << why;
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
    SimProcess sim(TOLVANE_SIM_PATH, {"--link", dir / "compass"});
    ASSERT_FALSE(sim.Output().empty());
    WriteConfig("mqtt://127.0.0.1:" + std::to_string(ports[0]));
    const auto sub = Subscribe("tolvane/bow/status", dir / "s.txt");
    SimProcess gateway(TOLVANE_GATEWAY_PATH, {"--config", dir / "gw.conf"});
    const auto said = [&](const char* what) { return test::S(test::ReadBytes(dir / "s.txt")).find(what); };
    ASSERT_TRUE(test::WaitFor([&] { return said("24601") != std::string::npos; }, seconds(20)));
    EXPECT_EQ(gateway.Stop(SIGKILL), -1);
    EXPECT_TRUE(test::WaitFor([&] { return Lines(dir / "s.txt").back().ends_with(R"({"state":"offline"})"); },
                              seconds(10)));
    for (const std::string extra : {"", "allow-plaintext = yes"}) {
        WriteConfig("mqtt://10.0.0.5", "", extra);
        SimProcess isolated("/usr/bin/unshare", {"-n", TOLVANE_GATEWAY_PATH, "--config", dir / "gw.conf"}, {}, 2);
        // Refused: its first line; allowed: among its lines of three seconds.
        EXPECT_NE(isolated.Output(!extra.empty())
                      .find(extra.empty() ? "tolvane-gateway: [mqtt]: the password would cross the network unencrypted "
                                            "to 10.0.0.5 (mqtt://); use mqtts://, or allow-plaintext = yes"
                                          : "tolvane-gateway: mqtt bow (10.0.0.5:1883): Network is unreachable\n"),
                  std::string::npos);
        EXPECT_EQ(isolated.Stop(extra.empty() ? 0 : SIGTERM), extra.empty() ? 2 : 0);
    }
}

// The broker killed and started again while the gateway records the
// simulator in burst: the log and the capture hold every orientation sent,
// the two brokers together received every one (some maybe twice), none
// counted as dropped; identity and status are retained again.
TEST_F(BrokerTest, GatewayRecordsThroughBrokerLostAndBack)
{
    const std::string d = dir.path.string(), at = "mqtt bow (127.0.0.1:" + std::to_string(ports[0]) + "): ";
    SimProcess sim(TOLVANE_SIM_PATH,
                   {"--link", d + "/compass", "--burst", "--power-on-open", "--send-times", d + "/sent"});
    ASSERT_FALSE(sim.Output().empty());
    WriteConfig("mqtt://127.0.0.1:" + std::to_string(ports[0]), "log-dir = " + d + "\ncapture-dir = " + d + "\n");
    SimProcess gateway("/bin/sh", {"-c", "exec \"$0\" \"$@\" 2>" + d + "/err", TOLVANE_GATEWAY_PATH, "--config",
                                   d + "/gw.conf"});
    const auto err = [&] { return test::S(test::ReadBytes(d + "/err")); };
    const auto received = [&](const std::string& topic) { // publications the brokers logged
        std::ifstream log(d + "/broker.log");
        std::size_t n = 0;
        for (std::string line; std::getline(log, line);)
            n += line.find("Received PUBLISH") != line.npos && line.find("/" + topic + "'") != line.npos;
        return n;
    };
    // Identity and status published before the broker goes: once back, it has them only if sent again.
    ASSERT_TRUE(test::WaitFor([&] { return received("identity") && received("orientation") > 20; }, seconds(20)));
    broker.reset();
    ASSERT_TRUE(test::WaitFor([&] { return err().find(at) != std::string::npos; }, seconds(10)));
    std::this_thread::sleep_for(seconds(2)); // the recording goes on, the queue fills
    StartBroker();
    const auto sub = Subscribe("tolvane/bow/orientation", d + "/sub.txt");
    ASSERT_TRUE(test::WaitFor([&] { return !Lines(d + "/sub.txt").empty(); }, seconds(40))) << err();
    EXPECT_EQ(Subscribe("tolvane/bow/identity -t tolvane/bow/status", d + "/r.txt", true)->Stop(0), 0);
    const std::string retained = test::S(test::ReadBytes(d + "/r.txt"));
    EXPECT_NE(retained.find(R"(identity {"serial":24601,)"), std::string::npos) << retained;
    EXPECT_TRUE(retained.find(R"(status {"module":"bow","state":"open",)") != std::string::npos &&
                retained.find(R"(,"mqtt_dropped":0})") != std::string::npos) << retained;
    // The module holds still, its line open, so that all it sent is recorded.
    ::kill(sim.Pid(), SIGSTOP);
    std::this_thread::sleep_for(seconds(1));
    EXPECT_EQ(gateway.Stop(SIGTERM), 0);
    ::kill(sim.Pid(), SIGCONT);
    sim.Stop();
    EXPECT_TRUE((err().starts_with("tolvane-gateway: " + at + "The connection was lost.\n") ||
                 err().starts_with("tolvane-gateway: " + at + "Connection reset by peer\n")) &&
                err().ends_with(at + "connected again\n")) << err();
    // The azimuths sent, logged and captured (as tolvane-decode reads them); in the log, a record per
    // orientation and one per declination, which repeats the orientation before it.
    std::vector<double> sent, logged, captured, records;
    std::ifstream times(d + "/sent");
    for (long long ns, azimuth; times >> ns >> azimuth;)
        sent.push_back(std::stod(PrintfText("%.1f", UnsignedAngleDegrees(static_cast<std::uint16_t>(azimuth)))));
    ASSERT_EQ(std::system(("cd " + d + " && cat bow-*.log >logged && " TOLVANE_DECODE_PATH " bow-*.tcap >decoded")
                              .c_str()), 0);
    std::ifstream log(d + "/logged"), decoded(d + "/decoded");
    for (std::string line, time; std::getline(log, line);) // a record and its CR, not the header
        if (double azimuth; line.size() == 48 && line[1] != 'W' && std::istringstream(line) >> time >> azimuth)
            logged.push_back(azimuth);
    for (std::string line; std::getline(decoded, line);) {
        if (line.starts_with("DORIENT ")) captured.push_back(std::stod(line.substr(line.find("Azimuth=") + 8)));
        if (line.starts_with("DORIENT ") || line.starts_with("DIMVAR "))
            records.push_back(captured.empty() ? 0 : captured.back());
    }
    ASSERT_GT(sent.size(), 100u);
    EXPECT_EQ(logged, records);
    // One caught by SIGSTOP between its write and its line of send times is recorded, not listed.
    EXPECT_LE(captured.size(), sent.size() + 1);
    EXPECT_EQ(std::vector(captured.begin(), captured.begin() + std::min(captured.size(), sent.size())), sent);
    EXPECT_GE(received("orientation"), sent.size());
}

} // namespace
} // namespace tolvane
