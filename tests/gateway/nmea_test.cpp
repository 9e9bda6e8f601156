// The NMEA sentences the gateway makes, read back by Debian's NMEA parser,
// and its server over real sockets on 127.0.0.1.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "gateway/nmea_out.h"
#include "gateway/nmea_server.h"

namespace tolvane {
namespace {

DeviceMessage Message(std::uint16_t type, std::string_view payload)
{
    DeviceMessage m;
    m.type = type;
    m.length = static_cast<std::uint16_t>(payload.size());
    std::memcpy(m.payload, payload.data(), payload.size());
    return m;
}

// Checksums worked out by hand: the XOR of the characters between '$' and '*'.
TEST(NmeaOut, SentencesAndTheirChecksums)
{
    const std::pair<std::uint16_t, const char*> headings[] = {
        {0, "$HCHDT,0.0,T*29\r\n"},     {9, "$HCHDT,0.0,T*29\r\n"},     {10, "$HCHDT,0.1,T*28\r\n"},
        {16384, "$HCHDT,90.0,T*10\r\n"}, {65526, "$HCHDT,359.9,T*2F\r\n"}, {65527, "$HCHDT,0.0,T*29\r\n"},
    };
    for (const auto& [azimuth, sentence] : headings) {
        std::string out;
        AppendHeadingSentence(azimuth, out);
        EXPECT_EQ(out, sentence) << azimuth;
    }
    // As the program's texts: -1 count is "-0.0".
    const std::tuple<std::int16_t, std::int16_t, const char*> attitudes[] = {
        {-218, 455, "$HCXDR,A,-1.2,D,PTCH,A,2.5,D,ROLL*7E\r\n"},
        {-1, 0, "$HCXDR,A,-0.0,D,PTCH,A,0.0,D,ROLL*7A\r\n"},
        {32767, -32768, "$HCXDR,A,180.0,D,PTCH,A,-180.0,D,ROLL*7A\r\n"},
    };
    for (const auto& [pitch, roll, sentence] : attitudes) {
        std::string out;
        AppendAttitudeSentence(pitch, roll, out);
        EXPECT_EQ(out, sentence) << pitch << " " << roll;
    }
}

// An orientation (roll 455, pitch -218, azimuth 16384, little-endian) gives
// heading then attitude; the module's sentence goes as it came; a sentence
// the link cut at 80 characters and other messages give nothing.
TEST(NmeaOut, WhatEachMessageGives)
{
    const std::string cut = "$GPGSV," + std::string(73, '1');
    const std::pair<DeviceMessage, std::string> cases[] = {
        {Message(0x70, std::string("\xC7\x01\x26\xFF\x00\x40", 6)),
         "$HCHDT,90.0,T*10\r\n$HCXDR,A,-1.2,D,PTCH,A,2.5,D,ROLL*7E\r\n"},
        {Message(kNmeaType, "$HCHDG,101.1,,,7.1,W*3C"), "$HCHDG,101.1,,,7.1,W*3C\r\n"},
        {Message(kNmeaType, cut), ""},
        {Message(0x71, std::string("\xC7\x01\x26\xFF\x00\x40", 6)), ""},
    };
    for (const auto& [message, sentences] : cases) {
        std::string out = "before\r\n";
        AppendNmeaFor(message, out);
        EXPECT_EQ(out, "before\r\n" + sentences);
    }
}

// pynmea2 checks each checksum and reads the fields.
TEST(NmeaOut, DebiansParserReadsEveryKind)
{
    std::string sentences;
    AppendHeadingSentence(65526, sentences);
    AppendAttitudeSentence(-218, -32768, sentences);
    const std::string command = std::string(TOLVANE_DEBIAN_PYTHON) +
                                " -c 'import sys, pynmea2\nfor line in sys.stdin: "
                                "m = pynmea2.parse(line.strip(), check=True); print(type(m).__name__, m.data)'";
    std::FILE* pipe = ::popen((command + " <<'END'\n" + sentences + "END\n").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[512] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
    EXPECT_EQ(::pclose(pipe), 0) << "is python3-nmea2 installed (tools/install-deps)?";
    EXPECT_EQ(std::string(buffer, n), "HDT ['359.9', 'T']\n"
                                      "XDR ['A', '-1.2', 'D', 'PTCH', 'A', '-180.0', 'D', 'ROLL']\n");
}

const SocketAddress kLoopback{false, {127, 0, 0, 1}, 0};

int Connect(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage at{};
    SocketAddress to = kLoopback;
    to.port = port;
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&at), to.ToSockaddr(at)), 0);
    return fd;
}

// Whatever `fd` holds now; "EOF" once the server has closed it.
std::string ReadNow(int fd)
{
    std::string got;
    char chunk[65536];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT)) != 0;) {
        if (n < 0) return got;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got + "EOF";
}

struct NmeaServerTest : ::testing::Test {
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(server.Listen(kLoopback, error)) << error;
        port = server.ListeningOn()->port;
        loop.Add(server);
    }
    // Passes of the loop until `done`, a bounded number.
    template <typename Done>
    bool RunUntil(Done done)
    {
        for (int i = 0; i < 200; ++i) {
            if (done()) return true;
            loop.RunOnce(20);
        }
        return false;
    }

    NmeaServer server;
    EventLoop loop;
    std::uint16_t port = 0;
};

// A client that never reads is dropped once its queue passes 64 KiB; the
// client that reads gets every byte, in order, before and after.
TEST_F(NmeaServerTest, AClientThatDoesNotReadIsDroppedAndTheOthersGetEverything)
{
    const int stuck = Connect(port), reader = Connect(port);
    ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 2; }));
    std::string sent, got;
    for (int i = 0; i < 200000 && server.ClientCount() == 2; ++i) {
        const std::string sentence = "$HCHDT," + std::to_string(i % 360) + ".0,T*00\r\n";
        server.Publish(sentence);
        sent += sentence;
        loop.RunOnce(0);
        got += ReadNow(reader);
    }
    EXPECT_EQ(server.ClientCount(), 1u);
    EXPECT_EQ(server.DroppedClients(), 1u);
    server.Publish("$HCHDT,1.0,T*00\r\n");
    sent += "$HCHDT,1.0,T*00\r\n";
    ASSERT_TRUE(RunUntil([&] { return (got += ReadNow(reader)).size() >= sent.size(); }));
    EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size();
    // What the stuck client holds is whole up to where it was dropped.
    std::string held;
    ASSERT_TRUE(RunUntil([&] { return (held += ReadNow(stuck)).ends_with("EOF"); }));
    held.resize(held.size() - 3);
    EXPECT_LT(held.size(), sent.size());
    EXPECT_TRUE(sent.starts_with(held));
    ::close(stuck), ::close(reader);
}

// The 17th client is closed at once; a client's garbage is ignored; a
// client that leaves is forgotten.
TEST_F(NmeaServerTest, SixteenClientsGarbageIgnored)
{
    std::vector<int> clients;
    for (int i = 0; i < 17; ++i) clients.push_back(Connect(port));
    ASSERT_TRUE(RunUntil([&] { return server.RefusedClients() == 1; }));
    EXPECT_EQ(server.ClientCount(), 16u);
    EXPECT_EQ(ReadNow(clients[16]), "EOF");
    ASSERT_EQ(::send(clients[0], "GET / HTTP/1.0\r\n\r\n\x00\xFF", 20, 0), 20);
    loop.RunOnce(20);
    server.Publish("$HCHDT,90.0,T*10\r\n");
    for (int i = 0; i < 16; ++i) {
        std::string got;
        ASSERT_TRUE(RunUntil([&] { return (got += ReadNow(clients[i])).size() >= 18; }));
        EXPECT_EQ(got, "$HCHDT,90.0,T*10\r\n") << "client " << i;
    }
    ::close(clients[5]);
    EXPECT_TRUE(RunUntil([&] { return server.ClientCount() == 15; }));
    EXPECT_EQ(server.DroppedClients(), 0u);
    for (int fd : clients) ::close(fd);
}

// Each datagram is one whole sentence, to every destination.
TEST_F(NmeaServerTest, DatagramsCarryWholeSentences)
{
    int receivers[2];
    std::string error;
    for (int& fd : receivers) {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_storage at{};
        socklen_t length = kLoopback.ToSockaddr(at);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&at), length), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
        ASSERT_TRUE(server.AddDestination(FromSockaddr(at), error));
    }
    server.Publish("$HCHDT,90.0,T*10\r\n$HCXDR,A,-1.2,D,PTCH,A,2.5,D,ROLL*7E\r\n");
    server.Publish("$HCHDG,101.1,,,7.1,W*3C\r\n");
    for (int fd : receivers) {
        for (const char* sentence : {"$HCHDT,90.0,T*10\r\n", "$HCXDR,A,-1.2,D,PTCH,A,2.5,D,ROLL*7E\r\n",
                                     "$HCHDG,101.1,,,7.1,W*3C\r\n"}) {
            char datagram[256];
            const ssize_t n = ::recv(fd, datagram, sizeof datagram, 0);
            EXPECT_EQ(std::string(datagram, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), sentence);
        }
        ::close(fd);
    }
    EXPECT_EQ(server.LostDatagrams(), 0u);
}

} // namespace
} // namespace tolvane
