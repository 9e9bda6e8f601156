// The main frame against tolvane-sim over a real pseudo-terminal: start-up
// without a remembered port, the commands' enabling, and the program's end
// on a signal; also the display font chooser. Supervision and its question
// are the frame logic's tests and the fault suite's.
#include "app/display_font_dialog.h"
#include "app/tolvane_app.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>

#include <csignal>

#include "dialogs/dialog_test_support.h"
#include "frame_fixture.h"

namespace tolvane {
namespace {

TEST_F(MainFrameTest, NoRememberedPortOpensTheComPortDialog)
{
    // 2^32 + 1 must not wrap round to COM1.
    for (const QVariant& remembered : {QVariant(0), QVariant(9), QVariant("abc"), QVariant(Q_INT64_C(4294967297))}) {
        SCOPED_TRACE(remembered.toString().toStdString());
        Simulator sim(dir);
        settings->setValue("Compass/COMPort", remembered);
        bool dialogSeen = false;
        WhenModal([&](QWidget* w) {
            dialogSeen = w->windowTitle() == "Open COM Port";
            static_cast<QDialog*>(w)->reject();
        });
        MakeFrame(sim.Link());
        ASSERT_TRUE(WaitUntil([&] { return dialogSeen; }));
        EXPECT_EQ(link->PortNumber(), -1);
        frame.reset();
    }
}

TEST_F(MainFrameTest, EndSignalsCloseAsExitDoesAndTheProgramExitsWithZero)
{
    // Remembered COM1 is the simulator; remembered COM2 does not exist, so
    // the Open COM Port dialog is open, modal, when the signal comes.
    const std::pair<int, int> rows[] = {{SIGTERM, 1}, {SIGINT, 1}, {SIGHUP, 1}, {SIGTERM, 2}};
    for (const auto& [signal, remembered] : rows) {
        SCOPED_TRACE(std::to_string(signal) + " COM" + std::to_string(remembered));
        QTemporaryDir home;
        Simulator sim(home);
        const QString conf = home.filePath("Kelvaro/Tolvane.conf");
        {
            QSettings written(conf, QSettings::IniFormat);
            written.setValue("Compass/COMPort", remembered);
            written.setValue("Ports/COM1", QString::fromStdString(sim.Link()));
            written.setValue("Ports/COM2", home.filePath("none"));
        }
        SimProcess program(TOLVANE_APP_PATH, {},
                           {"XDG_CONFIG_HOME=" + home.path().toStdString(), "QT_QPA_PLATFORM=offscreen"});
        ASSERT_TRUE(program.Started());
        // Connected: the serial number request has arrived. Or the dialog,
        // listing COM1 with no port open, has written 0.
        const auto ready = [&] {
            return remembered == 1 ? !sim.Requests().empty() && sim.Requests().front() == 0xC3
                                   : QSettings(conf, QSettings::IniFormat).value("Compass/COMPort") == 0;
        };
        ASSERT_TRUE(WaitUntil(ready, 10000));
        // A normal exit with status 0, not death by the signal.
        EXPECT_EQ(program.Stop(signal), 0);
    }
}

TEST_F(MainFrameTest, PortEntriesThatNameNoDeviceKeepTheDefaults)
{
    settings->setValue("Ports/COM1", "");
    settings->setValue("Ports/COM2", dir.path());
    settings->setValue("Ports/COM3", "/dev/ttyCompass");
    const PortMap ports = CTolvaneApp::PortsFromSettings(*settings);
    EXPECT_EQ(ports.Path(1), PortMap::DefaultPath(1));
    EXPECT_EQ(ports.Path(2), PortMap::DefaultPath(2));
    EXPECT_EQ(ports.Path(3), "/dev/ttyCompass");
}

// Without a port only what needs none is enabled; the baud rates are a
// radio group; an open Nav Console can be closed, as the panel can.
TEST_F(MainFrameTest, EnablingFollowsThePort)
{
    MakePortlessFrame();
    frame->UpdateCommandStates();
    for (int id : {kCmdSerialNo, kCmdInitializeToolbar, kCmdNavConsole})
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    for (int id : {kCmdSelfTest, kCmdBaud4800, kCmdToggleNmea}) EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
    EXPECT_TRUE(frame->Action(kCmdBaud9600)->isChecked() && !frame->Action(kCmdBaud4800)->isChecked());
    // The rates are the Baud Rate submenu's entries, not its parent's.
    const auto* rates = qobject_cast<QMenu*>(frame->Action(kCmdBaud4800)->associatedObjects().value(0));
    ASSERT_NE(rates, nullptr);
    EXPECT_EQ(rates->title(), "&Baud Rate");
    frame->RunCommand(kCmdBaud4800);
    EXPECT_TRUE(frame->Action(kCmdBaud4800)->isChecked() && !frame->Action(kCmdBaud9600)->isChecked());

    frame->RunCommand(kCmdNavConsole);
    EXPECT_TRUE(frame->Action(kCmdNavConsoleToolbar)->isEnabled() && frame->Action(kCmdNavConsole)->isChecked());
    EXPECT_TRUE(frame->Console().Stale());
    frame->RunCommand(kCmdNavConsole);
    EXPECT_FALSE(frame->Console().IsOpen() || frame->Action(kCmdNavConsoleToolbar)->isEnabled());

    // A log's name shows in its pane as text, not markup.
    ASSERT_TRUE(log->OpenPath(dir.filePath("<b>x&amp;.dta").toStdString(), false));
    EXPECT_EQ(frame->Pane(kPaneLogging)->text(), " Logging to <b>x&amp;.dta");
    EXPECT_EQ(frame->Pane(kPaneLogging)->textFormat(), Qt::PlainText);
}

// Offered: no effects or writing system, sizes 8 to 20 whatever the family;
// the font taken is plain even when the current one was not.
TEST(DisplayFontDialog, OffersEightToTwentyPointsAndGivesAPlainFont)
{
    QFont marked = QApplication::font();
    marked.setUnderline(true);
    marked.setStrikeOut(true);
    DisplayFontDialog chooser(marked, nullptr);
    chooser.show();
    for (const QWidget* control : chooser.findChildren<QWidget*>())
        EXPECT_FALSE(control->isVisible() && (qobject_cast<const QCheckBox*>(control) ||
                                              qobject_cast<const QComboBox*>(control)))
            << control->metaObject()->className();
    auto* families = chooser.findChild<QListWidget*>("family");
    auto* sizes = chooser.findChild<QListWidget*>("sizes");
    auto* sizeEdit = chooser.findChild<QLineEdit*>("size");
    ASSERT_TRUE(families != nullptr && sizes != nullptr && sizeEdit != nullptr);
    for (int family : {0, families->count() - 1}) {
        families->setCurrentRow(family);
        QStringList offered;
        for (int row = 0; row < sizes->count(); ++row)
            offered << sizes->item(row)->text();
        EXPECT_EQ(offered.join(' '), "8 9 10 11 12 13 14 15 16 17 18 19 20") << family;
    }
    // Typed sizes select their row in the list, picked ones fill the field.
    for (const auto& [typed, row] : {std::pair{"8", 0}, std::pair{"1", -1}, std::pair{"20", 12}}) {
        test::Type(sizeEdit, typed);
        EXPECT_EQ(sizes->currentRow(), row) << typed;
    }
    sizes->setCurrentRow(3);
    EXPECT_EQ(sizeEdit->text(), "11");
    test::Type(sizeEdit, "21");
    EXPECT_EQ(sizeEdit->text(), "2") << "21 cannot be typed";
    QTest::keyClicks(sizeEdit, "0");
    chooser.done(QDialog::Accepted);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.selectedFont().pointSize(), 20);
    EXPECT_FALSE(chooser.selectedFont().underline() || chooser.selectedFont().strikeOut());
}

// 20 points is taken; 21, set, keeps the chooser open. Whatever is pasted
// into the size field, OK gives a size the view can show or the size message.
TEST(DisplayFontDialog, OkTakesOnlyEightToTwentyPoints)
{
    std::vector<std::pair<int, QString>> inputs = {{20, {}}, {21, {}}};
    for (const test::BadInput& input : test::BadInputs())
        inputs.emplace_back(0, input.text);
    for (const auto& [points, pasted] : inputs) {
        SCOPED_TRACE(pasted.toStdString() + std::to_string(points));
        DisplayFontDialog chooser(QApplication::font(), nullptr);
        if (points > 0) {
            QFont font = QApplication::font();
            font.setPointSize(points);
            chooser.setCurrentFont(font);
        }
        chooser.show();
        if (!pasted.isEmpty())
            test::Paste(chooser.findChild<QLineEdit*>("size"), pasted);
        test::BoxAnswerer boxes;
        chooser.done(QDialog::Accepted);
        const bool told = !boxes.seen.empty() && boxes.seen[0].text == "Please choose a size from 8 to 20 points.";
        const int size = chooser.currentFont().pointSize();
        EXPECT_TRUE(told || (size >= DisplayFontDialog::kSmallest && size <= DisplayFontDialog::kLargest)) << size;
        EXPECT_EQ(chooser.isVisible(), told);
        EXPECT_TRUE(points == 0 || told == (points > DisplayFontDialog::kLargest));
    }
}

} // namespace
} // namespace tolvane
