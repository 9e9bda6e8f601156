// The main frame end to end against tolvane-sim over a real
// pseudo-terminal: start-up, the identity chain, supervision and its
// question, and the view filling with what the compass sends.
#include "app/main_frame.h"

#include "app/display_font_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>


#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_link.h"
#include "resources/command_ids.h"
#include "support/sim_process.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

bool WaitUntil(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
    return true;
}

// The simulator as a child process, its requests recorded to a file.
class Simulator {
public:
    explicit Simulator(const QTemporaryDir& dir, std::vector<std::string> extra = {})
        : link_(dir.filePath("compass").toStdString()), record_(dir.filePath("requests.json").toStdString())
    {
        extra.insert(extra.begin(), {"--link", link_, "--record", record_});
        process_ = std::make_unique<SimProcess>(TOLVANE_SIM_PATH, extra);
        process_->Output();
    }
    const std::string& Link() const { return link_; }
    // Types of the requests received so far, in order.
    std::vector<int> Requests() const
    {
        std::vector<int> types;
        QFile file(QString::fromStdString(record_));
        if (!file.open(QIODevice::ReadOnly)) return types;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const auto at = line.indexOf("\"type\":");
            if (at >= 0) types.push_back(line.mid(at + 7).split(',').first().toInt());
        }
        return types;
    }
    std::vector<QByteArray> RequestLines() const
    {
        QFile file(QString::fromStdString(record_));
        std::vector<QByteArray> lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty()) lines.push_back(line.mid(line.indexOf("\"type\"")));
        return lines;
    }

private:
    std::string link_;
    std::string record_;
    std::unique_ptr<SimProcess> process_;
};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<QSettings>(dir.filePath("Tolvane.conf"), QSettings::IniFormat);
    }
    void TearDown() override
    {
        frame.reset();
        log.reset();
        link.reset();
    }

    // A frame whose COM1 is `path` and whose other ports do not exist.
    void MakeFrame(const std::string& path)
    {
        PortMap ports;
        for (int p = 1; p <= 8; ++p) ports.SetPath(p, dir.filePath(QString("none%1").arg(p)).toStdString());
        ports.SetPath(1, path);
        link = std::make_unique<SerialLink>();
        link->SetPortMap(ports);
        link->SetLockDirectories({dir.path().toStdString()});
        log = std::make_unique<LogFile>(dir.path().toStdString(), LogFile::LocalTime{});
        frame = std::make_unique<CMainFrame>(*link, *log, *settings);
        frame->resize(900, 600);
        frame->show();
    }
    QString Title() const { return frame->windowTitle(); }
    QString VersionPane() const { return frame->Pane(kPaneVersion)->text(); }

    // Answers the next modal box or dialog with `act`, once it appears.
    static void WhenModal(std::function<void(QWidget*)> act)
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, act] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                poll->stop();
                poll->deleteLater();
                act(w);
            }
        });
        poll->start(20);
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<SerialLink> link;
    std::unique_ptr<LogFile> log;
    std::unique_ptr<CMainFrame> frame;
};

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
    for (int remembered : {0, 9}) {
        SCOPED_TRACE(remembered);
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

    // 20 points is taken; 21 keeps the chooser open.
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
}

} // namespace
} // namespace tolvane
