// The gateway's command line and configuration file: what each good one
// gives and the message each bad one is refused with.
#include "gateway/gateway_config.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

SocketAddress V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint16_t port)
{
    return {false, {a, b, c, d}, port};
}

SocketAddress V6Loopback(std::uint16_t port)
{
    SocketAddress address{true, {}, port};
    address.bytes[15] = 1;
    return address;
}

struct Case {
    std::vector<std::string> args;
    std::string file;     // gw.conf, for --config gw.conf
    std::string refusal;  // empty: accepted, giving `expected`
    GatewayConfig expected;
};

const std::vector<std::string> kConf = {"--config", "gw.conf"};
const char kSourceForms[] = "is not a device path (from /), tcp://HOST:PORT or rfc2217://HOST:PORT";
const char kAddressForms[] = "is not an IPv4 address or an IPv6 address in brackets";
const char kWholeSeconds[] = "is not a whole number of seconds from 1 to 86400";
const char kNameRule[] =
    "a name is 1 to 64 letters, digits, '.', '_' or '-', not starting with '.' or '-' (it is part of file names)";

const std::string kOneModule = "[module a]\nsource = /dev/x\n";
const ModuleConfig kA{.name = "a", .source = "/dev/x"};
const std::string kUrlForms = "is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
const std::string kTopicRule = "is not a topic of levels a/b/c, without '+', '#', empty levels or a leading '$'";
const std::string kRateRule = "is not a number of messages a second from 0.1 to 1000";

const char kTwoModules[] = "# the boat\r\n[module bow]\r\n"
                           "source = /dev/serial/by-id/usb-FTDI-if00-port0\r\nbaud=detect\n"
                           "  log-dir = /var/lib/tolvane/bow  \nnmea-tcp = 0.0.0.0:10110\n"
                           "nmea-udp = 192.168.1.255:10111\n  ; the mast\n"
                           "[ module ]\nsource = rfc2217://[fd00::20]:2001\ncapture-dir = /c\nnmea-tcp = 10111\n"
                           "[gateway]\nstatus-interval = 30";

const ModuleConfig kBow{.name = "bow", .source = "/dev/serial/by-id/usb-FTDI-if00-port0", .detect = true,
                        .logDir = "/var/lib/tolvane/bow", .nmeaTcp = V4(0, 0, 0, 0, 10110),
                        .nmeaUdp = {V4(192, 168, 1, 255, 10111)}};
const ModuleConfig kMast{.source = "rfc2217://[fd00::20]:2001", .captureDir = "/c", .nmeaTcp = V4(127, 0, 0, 1, 10111)};

const Case kCases[] = {
    // The command line.
    {{"--source", "/dev/ttyUSB0"}, "", "", {.modules = {{.source = "/dev/ttyUSB0"}}}},
    {{"--source", "tcp://10.0.0.5:2000", "--detect", "--name", "bow", "--log-dir", "/l", "--capture-dir", "/c",
      "--nmea-tcp", "10110", "--nmea-udp", "127.0.0.1:10111", "--nmea-udp", "[::1]:10112", "--status-interval", "5"},
     "", "",
     {.modules = {{.name = "bow", .source = "tcp://10.0.0.5:2000", .detect = true, .logDir = "/l", .captureDir = "/c",
                   .nmeaTcp = V4(127, 0, 0, 1, 10110), .nmeaUdp = {V4(127, 0, 0, 1, 10111), V6Loopback(10112)}}},
      .statusIntervalS = 5}},
    {{"--source", "/dev/x", "--baud", "38400", "--nmea-tcp", "[::1]:65535", "--status-interval", "86400"}, "", "",
     {.modules = {{.source = "/dev/x", .baud = 38400, .nmeaTcp = V6Loopback(65535)}}, .statusIntervalS = 86400}},
    {{"--help", "--bad"}, "", "unknown option '--bad' (see --help)"},
    {{"--version"}, "", "", {.version = true}},
    {{}, "", "no --source given (or --config FILE)"},
    {{"-source", "/dev/x"}, "", "unknown option '-source' (see --help)"},
    {{"--source"}, "", "--source needs a value"},
    {{"--source", "COM1"}, "", std::string("--source: 'COM1' ") + kSourceForms},
    {{"--source", "tcp://pi"}, "", std::string("--source: 'tcp://pi' ") + kSourceForms},
    {{"--source", "/dev/x", "--source", "/dev/y"}, "", "--source: already given (--source)"},
    {{"--source", "/dev/x", "--baud", "9601"}, "", "--baud: '9601' is not 4800, 9600, 19200, 38400 or detect"},
    {{"--source", "/dev/x", "--baud", "9600", "--detect"}, "", "--detect: already given (--baud)"},
    {{"--source", "/dev/x", "--name", "../etc"}, "", std::string("--name: '../etc': ") + kNameRule},
    {{"--source", "/dev/x", "--name", "-x"}, "", std::string("--name: '-x': ") + kNameRule},
    {{"--source", "/dev/x", "--log-dir", ""}, "", "--log-dir: no value"},
    {{"--source", "/dev/x", "--nmea-tcp", "65536"}, "", "--nmea-tcp: '65536' is not a port from 1 to 65535"},
    {{"--source", "/dev/x", "--nmea-tcp", "010110"}, "", "--nmea-tcp: '010110' is not a port from 1 to 65535"},
    {{"--source", "/dev/x", "--nmea-tcp", "pi:10110"}, "", std::string("--nmea-tcp: 'pi' ") + kAddressForms},
    {{"--source", "/dev/x", "--nmea-tcp", "::1:10110"}, "", std::string("--nmea-tcp: '::1' ") + kAddressForms},
    {{"--source", "/dev/x", "--nmea-udp", "[::1]"}, "", "--nmea-udp: '[::1]' is not HOST:PORT"},
    {{"--source", "/dev/x", "--nmea-udp", "0.0.0.0:10111"}, "", "--nmea-udp: '0.0.0.0:10111' names no host to send to"},
    {{"--source", "/dev/x", "--status-interval", "0"}, "", std::string("--status-interval: '0' ") + kWholeSeconds},
    {{"--source", "/dev/x", "--status-interval", "1.5"}, "", std::string("--status-interval: '1.5' ") + kWholeSeconds},
    {{"--config", "/nonexistent/gw.conf"}, "", "--config: /nonexistent/gw.conf: No such file or directory"},
    {{"--config", "gw.conf", "--baud", "4800"}, "", "--baud: not with --config, whose file gives the modules"},

    // The file; the command line's interval wins over the file's.
    {kConf, kTwoModules, "", {.modules = {kBow, kMast}, .statusIntervalS = 30, .configFile = "gw.conf"}},
    {{"--status-interval", "5", "--config", "gw.conf"}, kTwoModules, "",
     {.modules = {kBow, kMast}, .statusIntervalS = 5, .configFile = "gw.conf"}},
    {kConf, "", "gw.conf: no [module NAME] section"},
    {kConf, "source = /dev/x", "gw.conf:1: 'source' comes before any section"},
    {kConf, "[module bow]\nsorce = /dev/x", "gw.conf:2: unknown key 'sorce' in [module bow]"},
    {kConf, "[module bow]\nname = bow", "gw.conf:2: unknown key 'name' in [module bow]"},
    {kConf, "[module bow]\ndetect = yes", "gw.conf:2: unknown key 'detect' in [module bow]"},
    {kConf, "[gateway]\nsource = /dev/x", "gw.conf:2: unknown key 'source' in [gateway]"},
    {kConf, "[module bow]\nsource /dev/x", "gw.conf:2: 'source /dev/x' is not KEY = VALUE"},
    {kConf, "[module bow", "gw.conf:1: '[module bow' is not [SECTION]"},
    {kConf, "[modul bow]", "gw.conf:1: unknown section [modul bow] (sections: [module NAME], [gateway], [mqtt])"},
    {kConf, "[gateway x]", "gw.conf:1: unknown section [gateway x] (sections: [module NAME], [gateway], [mqtt])"},
    {kConf, "[module a/b]", std::string("gw.conf:1: [module a/b]: ") + kNameRule},
    {kConf, "[module bow]\nsource =\n", "gw.conf:2: source: no value"},
    {kConf, kOneModule + "[mqtt]\nurl = mqtt://b\nusername =", "gw.conf:5: username: no value"},
    {kConf, "[module bow]\nbaud = 19200\nbaud = 4800", "gw.conf:3: baud: already given (line 2)"},
    {kConf, "[module bow]\nlog-dir = /l", "gw.conf:1: [module bow] has no source"},
    {kConf, "\n[module]\n", "gw.conf:2: [module] of line 2 has no source"},
    {kConf, "[module a]\nsource=/dev/x\n[module a]", "gw.conf:3: [module a] again (first at line 1)"},
    {kConf, "[gateway]\n[gateway]", "gw.conf:2: [gateway] again (first at line 1)"},
    {kConf, "[gateway]\nstatus-interval = 86401", std::string("gw.conf:2: status-interval: '86401' ") + kWholeSeconds},

    // Two modules on one port or one TCP server.
    {kConf, "[module a]\nsource = /dev/ttyUSB0\n[module b]\nsource = /dev/../dev/ttyUSB0",
     "gw.conf:4: source '/dev/../dev/ttyUSB0' is already the source of [module a] (line 2)"},
    {kConf, "[module a]\nsource = tcp://Pi:2000\n[module]\nsource = rfc2217://pi:2000",
     "gw.conf:4: source 'rfc2217://pi:2000' is already the source of [module a] (line 2)"},
    {kConf, "[module a]\nsource = tcp://pi:2000\n[module]\nsource = tcp://pi:2001", "",
     {.modules = {{.name = "a", .source = "tcp://pi:2000"}, {.source = "tcp://pi:2001"}}, .configFile = "gw.conf"}},
    {kConf, "[module a]\nsource = /dev/x\nnmea-tcp = 10110\n[module b]\nsource = /dev/y\nnmea-tcp = 0.0.0.0:10110",
     "gw.conf:6: nmea-tcp 0.0.0.0:10110 takes the port of [module a]'s 127.0.0.1:10110 (line 3)"},
    {kConf, "[module a]\nnmea-tcp = 10110\nsource = /dev/x\n[module b]\nsource = /dev/y\nnmea-tcp = 127.0.0.2:10110\n"
            "[module c]\nsource = /dev/z\nnmea-tcp = [::1]:10110",
     "",
     {.modules = {{.name = "a", .source = "/dev/x", .nmeaTcp = V4(127, 0, 0, 1, 10110)},
                  {.name = "b", .source = "/dev/y", .nmeaTcp = V4(127, 0, 0, 2, 10110)},
                  {.name = "c", .source = "/dev/z", .nmeaTcp = V6Loopback(10110)}},
      .configFile = "gw.conf"}},

    // The broker: [mqtt], --mqtt (which wins over the file's url), and the checks made once all is read.
    {kConf, kOneModule + "[mqtt]\nurl = mqtts://[::1]\ntopic = fleet/boat\nclient-id = bow-gw\nusername = u\n"
                         "password-file = pw\nca-file = /ca.pem\norientation-rate = 2.5\nallow-plaintext = no",
     "",
     {.modules = {kA}, .configFile = "gw.conf",
      .mqtt = MqttConfig{.tls = true, .host = "::1", .port = 8883, .topic = "fleet/boat", .clientId = "bow-gw",
                         .username = "u", .passwordFile = "pw", .password = "s3cret", .caFile = "/ca.pem",
                         .orientationRate = 2.5}}},
    {{"--config", "gw.conf", "--mqtt", "mqtt://b:1884"}, kOneModule + "[mqtt]\nurl = mqtts://a\ntopic = t", "",
     {.modules = {kA}, .configFile = "gw.conf", .mqtt = MqttConfig{.host = "b", .port = 1884, .topic = "t"}}},
    {{"--source", "/dev/x", "--name", "a", "--mqtt", "mqtt://Broker-1.example"}, "", "",
     {.modules = {{.name = "a", .source = "/dev/x"}}, .mqtt = MqttConfig{.host = "Broker-1.example", .port = 1883}}},
    {kConf, kOneModule + "[mqtt]\nurl = mqtt://broker\nusername = u\npassword-file = pw",
     "[mqtt]: the password would cross the network unencrypted to broker (mqtt://); use mqtts://, or "
     "allow-plaintext = yes"},
    {kConf, kOneModule + "[mqtt]\nurl = mqtt://127.0.0.2:1\nusername = u\npassword-file = pw", "",
     {.modules = {kA}, .configFile = "gw.conf", .mqtt = MqttConfig{.host = "127.0.0.2", .port = 1, .username = "u",
     .passwordFile = "pw", .password = "s3cret"}}},
    {{"--source", "/dev/x", "--mqtt", "mqtt://127.0.0.1"}, "",
     "[mqtt]: every module needs a name (--name, or [module NAME]): its topics are TOPIC/NAME/..."},
    {{"--name", "a", "--source", "/dev/x", "--mqtt", "tcp://b:1"}, "", "--mqtt: 'tcp://b:1' " + kUrlForms},
    {kConf, kOneModule + "[mqtt]\nurl = mqtt://b:0", "gw.conf:4: url: 'mqtt://b:0' " + kUrlForms},
    {kConf, kOneModule + "[mqtt]\nurl = mqtt://a b", "gw.conf:4: url: 'mqtt://a b' " + kUrlForms},
    {kConf, kOneModule + "[mqtt]\nurl = mqtts://[::1:1", "gw.conf:4: url: 'mqtts://[::1:1' " + kUrlForms},
    {kConf, kOneModule + "[mqtt]\nurl = mqtts://[::1]x", "gw.conf:4: url: 'mqtts://[::1]x' " + kUrlForms},
    {kConf, kOneModule + "[mqtt]\ntopic = t", "[mqtt]: no url"},
    {kConf, kOneModule + "[mqtt]\nurl = mqtt://b\npassword-file = pw", "[mqtt]: password-file without a username"},
    {kConf, kOneModule + "[mqtt]\nurl = mqtt://b\nusername = u\npassword-file = /nonexistent/pw",
     "[mqtt]: password-file: /nonexistent/pw: No such file or directory"},
    {kConf, kOneModule + "[mqtt]\ntopic = a/+/b", "gw.conf:4: topic: 'a/+/b' " + kTopicRule},
    {kConf, kOneModule + "[mqtt]\norientation-rate = 0.09", "gw.conf:4: orientation-rate: '0.09' " + kRateRule},
    {kConf, kOneModule + "[mqtt]\norientation-rate = 1e3", "gw.conf:4: orientation-rate: '1e3' " + kRateRule},
    {kConf, kOneModule + "[mqtt]\nallow-plaintext = true", "gw.conf:4: allow-plaintext: 'true' is not yes or no"},
    {kConf, kOneModule + "[mqtt]\nallow-plaintext =", "gw.conf:4: allow-plaintext: no value"},
};

TEST(GatewayConfig, CommandLinesAndFiles)
{
    for (const Case& c : kCases) {
        std::string trace;
        for (const std::string& arg : c.args) trace += arg + " ";
        SCOPED_TRACE(trace + "\n" + c.file);
        const ReadText read = [&](const std::string& path, std::string& text, std::string& why) {
            if (path == "pw") text = "s3cret\nnot this line";
            if (path != "gw.conf") return path == "pw" || ReadTextFile(path, text, why);
            text = c.file;
            return true;
        };
        std::string error;
        const auto config = ParseGatewayArgs(c.args, error, read);
        EXPECT_EQ(error, c.refusal);
        if (c.refusal.empty() && config) {
            EXPECT_TRUE(*config == c.expected);
        }
        EXPECT_EQ(config.has_value(), c.refusal.empty());
    }
}

} // namespace
} // namespace tolvane
