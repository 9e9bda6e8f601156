// The main frame end to end against tolvane-sim over a real
// pseudo-terminal: start-up, the identity chain, supervision and its
// question, and the view filling with what the compass sends.
#include "app/display_font_dialog.h"
#include "app/tolvane_app.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>

#include <csignal>

#include "dialogs/dialog_test_support.h"
#include "frame_fixture.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

TEST_F(MainFrameTest, RememberedPortOpensAndTheIdentityChainFollows)
{
    Simulator sim(dir);
    settings->setValue("Compass/COMPort", 1);
    MakeFrame(sim.Link());
    ASSERT_TRUE(WaitUntil([&] { return link->PortNumber() == 1; }));
    EXPECT_EQ(frame->Pane(kPaneComPort)->text(), " COM1 Open ");
    EXPECT_FALSE(frame->Controller().ReplyTimerRunning());

    ASSERT_TRUE(WaitUntil([&] { return sim.Requests().size() >= 3; }));
    const auto requests = sim.Requests();
    EXPECT_EQ(std::vector<int>(requests.begin(), requests.begin() + 3), (std::vector<int>{0xC3, 0x50, 0x54}));
    EXPECT_EQ(Title(), "Tolvane --- Serial number 24601");
    EXPECT_EQ(VersionPane(), " Version=1.04  Build Opts=AI  Fwd=X  Up=Z");
    EXPECT_TRUE(frame->Action(kCmdSerialNo)->isChecked());

    // The compass's own messages reach the view.
    ASSERT_TRUE(WaitUntil([&] { return frame->View()->LineCount() >= 6; }));
    bool sawOrientation = false;
    for (int i = 0; i < frame->View()->LineCount(); ++i)
        sawOrientation = sawOrientation || std::string(frame->View()->Line(i).mnemonic) == "DORIENT";
    EXPECT_TRUE(sawOrientation);
}

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
        if (remembered == 1) {
            // Connected: the serial number request has arrived.
            ASSERT_TRUE(WaitUntil([&] { return !sim.Requests().empty(); }, 10000));
            EXPECT_EQ(sim.Requests().front(), 0xC3);
        } else {
            // The dialog, listing COM1 with no port open, has written 0.
            ASSERT_TRUE(WaitUntil([&] { return QSettings(conf, QSettings::IniFormat).value("Compass/COMPort") == 0; },
                                  10000));
        }
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

TEST_F(MainFrameTest, SilentCompassAsksRetryThenCancelForgetsTheVersion)
{
    Simulator sim(dir, {"--silent"});
    settings->setValue("Compass/COMPort", 1);
    MakeFrame(sim.Link());
    ASSERT_TRUE(WaitUntil([&] { return sim.Requests().size() == 1; }));

    QString asked;
    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        asked = box ? box->windowTitle() + "|" + box->text() : QString("?");
        if (box) box->button(QMessageBox::Retry)->click();
    });
    frame->RunCommand(kCmdSerialNo);
    ASSERT_TRUE(WaitUntil([&] { return !asked.isEmpty(); }, 4000));
    EXPECT_EQ(asked, "Compass Silent|No reply to request for serial number.");
    ASSERT_TRUE(WaitUntil([&] { return sim.Requests().size() == 3; }));
    const auto lines = sim.RequestLines();
    EXPECT_EQ(lines[2], lines[1]); // the same bytes again

    asked.clear();
    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        asked = box ? box->text() : QString("?");
        if (box) box->button(QMessageBox::Cancel)->click();
    });
    ASSERT_TRUE(WaitUntil([&] { return !asked.isEmpty(); }, 4000));
    ASSERT_TRUE(WaitUntil([&] { return !frame->Controller().ReplyTimerRunning(); }));
    EXPECT_EQ(Title(), "Tolvane --- Serial number unknown");
    EXPECT_EQ(VersionPane(), " No version information available");
    EXPECT_EQ(frame->Controller().PendingRequest().type, kNoReplyAwaited);
}

TEST_F(MainFrameTest, EnablingFollowsThePort)
{
    bool answered = false;
    WhenModal([&](QWidget* w) {
        static_cast<QDialog*>(w)->reject();
        answered = true;
    });
    MakeFrame(dir.filePath("nothing").toStdString());
    ASSERT_TRUE(WaitUntil([&] { return answered && QApplication::activeModalWidget() == nullptr; }));
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->Action(kCmdSerialNo)->isEnabled());
    EXPECT_FALSE(frame->Action(kCmdInitializeToolbar)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdSelfTest)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdBaud9600)->isChecked());
    EXPECT_FALSE(frame->Action(kCmdBaud4800)->isChecked());
    frame->RunCommand(kCmdBaud4800);
    EXPECT_TRUE(frame->Action(kCmdBaud4800)->isChecked());
    EXPECT_FALSE(frame->Action(kCmdBaud9600)->isChecked());

    // An open Nav Console can be closed without a port, as the panel can.
    EXPECT_FALSE(frame->Action(kCmdNavConsole)->isEnabled());
    frame->RunCommand(kCmdNavConsole);
    for (int id : {kCmdNavConsole, kCmdNavConsoleToolbar}) {
        EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
        EXPECT_TRUE(frame->Action(id)->isChecked()) << id;
    }
    EXPECT_TRUE(frame->Console().Stale());
    frame->RunCommand(kCmdNavConsole);
    EXPECT_FALSE(frame->Console().IsOpen());
    EXPECT_FALSE(frame->Action(kCmdNavConsoleToolbar)->isEnabled());
}

TEST_F(MainFrameTest, AboutBoxAndFontSizes)
{
    MakeFrame(dir.filePath("nothing").toStdString());
    QString about;
    WhenModal([&](QWidget* w) {
        if (w->windowTitle() == "Open COM Port" || qobject_cast<QMessageBox*>(w)) {
            static_cast<QDialog*>(w)->reject(); // the start-up port question first
            WhenModal([&](QWidget* box) {
                const auto* version = box->findChild<QLabel*>("1000");
                const auto* blank = box->findChild<QLabel*>("1002");
                about = box->windowTitle() + "|" + (version ? version->text() : "?") + "|" +
                        (blank ? blank->text() : "?");
                static_cast<QDialog*>(box)->accept();
            });
            QTimer::singleShot(0, [&] { frame->RunCommand(kCmdAbout); });
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return !about.isEmpty(); }));
    EXPECT_EQ(about, "About Tolvane|Tolvane Version 1.04|");

    // Offered: no effects or writing system, sizes 8 to 20 whatever the family;
    // the font taken is plain even when the current one was not.
    {
        QFont marked = QApplication::font();
        marked.setUnderline(true);
        marked.setStrikeOut(true);
        DisplayFontDialog chooser(marked, frame.get());
        chooser.show();
        for (const QWidget* control : chooser.findChildren<QWidget*>())
            EXPECT_FALSE(control->isVisible() && (qobject_cast<const QCheckBox*>(control) ||
                                                  qobject_cast<const QComboBox*>(control)))
                << control->metaObject()->className();
        auto* families = chooser.findChild<QListWidget*>("family");
        auto* sizes = chooser.findChild<QListWidget*>("sizes");
        ASSERT_TRUE(families != nullptr && sizes != nullptr);
        for (int family : {0, families->count() - 1}) {
            families->setCurrentRow(family);
            QStringList offered;
            for (int row = 0; row < sizes->count(); ++row)
                offered << sizes->item(row)->text();
            EXPECT_EQ(offered.join(' '), "8 9 10 11 12 13 14 15 16 17 18 19 20") << family;
        }
        auto* sizeEdit = chooser.findChild<QLineEdit*>("size");
        ASSERT_NE(sizeEdit, nullptr);
        sizeEdit->selectAll();
        QTest::keyClicks(sizeEdit, "21");
        EXPECT_EQ(sizeEdit->text(), "2") << "21 cannot be typed";
        QTest::keyClicks(sizeEdit, "0");
        chooser.done(QDialog::Accepted);
        EXPECT_FALSE(chooser.isVisible());
        EXPECT_EQ(chooser.selectedFont().pointSize(), 20);
        EXPECT_FALSE(chooser.selectedFont().underline() || chooser.selectedFont().strikeOut());
    }

    // 20 points is taken; 21, forced, keeps the chooser open.
    for (int size : {20, 21}) {
        QFont font = QApplication::font();
        font.setPointSize(size);
        DisplayFontDialog chooser(font, frame.get());
        chooser.setCurrentFont(font);
        if (size > DisplayFontDialog::kLargest)
            WhenModal([](QWidget* w) {
                if (auto* box = qobject_cast<QMessageBox*>(w)) box->accept();
            });
        chooser.show();
        chooser.done(QDialog::Accepted);
        EXPECT_EQ(chooser.isVisible(), size > DisplayFontDialog::kLargest) << size;
        chooser.hide();
    }

    // The size field takes whole numbers up to 20 only; whatever is pasted, OK
    // gives a size the view can show or the size message.
    for (const test::BadInput& input : test::BadInputs()) {
        SCOPED_TRACE(input.fault);
        DisplayFontDialog chooser(QApplication::font(), frame.get());
        chooser.show();
        QLineEdit* sizeEdit = nullptr;
        for (QLineEdit* edit : chooser.findChildren<QLineEdit*>())
            if (edit->validator()) sizeEdit = edit;
        ASSERT_NE(sizeEdit, nullptr);
        test::Paste(sizeEdit, input.text);
        bool told = false;
        WhenModal([&](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                told = box->text() == "Please choose a size from 8 to 20 points.";
                box->accept();
            }
        });
        chooser.done(QDialog::Accepted);
        const int size = chooser.currentFont().pointSize();
        EXPECT_TRUE(told || (size >= DisplayFontDialog::kSmallest && size <= DisplayFontDialog::kLargest)) << size;
        EXPECT_EQ(chooser.isVisible(), told);
    }
}

TEST_F(MainFrameTest, LogNameShowsInThePaneAsText)
{
    bool asked = false;
    WhenModal([&](QWidget* w) { // the start-up port question
        asked = true;
        static_cast<QDialog*>(w)->reject();
    });
    MakeFrame(dir.filePath("nothing").toStdString());
    ASSERT_TRUE(WaitUntil([&] { return asked; }));
    ASSERT_TRUE(log->OpenPath(dir.filePath("<b>x&amp;.dta").toStdString(), false));
    const QLabel* pane = frame->Pane(kPaneLogging);
    EXPECT_EQ(pane->text(), " Logging to <b>x&amp;.dta");
    EXPECT_EQ(pane->textFormat(), Qt::PlainText);
}

} // namespace
} // namespace tolvane
