// Network ports: the address forms, the Telnet client fed split at every
// byte, and the link over a loopback socket this test serves itself.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/framing.h"
#include "link/network_port.h"
#include "link/serial_link.h"
#include "link/telnet.h"

namespace tolvane {
namespace {
using namespace telnet;
using Bytes = std::vector<std::uint8_t>;

TEST(NetworkPort, ParsesBothFormsAndRefusesNearMisses)
{
    struct Row {
        const char* path;
        std::optional<NetworkPort> expected;
    };
    const Row rows[] = {
        {"tcp://localhost:2000", NetworkPort{false, "localhost", "2000"}},
        {"rfc2217://192.168.1.20:4001/", NetworkPort{true, "192.168.1.20", "4001"}},
        {"rfc2217://[::1]:65535", NetworkPort{true, "::1", "65535"}},
        {"tcp://host:0", std::nullopt},
        {"tcp://host:65536", std::nullopt},
        {"tcp://host:02000", std::nullopt},
        {"tcp://host", std::nullopt},
        {"tcp://:2000", std::nullopt},
        {"tcp://::1:2000", std::nullopt},
        {"tcp://[::1:2000", std::nullopt},
        {"udp://host:2000", std::nullopt},
        {"/dev/ttyUSB0", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(ParseNetworkPort(row.path), row.expected) << row.path;
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
        {"unknown options refused politely",
         {kIac, kDo, 24, 'a', kIac, kWill, 1},
         {'a'},
         {kIac, kWont, 24, kIac, kDont, 1},
         false, 0},
        {"the COM-PORT-OPTION refused",
         {kIac, kDont, kComPortOption},
         {},
         {kIac, kWont, kComPortOption},
         true, 0},
        {"a binary mode turned off is acknowledged once",
         {kIac, kWont, kBinary, kIac, kWont, kBinary},
         {},
         {kIac, kDont, kBinary},
         false, 0},
        {"the rate the server reports, 0xFF escaped inside",
         {kIac, kSb, kComPortOption, 101, 0, 0, 0x4B, 0, kIac, kSe, 'x', kIac, kSb, kComPortOption, 101, 0, 0, 0x25,
          kIac, kIac, kIac, kSe},
         {'x'}, {}, false, 0x25FF},
        {"other subnegotiations and commands carry nothing",
         {kIac, kSb, kComPortOption, 107, 0x30, kIac, kSe, kIac, 241, 'y', kIac, kSb, 24, 1, kIac, kSe},
         {'y'}, {}, false, 0},
        {"a command inside a subnegotiation ends it",
         {kIac, kSb, kComPortOption, 101, 0, kIac, kDo, 24, 'z'},
         {'z'},
         {kIac, kWont, 24},
         false, 0},
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

TEST(TelnetClient, WritesTheLineAndEscapesData)
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
    Bytes out;
    const Bytes data = {1, kIac, 2};
    TelnetClient::Escape(data.data(), data.size(), out);
    EXPECT_EQ(out, (Bytes{1, kIac, kIac, 2}));
}

// A listening socket on 127.0.0.1; the port is the system's choice.
struct Listener {
    explicit Listener(int backlog = 4)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), size), 0);
        EXPECT_EQ(::listen(fd, backlog), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    int Accept() const
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 3000) == 1 ? ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }
    std::string Path(const char* scheme) const { return std::string(scheme) + "://127.0.0.1:" + std::to_string(port); }
    int fd = -1;
    int port = 0;
};

// Reads from `fd` until `n` bytes came or a second passed.
Bytes ReadSome(int fd, std::size_t n)
{
    Bytes got;
    std::uint8_t buf[512];
    pollfd p{fd, POLLIN, 0};
    while (got.size() < n && ::poll(&p, 1, 1000) == 1) {
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) break;
        got.insert(got.end(), buf, buf + r);
    }
    return got;
}

std::unique_ptr<SerialLink> LinkTo(const std::string& path)
{
    auto link = std::make_unique<SerialLink>();
    PortMap ports;
    ports.SetPath(5, path);
    link->SetPortMap(ports);
    return link;
}

// Over RFC 2217 the server's 0xFF reaches the receivers once, a request's
// 0xFF goes out doubled, and the capture sees the module's bytes only.
TEST(NetworkLink, Rfc2217CarriesBinaryFramesIntact)
{
    Listener server;
    auto owned = LinkTo(server.Path("rfc2217"));
    SerialLink& link = *owned;
    EXPECT_EQ(link.Probe(5).reason, ProbeResult::Free);
    std::thread acceptor([&] {
        const int peer = server.Accept();
        ASSERT_GE(peer, 0);
        // The start, the line, then the confirmation of the rate.
        const Bytes line = TelnetClient::SetLine(19200);
        const Bytes hello = ReadSome(peer, 15 + line.size() + 14);
        ASSERT_EQ(hello.size(), 15 + line.size() + 14);
        EXPECT_EQ(Bytes(hello.begin() + 15, hello.begin() + 15 + static_cast<long>(line.size())), line);
        const Bytes ack = {kIac, kDo, kComPortOption, kIac, kSb, kComPortOption, 101, 0, 0, 0x4B, 0, kIac, kSe};
        ASSERT_EQ(::write(peer, ack.data(), ack.size()), static_cast<ssize_t>(ack.size()));
        std::uint8_t frame[16];
        const std::uint8_t payload[] = {0xFF, 0x01};
        const std::size_t n = EncodeBinaryFrame(0x44, payload, 2, frame);
        Bytes escaped;
        TelnetClient::Escape(frame, n, escaped);
        ASSERT_EQ(::write(peer, escaped.data(), escaped.size()), static_cast<ssize_t>(escaped.size()));
        const Bytes request = ReadSome(peer, 8);
        const auto sum = static_cast<std::uint8_t>(0x0D + 0x0A + 0x7E + 0x10 + 1 + 0xFF);
        EXPECT_EQ(request, (Bytes{0x0D, 0x0A, 0x7E, 0x10, 1, kIac, kIac, sum}));
        ::close(peer);
    });
    PortProbe why;
    ASSERT_EQ(link.Open(5, 19200, &why), 5) << why.detail;
    EXPECT_EQ(link.TakeNotice(), "");
    DeviceMessage message;
    for (int i = 0; i < 300 && link.TakeMessage(message) == DeviceLink::kEmpty; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(message.type, 0x44);
    EXPECT_EQ(message.length, 2);
    EXPECT_EQ(message.payload[0], 0xFF);
    OutgoingRequest request;
    request.type = 0x10;
    request.length = 1;
    request.payload[0] = 0xFF;
    EXPECT_NE(link.Send(request), -1);
    acceptor.join();
    // The server hung up: a lost port, as a pulled cable is.
    for (int i = 0; i < 300 && link.ReaderRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(link.ReaderRunning());
}

// Refused at once with the reason; a malformed address is no port. (A
// server that never answers is timed out in the program's network tests.)
TEST(NetworkLink, UnreachableServersFailWithTheirReason)
{
    int closedPort;
    {
        Listener gone;
        closedPort = gone.port;
    }
    auto refused = LinkTo("tcp://127.0.0.1:" + std::to_string(closedPort));
    PortProbe why;
    EXPECT_EQ(refused->Open(5, 9600, &why), -1);
    EXPECT_EQ(why.reason, ProbeResult::Unreachable);
    EXPECT_EQ(why.detail, "127.0.0.1:" + std::to_string(closedPort) + ": Connection refused");

    auto malformed = LinkTo("tcp://nowhere");
    EXPECT_EQ(malformed->Probe(5).reason, ProbeResult::Missing);
    EXPECT_EQ(malformed->Open(5, 9600, &why), -1);
    EXPECT_NE(why.detail.find("not a network address"), std::string::npos);
}

} // namespace
} // namespace tolvane
