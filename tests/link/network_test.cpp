// Network ports: the address forms, the Telnet client fed split at every
// byte, and the link over loopback sockets these tests serve themselves,
// among them a server holding a backlog and a peer that stops reading.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <thread>
#include <tuple>

#include "link/network_port.h"
#include "link/serial_link.h"
#include "link/telnet.h"
#include "support/ser2net_server.h"
#include "support/test_data.h"

namespace tolvane {
namespace {
using namespace telnet;
using test::Bytes;
using namespace std::chrono_literals;

TEST(NetworkPort, ParsesBothFormsAndRefusesNearMisses)
{
    EXPECT_EQ(ParseNetworkPort("tcp://localhost:2000"), (NetworkPort{false, "localhost", "2000"}));
    EXPECT_EQ(ParseNetworkPort("rfc2217://192.168.1.20:4001/"), (NetworkPort{true, "192.168.1.20", "4001"}));
    EXPECT_EQ(ParseNetworkPort("rfc2217://[::1]:65535"), (NetworkPort{true, "::1", "65535"}));
    for (const char* path : {"tcp://host:0", "tcp://host:65536", "tcp://host:02000", "tcp://host", "tcp://:2000",
                             "tcp://::1:2000", "tcp://[::1:2000", "udp://host:2000", "/dev/ttyUSB0"})
        EXPECT_EQ(ParseNetworkPort(path), std::nullopt) << path;
    EXPECT_TRUE(LooksLikeNetworkPort("tcp://host"));
    EXPECT_FALSE(LooksLikeNetworkPort("/dev/tcp://"));
}

// What the server sends, and what the client must make of it once it has
// started: the serial port's bytes and its answers.
TEST(TelnetClient, DecodesEveryStreamSplitAtEveryByte)
{
    struct Row {
        const char* what;
        Bytes in, data, replies;
        bool refused;
        std::uint32_t baud;
    };
    const Row rows[] = {
        {"plain data", {'~', 0x70, 3}, {'~', 0x70, 3}, {}, false, 0},
        {"IAC IAC is one 0xFF", {1, kIac, kIac, 2, kIac, kIac}, {1, kIac, 2, kIac}, {}, false, 0},
        {"agreement to what was asked: no answer",
         {kIac, kDo, kComPortOption, kIac, kWill, kBinary, kIac, kDo, kSuppressGoAhead}, {}, {}, false, 0},
        {"unknown options refused politely", {kIac, kDo, 24, 'a', kIac, kWill, 1}, {'a'},
         {kIac, kWont, 24, kIac, kDont, 1}, false, 0},
        {"the COM-PORT-OPTION refused", {kIac, kDont, kComPortOption}, {}, {kIac, kWont, kComPortOption}, true, 0},
        {"a binary mode turned off is acknowledged once", {kIac, kWont, kBinary, kIac, kWont, kBinary}, {},
         {kIac, kDont, kBinary}, false, 0},
        {"the rate the server reports, 0xFF escaped inside",
         {kIac, kSb, kComPortOption, 101, 0, 0, 0x4B, 0, kIac, kSe, 'x', kIac, kSb, kComPortOption, 101, 0, 0, 0x25,
          kIac, kIac, kIac, kSe},
         {'x'}, {}, false, 0x25FF},
        {"other subnegotiations and commands carry nothing",
         {kIac, kSb, kComPortOption, 107, 0x30, kIac, kSe, kIac, 241, 'y', kIac, kSb, 24, 1, kIac, kSe},
         {'y'}, {}, false, 0},
        {"a command inside a subnegotiation ends it", {kIac, kSb, kComPortOption, 101, 0, kIac, kDo, 24, 'z'},
         {'z'}, {kIac, kWont, 24}, false, 0},
    };
    for (const Row& row : rows) {
        for (std::size_t split = 0; split <= row.in.size(); ++split) {
            TelnetClient client;
            client.Start();
            Bytes data, replies;
            client.Receive(row.in.data(), split, data, replies);
            client.Receive(row.in.data() + split, row.in.size() - split, data, replies);
            EXPECT_EQ(data, row.data) << row.what << " split at " << split;
            EXPECT_EQ(replies, row.replies) << row.what << " split at " << split;
            EXPECT_EQ(client.ComPortRefused(), row.refused) << row.what;
            EXPECT_EQ(client.BaudRateReported(), row.baud) << row.what;
        }
    }
}

// Data escaped: the request in the link test below.
TEST(TelnetClient, WritesTheLine)
{
    EXPECT_EQ(TelnetClient().Start(), (Bytes{kIac, kWill, kBinary, kIac, kWill, kSuppressGoAhead, kIac, kWill,
                                            kComPortOption, kIac, kDo, kBinary, kIac, kDo, kSuppressGoAhead}));
    const Bytes line = TelnetClient::SetLine(19200);
    EXPECT_EQ(Bytes(line.begin(), line.begin() + 10),
              (Bytes{kIac, kSb, kComPortOption, kSetBaudRate, 0, 0, 0x4B, 0, kIac, kSe}));
    EXPECT_EQ(Bytes(line.begin() + 10, line.end()),
              (Bytes{kIac, kSb, kComPortOption, kSetDataSize, 8, kIac, kSe, kIac, kSb, kComPortOption, kSetParity, 1,
                     kIac, kSe, kIac, kSb, kComPortOption, kSetStopSize, 1, kIac, kSe}));
    EXPECT_EQ(TelnetClient::SetLine(0xFF)[7], kIac);
    EXPECT_EQ(TelnetClient::SetLine(0xFF).size(), line.size() + 1);
    EXPECT_EQ(TelnetClient::SetModemLines(false), (Bytes{kIac, kSb, kComPortOption, kSetControl, 9, kIac, kSe, kIac,
                                                         kSb, kComPortOption, kSetControl, 12, kIac, kSe}));
}

// Reads from `fd` until `n` bytes came or a second passed.
Bytes ReadSome(int fd, std::size_t n)
{
    Bytes got;
    std::uint8_t buf[512];
    pollfd p{fd, POLLIN, 0};
    for (ssize_t r; got.size() < n && ::poll(&p, 1, 1000) == 1 && (r = ::read(fd, buf, sizeof buf)) > 0;)
        got.insert(got.end(), buf, buf + r);
    return got;
}

SerialLink& LinkTo(SerialLink& link, const std::string& path)
{
    PortMap ports;
    ports.SetPath(5, path);
    link.SetPortMap(ports);
    return link;
}

// A server on loopback, on a port of the system's choosing. Over RFC 2217
// its 0xFF reaches the receivers once, a request's 0xFF goes out doubled,
// and its hanging up loses the port, as a pulled cable does.
TEST(NetworkLink, Rfc2217CarriesBinaryFramesIntact)
{
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t size = sizeof a;
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&a), size), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &size);
    SerialLink owned;
    SerialLink& link = LinkTo(owned, "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    EXPECT_EQ(link.Probe(5).reason, ProbeResult::Free);
    std::thread acceptor([&] {
        pollfd p{server, POLLIN, 0};
        const int peer = ::poll(&p, 1, 3000) == 1 ? ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        ASSERT_GE(peer, 0);
        // The start, the line, then the request for the rate.
        const Bytes line = TelnetClient::SetLine(19200);
        const Bytes hello = ReadSome(peer, 15 + line.size() + 14);
        ASSERT_EQ(hello.size(), 15 + line.size() + 14);
        EXPECT_EQ(Bytes(hello.begin() + 15, hello.begin() + 15 + std::ssize(line)), line);
        // The rate confirmed, then a frame with its 0xFF doubled.
        const Bytes answer = {kIac, kDo, kComPortOption, kIac, kSb, kComPortOption, 101, 0, 0, 0x4B, 0, kIac, kSe,
                              0x0D, 0x0A, 0x7E, 0x44, 2, kIac, kIac, 0x01, 0xDB};
        ASSERT_EQ(::write(peer, answer.data(), answer.size()), std::ssize(answer));
        const auto sum = static_cast<std::uint8_t>(0x0D + 0x0A + 0x7E + 0x10 + 1 + 0xFF);
        EXPECT_EQ(ReadSome(peer, 8), (Bytes{0x0D, 0x0A, 0x7E, 0x10, 1, kIac, kIac, sum}));
        ::close(peer);
    });
    PortProbe why;
    ASSERT_EQ(link.Open(5, 19200, &why), 5) << why.detail;
    EXPECT_EQ(link.TakeNotice(), "");
    DeviceMessage message;
    ASSERT_TRUE(test::WaitFor([&] { return link.TakeMessage(message) != DeviceLink::kEmpty; }));
    EXPECT_EQ(std::make_tuple(message.type, message.length, message.payload[0]), std::make_tuple(0x44, 2, 0xFF));
    const OutgoingRequest request{.type = 0x10, .length = 1, .payload = {0xFF}};
    EXPECT_NE(link.Send(request), -1);
    acceptor.join();
    ::close(server);
    EXPECT_TRUE(test::WaitFor([&] { return !link.ReaderRunning(); }));
}

// Refused at once with the reason; a malformed address is no port. (A
// server that never answers is timed out in the program's network tests.)
TEST(NetworkLink, UnreachableServersFailWithTheirReason)
{
    const std::string closed = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
    SerialLink refused, malformed;
    PortProbe why;
    EXPECT_EQ(LinkTo(refused, "tcp://" + closed).Open(5, 9600, &why), -1);
    EXPECT_EQ(why.reason, ProbeResult::Unreachable);
    EXPECT_EQ(why.detail, closed + ": Connection refused");
    EXPECT_EQ(LinkTo(malformed, "tcp://nowhere").Probe(5).reason, ProbeResult::Missing);
    EXPECT_EQ(malformed.Open(5, 9600, &why), -1);
    EXPECT_NE(why.detail.find("not a network address"), std::string::npos);
}

// A server that held back 10,000 messages sends them at once to a link
// whose queue holds 64: the link stops reading while its queue is full and
// TCP holds the rest at the server, so every message comes, in order.
TEST(NetworkLink, ABacklogIsHeldBackNotDropped)
{
    Bytes backlog;
    for (int i = 0; i < 10000; ++i)
        for (std::uint8_t b : test::Frame(0x30, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)}))
            backlog.push_back(b);
    HoldingPeer server(backlog);
    SerialLink link(64);
    ASSERT_EQ(LinkTo(link, "tcp://127.0.0.1:" + std::to_string(server.Port())).Open(5, 9600), 5);
    std::this_thread::sleep_for(300ms); // time for a link that does not hold back to read on, and drop
    int taken = 0;
    test::WaitFor([&] {
        for (DeviceMessage m; link.TakeMessage(m) == DeviceLink::kTaken && m.payload[0] + m.payload[1] * 256 == taken;)
            ++taken;
        return taken == 10000;
    }, 10s);
    EXPECT_EQ(std::make_tuple(taken, link.DroppedCount()), std::make_tuple(10000, 0u));
}

// A peer that keeps asking (Telnet options) and reads nothing: the answers
// wait, the reader stops reading instead of waiting on the socket with the
// writes held, and a request is taken at once. Once the peer is gone,
// writing into the closed connection fails, without SIGPIPE.
TEST(NetworkLink, APeerThatStopsReadingHoldsUpNeitherSide)
{
    Bytes asks = {kIac, kDo, kComPortOption};
    for (int i = 0; i < 2000000; ++i) asks.insert(asks.end(), {kIac, kDo, 24});
    std::optional<HoldingPeer> server(std::in_place, asks, 4096);
    SerialLink link;
    ASSERT_EQ(LinkTo(link, "rfc2217://127.0.0.1:" + std::to_string(server->Port())).Open(5, 9600), 5);
    EXPECT_FALSE(test::WaitFor([&] { return !link.ReaderRunning(); }, 4s));
    EXPECT_NE(link.Send(OutgoingRequest{}), -1);
    server.reset();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(link.Send(OutgoingRequest{}), -1);
}

} // namespace
} // namespace tolvane
