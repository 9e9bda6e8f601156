// The program on network ports, through a real ser2net in front of the
// simulator: raw TCP and RFC 2217, a plain relay taken for RFC 2217, a
// server that dies and comes back, one that closes each connection at once,
// and servers that refuse or never answer. Loopback addresses only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>


#include "dialogs/com_port_dialog.h"
#include "dialogs/dialog_test_support.h"
#include "views/message_view.h"
#include "frame_fixture.h"
#include "support/ser2net_server.h"

namespace tolvane {
namespace {

using NetworkPortTest = MainFrameTest;

TEST_F(NetworkPortTest, RawTcpStartsUpAndComesBackAfterTheServerDies)
{
    sim.emplace(dir);
    Ser2NetServer server(dir.path().toStdString(), sim->Link(), false);
    ASSERT_TRUE(server.Listening());
    // By name: it resolves off the window's thread, and ::1 may come first and be refused.
    MakeFrame("tcp://localhost:" + std::to_string(server.Port()));
    ASSERT_TRUE(ChainEnded());
    EXPECT_EQ(Pane(kPaneComPort), " COM1 Open ");

    const std::size_t requests = sim->Requests().size();
    server.Stop();
    ASSERT_TRUE(PortShows("Lost", 15000));
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(PortShows("Open", 8000));
    // The identity is asked for again on the new connection.
    EXPECT_TRUE(WaitUntil([&] { return sim->Requests().size() > requests; }));
}

// The program starts at 9600, the module sends at 19200: only a rate that
// reached the remote port makes the exchange work. The serial number
// 65535 puts 0xFF bytes, Telnet's IAC, into the reply.
TEST_F(NetworkPortTest, Rfc2217SetsTheRemoteRateAndCarries0xFF)
{
    sim.emplace(dir, std::vector<std::string>{"--baud", "19200", "--serial", "65535"});
    Ser2NetServer server(dir.path().toStdString(), sim->Link(), true);
    ASSERT_TRUE(server.Listening());
    MakeFrame(server.Path());
    ASSERT_TRUE(PortShows("Open", 8000));
    EXPECT_TRUE(Never([&] { return frame->Session().VersionKnown(); }, 1500));

    frame->RunCommand(kCmdBaud19200);
    EXPECT_EQ(Pane(kPaneComPort), " COM1 Open ");
    frame->RunCommand(kCmdSerialNo);
    ASSERT_TRUE(Identified());
    EXPECT_EQ(frame->Session().Identity().serialNumber, 65535);
    EXPECT_TRUE(frame->Action(kCmdBaud19200)->isChecked());
    // A wrong rate chosen on the live connection, then Detect: each rate
    // it tries counts afresh, not with the good messages of before.
    frame->RunCommand(kCmdBaud38400);
    test::BoxAnswerer boxes;
    frame->RunCommand(kCmdBaudDetect);
    EXPECT_EQ(frame->Session().BaudRate(), 19200);
}

// rfc2217:// to a plain relay (ser2net serving raw TCP) is truly raw: the
// reply's 0xFF bytes are taken as they come, on every connection.
TEST_F(NetworkPortTest, Rfc2217ToAPlainRelayIsRawTcp)
{
    sim.emplace(dir, std::vector<std::string>{"--serial", "65535"});
    Ser2NetServer server(dir.path().toStdString(), sim->Link(), false);
    ASSERT_TRUE(server.Listening());
    MakeFrame("rfc2217://127.0.0.1:" + std::to_string(server.Port()));
    ASSERT_TRUE(Identified());
    EXPECT_EQ(frame->Session().Identity().serialNumber, 65535);
    server.Stop();
    ASSERT_TRUE(PortShows("Lost", 15000) && server.Start());
    EXPECT_TRUE(WaitUntil([&] { return Viewed("DVRSN") == 2; }, 15000));
}

// ser2net restarted without its device takes each connection and closes
// it at once. The port stays lost, without a " COM1 Open " line for a
// connection that did not last, and is tried until the device is back.
TEST_F(NetworkPortTest, AServerThatClosesAtOnceLeavesThePortLostUntilItsDeviceIsBack)
{
    for (const bool rfc2217 : {false, true}) {
        frame.reset();
        sim.emplace(dir);
        Ser2NetServer server(dir.path().toStdString(), sim->Link(), rfc2217);
        ASSERT_TRUE(server.Listening());
        MakeFrame(server.Path());
        ASSERT_TRUE(PortShows("Open", 8000));
        sim.reset();
        QFile::remove(dir.filePath("compass"));
        server.Stop();
        ASSERT_TRUE(PortShows("Lost", 15000) && server.Start());
        const int lines = frame->View()->LineCount();
        EXPECT_TRUE(Never([&] { return frame->View()->LineCount() != lines; }, 4000)) << rfc2217;
        sim.emplace(dir);
        EXPECT_TRUE(PortShows("Open", 15000)) << rfc2217;
    }
}

// Refused at once; a server whose queue is full never answers and is given
// up on after its time limit while the window keeps running. Either way
// the reason is where the COM port dialog gives reasons.
TEST_F(NetworkPortTest, UnreachableServersAreReportedWithTheirReason)
{
    const int closed = FreeLoopbackPort();
    EXPECT_EQ(MakeFrameAndCancelPortDialog("tcp://127.0.0.1:" + std::to_string(closed)),
              QString("Open COM Port|COM1 could not be reached: 127.0.0.1:%1: Connection refused.").arg(closed));
    frame.reset();

    const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&a), size), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    ::getsockname(full, reinterpret_cast<sockaddr*>(&a), &size);
    std::vector<int> queued;
    for (int i = 0; i < 4; ++i) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr*>(&a), size);
    }
    int ticks = 0;
    QTimer alive;
    QObject::connect(&alive, &QTimer::timeout, [&] { ++ticks; });
    alive.start(50);
    const int port = ntohs(a.sin_port);
    EXPECT_EQ(MakeFrameAndCancelPortDialog("tcp://127.0.0.1:" + std::to_string(port)),
              QString("Open COM Port|COM1 could not be reached: 127.0.0.1:%1: no answer within 3 s.").arg(port));
    // The event loop ran while the connection was waited for.
    EXPECT_GE(ticks, 10);
    for (int fd : queued) ::close(fd);
    ::close(full);
}

} // namespace
} // namespace tolvane
