// The main frame against tolvane-sim over a real pseudo-terminal: start-up
// without a remembered port, the commands' enabling, and the program's end
// on a signal; also the display font chooser.
#include "app/display_font_dialog.h"
#include "app/tolvane_app.h"

#include <QListWidget>
#include <QMenu>

#include <csignal>

#include "dialogs/dialog_test_support.h"
#include "frame_fixture.h"
#include "support/golden.h"

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
