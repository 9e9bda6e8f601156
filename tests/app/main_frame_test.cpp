// The main frame against tolvane-sim over a real pseudo-terminal: start-up
// without a remembered port, the commands' enabling, and the program's end
// on a signal; also the display font chooser.
#include "app/display_font_dialog.h"
#include "app/tolvane_app.h"

#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <csignal>
#include <cstdlib>

#include "dialogs/dialog_test_support.h"
#include "frame_fixture.h"
#include "support/golden.h"
#include "support/test_data.h"
#include "tolvane_version.h"

namespace tolvane {
namespace {

// 2^32 + 1 must not wrap round to COM1, the simulator (the setting's
// other readings are the chooser's own table). Cancelled, the dialog
// leaves no port remembered.
TEST_F(MainFrameTest, NoRememberedPortOpensTheComPortDialog)
{
    sim.emplace(dir);
    EXPECT_TRUE(MakeFrameAndCancelPortDialog(sim->Link(), Q_INT64_C(4294967297)).startsWith("Open COM Port|"));
    EXPECT_EQ(link->PortNumber(), -1);
    EXPECT_EQ(settings->value("Compass/COMPort").toInt(), 0);
}

// Each ending signal closes the program as Exit does, with status 0, also
// while the Open COM Port dialog (remembered COM2 does not exist) is open.
TEST_F(MainFrameTest, EndSignalsCloseAsExitDoesAndTheProgramExitsWithZero)
{
    for (const auto& [signal, remembered] : {std::pair{SIGTERM, 2}, std::pair{SIGINT, 1}, std::pair{SIGHUP, 1}}) {
        SCOPED_TRACE(std::to_string(signal) + " COM" + std::to_string(remembered));
        QTemporaryDir home;
        Simulator compass(home);
        const QString conf = home.filePath("Kelvaro/Tolvane.conf");
        {
            QSettings written(conf, QSettings::IniFormat);
            written.setValue("Compass/COMPort", remembered);
            written.setValue("Ports/COM1", QString::fromStdString(compass.Link()));
            written.setValue("Ports/COM2", home.filePath("none"));
        }
        const std::string config = "XDG_CONFIG_HOME=" + home.path().toStdString();
        SimProcess program(TOLVANE_APP_PATH, {}, {config, "QT_QPA_PLATFORM=offscreen"});
        ASSERT_TRUE(program.Started());
        // Ready: the serial number request has arrived, or the dialog, listing COM1 with no port open, has written 0.
        ASSERT_TRUE(WaitUntil([&] {
            return remembered == 1 ? !compass.Requests().empty() && compass.Requests().front() == 0xC3
                                   : QSettings(conf, QSettings::IniFormat).value("Compass/COMPort") == 0;
        }, 10000));
        EXPECT_EQ(program.Stop(signal), 0);
    }
}

// Each program answers --help and --version with no display at hand (nor
// anything else in its environment), on standard output (1) with status 0,
// and refuses what it does not know with a usage line on standard error (2)
// and status 2.
TEST(CommandLine, HelpVersionAndRefusals)
{
    // Program, argument, exit status, the stream read and what it starts with.
    const std::tuple<const char*, const char*, int, int, std::string> rows[] = {
        {TOLVANE_APP_PATH, "--help", 0, 1, "Usage: tolvane [--replay FILE] [--help | --version]\n"},
        {TOLVANE_APP_PATH, "--version", 0, 1, std::string("tolvane ") + kVersion + "\n"},
        {TOLVANE_APP_PATH, "--replay", 2, 2, "tolvane: option '--replay' needs a file\nUsage: tolvane "},
        {TOLVANE_APP_PATH, "--replay=", 2, 2, "tolvane: option '--replay' needs a file\nUsage: tolvane "},
        {TOLVANE_SIM_PATH, "-h", 0, 1, "Usage: tolvane-sim [OPTION]...\n"},
        {TOLVANE_SIM_PATH, "--version", 0, 1, std::string("tolvane-sim ") + kVersion + "\n"},
        {TOLVANE_SIM_PATH, "--firmware", 2, 2, "tolvane-sim: --firmware needs a value\nUsage: tolvane-sim "},
        {TOLVANE_DECODE_PATH, "--help", 0, 1, "Usage: tolvane-decode "},
        {TOLVANE_DECODE_PATH, "--version", 0, 1, std::string("tolvane-decode ") + kVersion + "\n"},
        {TOLVANE_DECODE_PATH, "--cvs", 2, 2, "tolvane-decode: unexpected argument '--cvs'\nUsage: tolvane-decode "},
    };
    for (const auto& [program, arg, status, stream, starts] : rows) {
        SimProcess run("/usr/bin/env", {"-i", program, arg}, {}, stream);
        const std::string output = run.Output(true);
        // The exit status, then the start of what was read.
        EXPECT_EQ(std::to_string(run.Stop(0)) + output.substr(0, starts.size()), std::to_string(status) + starts);
    }
}

// Under a locale with a decimal comma (made here, as a user's machine has
// it) the program still writes and reads numbers with a point: its log's
// records, its texts and its number entry are the module's numbers.
TEST(ProgramLocale, NumbersKeepTheirPointUnderACommaLocale)
{
    const test::TempDir locales;
    const std::string made = "localedef -i de_DE -f UTF-8 " + (locales / "de_DE.UTF-8") + " 2>/dev/null";
    ASSERT_EQ(std::system(made.c_str()), 0) << "the locales package is needed";
    const std::string env = "LOCPATH=" + locales.path.string();
    SimProcess run("/usr/bin/env", {"-i", env, "LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen",
                                    TOLVANE_LOCALE_PROBE_PATH}, {}, 1);
    EXPECT_EQ(run.Output(true), "11.5 2.25\n");
}

TEST_F(MainFrameTest, PortEntriesThatNameNoDeviceKeepTheDefaults)
{
    settings->setValue("Ports/COM1", "");
    settings->setValue("Ports/COM2", dir.path());
    settings->setValue("Ports/COM8", "/dev/ttyCompass");
    const PortMap ports = CTolvaneApp::PortsFromSettings(*settings);
    EXPECT_EQ(ports.Path(1) + "|" + ports.Path(2) + "|" + ports.Path(8),
              PortMap::DefaultPath(1) + "|" + PortMap::DefaultPath(2) + "|/dev/ttyCompass");
}

// Without a port only what needs none is enabled; the baud rates sit in
// their submenu; an open Nav Console can be closed.
TEST_F(MainFrameTest, EnablingFollowsThePort)
{
    MakeFrameAndCancelPortDialog();
    frame->UpdateCommandStates();
    for (int id : {kCmdSerialNo, kCmdInitializeToolbar, kCmdNavConsole})
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    for (int id : {kCmdSelfTest, kCmdBaud4800, kCmdToggleNmea}) EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
    const auto* rates = qobject_cast<QMenu*>(frame->Action(kCmdBaud4800)->associatedObjects().value(0));
    EXPECT_EQ(rates ? rates->title() : "", "&Baud Rate");

    frame->RunCommand(kCmdNavConsole);
    EXPECT_TRUE(frame->Action(kCmdNavConsoleToolbar)->isEnabled() && frame->Console().Stale());
    frame->RunCommand(kCmdNavConsole);
    EXPECT_FALSE(frame->Console().IsOpen() || frame->Action(kCmdNavConsoleToolbar)->isEnabled());

    // A log's name shows in its pane as text, not markup.
    ASSERT_TRUE(log->OpenPath(dir.filePath("<b>x&amp;.dta").toStdString(), false));
    EXPECT_EQ(Pane(kPaneLogging), " Logging to <b>x&amp;.dta");
    EXPECT_EQ(frame->Pane(kPaneLogging)->textFormat(), Qt::PlainText);
}

// Orientation faster than the 80 ms hold-off: the plot (opened with no
// port, and stale) holds every message, at its arrival time.
TEST_F(MainFrameTest, ThePlotHoldsEveryOrientationMessageOfABurst)
{
    MakeFrameAndCancelPortDialog();
    frame->RunCommand(kCmdOrientationPlotToolbar);
    EXPECT_TRUE(frame->Plot().IsOpen() && frame->Action(kCmdOrientationPlot)->isChecked() && frame->Plot().Stale());
    for (std::int32_t i = 0; i < 100; ++i)
        static_cast<test::InProcessLink&>(*link).Deliver(
            {.type = TypeByte(MessageType::Orientation), .length = 6, .timestamp = 3 * i});
    QCoreApplication::processEvents();
    const plot::SampleRing& held = frame->Plot().Samples();
    ASSERT_EQ(held.Size(), 100u);
    EXPECT_EQ(held.Newest().timeMs, 297);
}

// On a link in process with COM1 open and COM2 free: the view's pause and
// a capture's file shown in the status bar, where no child window covers
// them; the next capture proposed in the last one's folder; the Filter's
// NMEA tick and the NMEA switch one; a line between one port's stream and
// the next's; no Alt key taken twice with the plot open.
TEST_F(MainFrameTest, StatusBarMarksNmeaTickAndALineBetweenPorts)
{
    auto compass = std::make_unique<test::InProcessLink>();
    for (int port : {1, 2}) compass->SetProbe(port, PortProbe(ProbeResult::Free));
    settings->setValue("Compass/COMPort", 1);
    MakeFrameOn(std::move(compass));
    ASSERT_TRUE(WaitUntil([&] { return link->PortNumber() == 1; }));
    static_cast<test::InProcessLink&>(*link).Deliver({.type = kNmeaType, .length = 1, .payload = {'$'}});
    // By its shortcut, which works wherever the focus is in the window.
    frame->activateWindow();
    QTest::keySequence(frame.get(), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    EXPECT_TRUE(Pane(kPaneReadBack) == "Paused" && !frame->Pane(kPaneReadBack)->isHidden());
    ASSERT_TRUE(QDir(dir.path()).mkdir("captures"));
    ASSERT_TRUE(frame->Session().StartCapture(dir.filePath("captures/s.tcap").toStdString()));
    EXPECT_TRUE(Pane(kPaneCapture) == " Capturing to s.tcap " && !frame->Pane(kPaneCapture)->isHidden());
    frame->Session().StopCapture();
    EXPECT_TRUE(frame->Pane(kPaneCapture)->isHidden());
    RunDialog(kCmdCaptureRawStream, [&](QDialog& d) {
        EXPECT_EQ(qobject_cast<QFileDialog*>(&d)->directory(), QDir(dir.filePath("captures")));
    });

    frame->RunCommand(kCmdToggleNmea);
    RunDialog(kCmdMessagesFilter, [](QDialog& d) {
        QListWidgetItem* nmea = d.findChild<QListWidget*>()->item(0);
        EXPECT_EQ(nmea->checkState(), Qt::Unchecked);
        nmea->setCheckState(Qt::Checked);
        d.accept();
    });
    EXPECT_TRUE(frame->Action(kCmdToggleNmea)->isChecked());
    RunDialog(kCmdComPort, [](QDialog& d) {
        // Closed, no row stays highlighted on screen: Open is off until one is chosen.
        auto* ports = ControlOf<QListWidget>(d, 1000);
        Click(d, 8);
        QTest::qWait(50);
        const QImage shown = d.screen()->grabWindow(d.winId()).toImage().copy(ports->geometry());
        EXPECT_TRUE(shown.convertToFormat(QImage::Format_RGB32) ==
                    ports->grab().toImage().convertToFormat(QImage::Format_RGB32)) << "a row left highlighted";
        ports->setCurrentRow(1);
        Click(d, 1);
    });
    EXPECT_STREQ(frame->View()->Line(frame->View()->LineCount() - 1).text, " COM2 Open ");

    frame->RunCommand(kCmdOrientationPlot);
    QStringList keys;
    for (const QAction* menu : frame->menuBar()->actions()) keys << QKeySequence::mnemonic(menu->text()).toString();
    for (const auto* control : frame->Plot().Window()->findChildren<QWidget*>()) {
        const QString text = control->property("text").toString();
        if (text.contains('&')) keys << QKeySequence::mnemonic(text).toString();
    }
    EXPECT_EQ(keys.removeDuplicates(), 0) << keys.join(' ').toStdString();
}

// The font chooser, a step a line in app_display_font.txt: the sizes
// offered (8 to 20 whatever the family), a size typed and the row it
// selects, OK refusing a size typed below 8 or set above 20, a row picked
// filling the field, and the plain font OK gives.
TEST(DisplayFontDialog, OffersEightToTwentyPointsAndGivesAPlainFont)
{
    QFont marked = QApplication::font();
    marked.setUnderline(true);
    DisplayFontDialog chooser(marked, nullptr);
    chooser.show();
    auto* families = chooser.findChild<QListWidget*>("family");
    auto* sizes = chooser.findChild<QListWidget*>("sizes");
    auto* sizeEdit = chooser.findChild<QLineEdit*>("size");
    ASSERT_TRUE(families != nullptr && sizes != nullptr && sizeEdit != nullptr);
    families->setCurrentRow(families->count() - 1);
    QString made = "# Sizes offered; each step, then the size field and list row (-1: none); OK: still open? [box]\n"
                   "offered:";
    for (int row = 0; row < sizes->count(); ++row) made += " " + sizes->item(row)->text();
    const auto step = [&](const QString& what) {
        made += QString("\n%1 -> field \"%2\", row %3").arg(what, sizeEdit->text()).arg(sizes->currentRow());
    };
    for (const char* typed : {"8", "1", "20", "21", "1a9", "09"}) {
        test::Type(sizeEdit, typed);
        step(QString("typed \"%1\"").arg(typed));
    }
    // Whatever is pasted, the field holds a size the view can show or less.
    for (const test::BadInput& input : test::BadInputs()) {
        test::Paste(sizeEdit, input.text);
        EXPECT_LE(sizeEdit->text().toInt(), DisplayFontDialog::kLargest) << input.fault;
    }
    QFont large = chooser.currentFont();
    large.setPointSize(21);
    const auto ok = [&](const QString& what) {
        test::BoxAnswerer boxes;
        chooser.done(QDialog::Accepted);
        step(what + ", OK: " + (chooser.isVisible() ? "open" : "closed") + " [" + boxes.SaidSince() + "]");
    };
    test::Type(sizeEdit, "7");
    ok("typed \"7\"");
    chooser.setCurrentFont(large);
    ok("21 points set");
    sizes->setCurrentRow(3);
    ok("row 3 picked");
    made += QString("\nchosen: %1 points, underlined %2\n").arg(chooser.selectedFont().pointSize())
                .arg(chooser.selectedFont().underline());
    test::ExpectGolden("app_display_font.txt", made.toStdString());
}

} // namespace
} // namespace tolvane
