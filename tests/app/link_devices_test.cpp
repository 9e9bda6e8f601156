// Devices as Linux users plug them in: choosing one for a COM number, an
// adapter replugged under a new node, finding the baud rate, the health
// pane and a capture whose disk fills up.
#include <QListWidget>
#include <QProgressDialog>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/command_states.h"
#include "dialogs/com_port_dialog.h"
#include "dialogs/dialog_test_support.h"
#include "dialogs/serial_device_dialog.h"
#include "frame_fixture.h"
#include "session/baud_detector.h"
#include "session/link_health.h"

namespace tolvane {
namespace {
namespace fs = std::filesystem;

// A pseudo-terminal pair the test holds both ends of.
struct Pty {
    Pty()
    {
        char name[64];
        EXPECT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
    }
    ~Pty() { ::close(master), ::close(slave); }
    // What the other end wrote so far.
    std::string Read() const
    {
        std::string got;
        char buf[256];
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
        return got;
    }
    int master = -1;
    int slave = -1;
    std::string path;
};

class LinkDevicesTest : public MainFrameTest {
protected:
    // Runs Detect to its end; the text of the box it shows, answered.
    QString Detect()
    {
        test::BoxAnswerer boxes;
        frame->RunCommand(kCmdBaudDetect);
        return boxes.seen.empty() ? "" : boxes.seen.front().text;
    }
};

class DetectAtRate : public LinkDevicesTest, public ::testing::WithParamInterface<int> {};

// The program starts at 9600: at any other rate it hears garbage, says so,
// and Detect finds the rate, checks it and asks for the identity there.
TEST_P(DetectAtRate, FindsTheCompassAndTheHealthPaneFollows)
{
    const int rate = GetParam();
    OpenOnSimulator({"--baud", std::to_string(rate)});
    ASSERT_TRUE(PortShows("Open"));
    if (rate != 9600) {
        EXPECT_TRUE(WaitUntil([&] { return Pane(kPaneLinkHealth) == kGarbledText; }, 6000))
            << Pane(kPaneLinkHealth).toStdString();
        EXPECT_FALSE(frame->Session().VersionKnown());
    }
    EXPECT_EQ(Detect(), "");
    EXPECT_EQ(frame->Session().BaudRate(), rate);
    for (int id : {kCmdBaud4800, kCmdBaud9600, kCmdBaud19200, kCmdBaud38400})
        EXPECT_EQ(frame->Action(id)->isChecked(), BaudRateOf(id) == rate) << id;
    EXPECT_TRUE(Identified());
    EXPECT_TRUE(WaitUntil([&] { return Pane(kPaneLinkHealth).startsWith(QString("%1 baud, ").arg(rate)); }, 4000))
        << Pane(kPaneLinkHealth).toStdString();
    EXPECT_TRUE(frame->Pane(kPaneLinkHealth)->toolTip().contains("good frames"));
}

INSTANTIATE_TEST_SUITE_P(Rates, DetectAtRate, ::testing::Values(4800, 9600, 19200, 38400));

// COM1 remembers the adapter's stable name; pulled out and plugged back
// in as another node, it is found again by the lost-port watch.
TEST_F(LinkDevicesTest, AReplugUnderANewNodeIsFoundByItsStableName)
{
    Pty first;
    Pty second;
    const fs::path byId = fs::path(dir.path().toStdString()) / "by-id" / "usb-Compass_Bridge-if00";
    fs::create_directories(byId.parent_path());
    fs::create_symlink(first.path, byId);
    MakeFrame(byId.string());
    ASSERT_TRUE(PortShows("Open"));

    ::close(std::exchange(first.master, -1));
    ASSERT_TRUE(PortShows("Lost"));
    fs::remove(byId);
    fs::create_symlink(second.path, byId);
    ASSERT_TRUE(PortShows("Open", 5000));
    // The identity is asked for on the new node.
    EXPECT_TRUE(WaitUntil([&] { return !second.Read().empty(); }));
}

// A made-up /dev seen through the COM port dialog's Device button: the list
// follows a device plugged in while it is open, and the choice is kept;
// a network address that names no port is not.
TEST_F(LinkDevicesTest, DeviceButtonChoosesAStableNameForTheSelectedPort)
{
    const fs::path dev = fs::path(dir.path().toStdString()) / "dev";
    fs::create_directories(dev / "serial" / "by-id");
    std::ofstream((dev / "ttyACM0").string());
    test::InProcessLink ports;
    ports.SetProbe(3, PortProbe(ProbeResult::Free));
    QtSessionTimers timers;
    SessionHost nobody;
    LogFile unused;
    CompassSession session(ports, unused, timers, nobody);
    ComPortDialog dialog(session, *settings, {});
    dialog.SetDeviceRoots({dev.string(), (dev / "sys").string()});
    auto* list = ControlOf<QListWidget>(dialog, 1000);
    list->setCurrentRow(0);

    std::vector<QString> seen;
    WhenModal([&](QWidget* w) {
        auto& chooser = *static_cast<SerialDeviceDialog*>(w);
        auto* devices = ControlOf<QListWidget>(chooser, SerialDeviceDialog::kListId);
        seen.push_back(devices->item(0)->text());
        // A network address without its port is refused where it is typed, with why.
        Edit(chooser, SerialDeviceDialog::kPathId)->setText("tcp://localhost");
        test::BoxAnswerer boxes;
        Click(chooser, 1);
        EXPECT_EQ(boxes.SaidSince(), "warning Serial Devices: tcp://localhost is not a network address: it names no "
                                     "port.\nWrite tcp://HOST:PORT or rfc2217://HOST:PORT.");
        // Plugged in now: a new node and its stable name.
        std::ofstream((dev / "ttyUSB0").string());
        fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_A1-if00-port0");
        EXPECT_TRUE(WaitUntil([&] { return devices->count() == 2; }));
        devices->setCurrentRow(0);
        const QString chosen = ControlOf<QLineEdit>(chooser, SerialDeviceDialog::kPathId)->text();
        devices->clearSelection(); // as a Ctrl+click does: the field keeps the choice
        EXPECT_EQ(ControlOf<QLineEdit>(chooser, SerialDeviceDialog::kPathId)->text(), chosen);
        devices->setCurrentRow(1);
        Click(chooser, 1);
    });
    Click(dialog, 1003);
    EXPECT_EQ(seen, std::vector<QString>{QString::fromStdString((dev / "ttyACM0").string())});
    const std::string stable = (dev / "serial" / "by-id" / "usb-FTDI_A1-if00-port0").string();
    EXPECT_EQ(ports.Ports().Path(3), stable);
    EXPECT_EQ(settings->value("Ports/COM3").toString().toStdString(), stable);
    EXPECT_TRUE(ControlOf<QLabel>(dialog, 1002)->text().startsWith(QString::fromStdString(stable)));
}

// A capture whose file stops taking bytes (here a file size limit) is
// stopped and reported once, naming the file; what was written stays.
TEST_F(LinkDevicesTest, ACaptureThatFailsPartwayIsStoppedAndReported)
{
    Pty port;
    MakeFrame(port.path);
    ASSERT_TRUE(PortShows("Open"));
    const QString path = dir.filePath("full.tcap");
    ASSERT_TRUE(frame->Session().StartCapture(path.toStdString()));

    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    test::BoxAnswerer boxes;
    const std::string chunk(512, 'x');
    for (int i = 0; i < 16; ++i) ASSERT_EQ(::write(port.master, chunk.data(), chunk.size()), 512);
    const bool reported = WaitUntil([&] { return !boxes.seen.empty(); }, 5000);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_TRUE(reported);
    const QString said = boxes.seen[0].text;
    EXPECT_TRUE(said.contains(path) && said.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << said.toStdString();
    EXPECT_FALSE(frame->Action(kCmdCaptureRawStream)->isChecked());
    EXPECT_TRUE(Never([&] { return boxes.seen.size() > 1; }, 1500));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readLine().startsWith("TOLVANE-CAPTURE"));
    EXPECT_GT(file.size(), 512);
}

} // namespace
} // namespace tolvane
