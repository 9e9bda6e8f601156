// The frame against a tolvane-sim that misbehaves: each case injects one
// fault through the simulator's switches and checks what the user is told.
#include <QRegularExpression>

#include <cmath>
#include <set>
#include <string>

#include "dialogs/settings_template.h"
#include "frame_fixture.h"
#include "dialogs/dialog_test_support.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

class FaultSuiteTest : public MainFrameTest {
protected:
    // The frame on COM1 to the simulator with `fault`, once its identity
    // request has reached it.
    bool Open(std::vector<std::string> fault = {})
    {
        OpenOnSimulator(std::move(fault));
        return WaitUntil([&] { return !sim->Requests().empty(); }, 5000);
    }

    // The box a supervised request's silence raises, answered with Cancel.
    QString AskedAfter(int command)
    {
        test::BoxAnswerer boxes({QMessageBox::Cancel});
        frame->RunCommand(command);
        WaitUntil([&] { return !boxes.seen.empty(); }, 5000);
        return boxes.SaidSince();
    }
    static bool NoDialogOpens()
    {
        return Never([] { return QApplication::activeModalWidget() != nullptr; }, 300);
    }
};

// Each supervised request's silence raises the question for it, and
// Cancel ends the command: no dialog follows. Silence in the middle of the
// Initialize sequence: each read after the first is supervised on its own.
TEST_F(FaultSuiteTest, SilenceRaisesTheQuestionForTheRequest)
{
    const struct {
        std::vector<std::string> fault;
        bool identified; // the identity chain is answered first
        int command;
        const char* request;
    } cases[] = {
        {{"--silent"}, false, kCmdSerialNo, "serial number"},
        {{"--silent"}, false, kCmdSelfTest, "self test"},
        {{"--silent"}, false, kCmdInitialize, "current offsets"},
        {{"--silent-for", "0x54"}, true, kCmdInitialize, "declination"},
        {{"--silent-for", "0x7f"}, true, kCmdInitialize, "orient message rate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        ASSERT_TRUE(Open(c.fault) && (!c.identified || Identified()));
        EXPECT_EQ(AskedAfter(c.command), QString("warning Compass Silent: No reply to request for %1.").arg(c.request));
        EXPECT_EQ(frame->Session().VersionKnown(), c.identified);
        EXPECT_TRUE(NoDialogOpens());
        frame.reset();
    }
}

TEST_F(FaultSuiteTest, SilentModuleInStartUpDefaultsAsksThenCancels)
{
    ASSERT_TRUE(Open({"--silent"}));
    test::BoxAnswerer boxes({QMessageBox::Cancel});
    // Cancelling the question closes the dialog by itself.
    EXPECT_EQ(RunDialog(kCmdStartupDefaults, [&](QDialog& d) { EXPECT_TRUE(Closes(d)); }), QDialog::Rejected);
    EXPECT_EQ(boxes.SaidSince(), "warning Compass Silent: No reply to request\nfor current values.");
}

TEST_F(FaultSuiteTest, SilentModuleInWmmSaysSilence)
{
    ASSERT_TRUE(Open({"--silent"}));
    test::BoxAnswerer boxes;
    RunDialog(kCmdMagDeclWmm, [&](QDialog& d) {
        TypeSeattle(d);
        Click(d, 1007);
        EXPECT_TRUE(WaitUntil([&] { return !boxes.seen.empty(); }, 5000));
    });
    EXPECT_EQ(boxes.SaidSince(), "error Silence: Compass failed to reply.");
}

// The dialog's sets share their types with the reads before it, so the
// dialog is opened as the end of those reads opens it, on a silent module.
TEST_F(FaultSuiteTest, SilentModuleInInitializationsSaysTooBad)
{
    ASSERT_TRUE(Open({"--silent"}));
    test::BoxAnswerer boxes;
    EXPECT_EQ(RunDialog(0, [&](QDialog& d) {
        test::Type(Edit(d, kRateEditId), "5");
        test::Leave(Edit(d, kRateEditId));
        Click(d, kSettingsOkId);
        EXPECT_TRUE(Closes(d));
    }, CMainFrame::WM_SHOW_INITIALIZATIONS), QDialog::Rejected);
    EXPECT_EQ(boxes.SaidSince(), "error Too Bad: Compass failed to acknowledge\ninitialization of orient rate.");
    const auto lines = sim->RequestLines();
    EXPECT_TRUE(!lines.empty() && lines.back().startsWith("\"type\":127,")) << lines.back().toStdString();
}

TEST_F(FaultSuiteTest, IncompatibleFirmwareStopsInitialize)
{
    ASSERT_TRUE(Open({"--incompatible"}) && Identified());
    test::BoxAnswerer boxes;
    frame->RunCommand(kCmdInitialize);
    ASSERT_TRUE(WaitUntil([&] { return !boxes.seen.empty(); }));
    EXPECT_EQ(boxes.SaidSince(),
              "error Incompatibility: Firmware version is not compatible\nwith this version of Tolvane.");
    EXPECT_TRUE(NoDialogOpens());
}

TEST_F(FaultSuiteTest, FlashFailureInStartUpDefaultsSaysTooBad)
{
    ASSERT_TRUE(Open({"--flash-fail"}) && Identified());
    test::BoxAnswerer boxes;
    EXPECT_EQ(RunDialog(kCmdStartupDefaults, [&](QDialog& d) {
        ASSERT_TRUE(WaitUntil([&] { return !Edit(d, kRateEditId)->text().isEmpty(); }));
        test::Type(Edit(d, kPitchEditId), "3.5");
        Click(d, kSettingsOkId);
        EXPECT_TRUE(Closes(d));
    }), QDialog::Rejected);
    EXPECT_EQ(boxes.SaidSince(), "error Too bad!: Compass reports failure loading\nchanges to flash.");
}

// Burst mode numbers the orientation messages, so the share dispatched
// can be told; a flipped byte must never reach the view as a message.
TEST_F(FaultSuiteTest, CorruptFramesWithNoiseShowNothingWrong)
{
    ASSERT_TRUE(Open({"--burst", "--corrupt", "0.05", "--noise", "0.05", "--seed", "7"}));
    test::BoxAnswerer boxes;
    ASSERT_TRUE(MoreOrientations(1));
    const std::uint64_t firstCount = Orientations();
    const std::uint16_t firstSequence = log->azimuth;
    const MessageView& view = *frame->View();
    // Enough orientation shown to judge, however slowly a busy machine shows it.
    const auto sequence = [&] { return static_cast<std::uint16_t>(log->azimuth - firstSequence); };
    ASSERT_TRUE(WaitUntil([&] { return sequence() > 160 && Viewed("DORIENT") > 20; }, 20000));
    const std::uint16_t sent = sequence();
    const std::uint64_t dispatched = Orientations() - firstCount;
    EXPECT_LE(dispatched, sent);
    // Each flipped byte or burst of noise costs at most the message it hits
    // and the next one.
    EXPECT_GE(static_cast<double>(dispatched), 0.8 * sent) << dispatched << " of " << sent;

    const QRegularExpression orient(R"(^Roll=(-?\d+\.\d)  Pitch=(-?\d+\.\d)  Azimuth=(\d+\.\d)$)");
    const std::set<std::string> otherwise = {"DPOWER", "DVRSN", "DINICAL", "DIMVAR"};
    for (int i = 0; i < view.LineCount(); ++i) {
        const std::string mnemonic = view.Line(i).mnemonic;
        const QString text = QString::fromLatin1(view.Line(i).text);
        if (mnemonic != "DORIENT") {
            EXPECT_TRUE(otherwise.count(mnemonic)) << mnemonic << " " << text.toStdString();
            continue;
        }
        const auto m = orient.match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        EXPECT_LE(std::abs(m.captured(1).toDouble()), 10.0) << text.toStdString();
        EXPECT_LE(std::abs(m.captured(2).toDouble()), 10.0) << text.toStdString();
        EXPECT_LE(m.captured(3).toDouble(), 360.0) << text.toStdString();
    }
    EXPECT_EQ(boxes.SaidSince(), "");
}

// The adapter pulled out while messages flow and the log is open, then
// put back: the port shows as lost, comes back by itself, and the log has
// one whole record for every orientation message dispatched meanwhile.
TEST_F(FaultSuiteTest, UnplugInMidStreamShowsLostReopensAndKeepsTheLog)
{
    ASSERT_TRUE(Open({"--unplug-after", "1.0"}) && Identified());
    const std::string logPath = dir.filePath("unplug.dta").toStdString();
    ASSERT_TRUE(log->OpenPath(logPath, false));
    const std::uint64_t atOpen = Orientations();

    ASSERT_TRUE(PortShows("Lost"));
    EXPECT_EQ(link->PortNumber(), -1);
    EXPECT_FALSE(frame->Action(kCmdSerialNo)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdSelfTest)->isEnabled());
    EXPECT_EQ(settings->value("Compass/COMPort").toInt(), 1);
    EXPECT_EQ(frame->Session().LostPort(), 1);
    // The view says so, and the displays show their values as stale.
    const auto lastLine = [&] { return std::string(frame->View()->Line(frame->View()->LineCount() - 1).text); };
    EXPECT_EQ(lastLine(), " COM1 Lost ");
    EXPECT_TRUE(frame->Panel().Stale());
    EXPECT_TRUE(frame->Console().Stale());
    // A retry or two against a missing device changes nothing.
    EXPECT_TRUE(Never([&] { return Pane(kPaneComPort) != " COM1 Lost "; }, 1500));
    EXPECT_TRUE(log->Logging());

    sim.emplace(dir); // the same link path, a fresh record
    ASSERT_TRUE(PortShows("Open", 4000));
    EXPECT_EQ(link->PortNumber(), 1);
    EXPECT_EQ(frame->Session().LostPort(), -1);
    EXPECT_EQ(lastLine(), " COM1 Open ");
    EXPECT_FALSE(frame->Panel().Stale());
    EXPECT_TRUE(frame->Action(kCmdSerialNo)->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !sim->Requests().empty(); }));
    EXPECT_EQ(sim->Requests().front(), 0xC3); // the identity asked for again
    ASSERT_TRUE(MoreOrientations(3));

    ASSERT_TRUE(log->Logging());
    log->Close();
    const std::uint64_t dispatched = Orientations() - atOpen;
    QFile file(QString::fromStdString(logPath));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // Whole lines only: the section start, the header, and records, one
    // for each orientation message and one for each reply of the identity
    // chains (after the open, and after the reopen).
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_TRUE(lines.back().isEmpty()); // the last line ended
    const QRegularExpression record(R"(^( ?\d+:\d\d:\d\d|   \?\?   )( +-?\d+\.\d){5}\r$)");
    std::uint64_t records = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (record.match(QString::fromLatin1(line)).hasMatch() && line.size() == 48) ++records;
        else
            EXPECT_TRUE(line == "   ??   \r" || line == "\r" || line == QByteArray(kLogHeader) + "\r")
                << line.toStdString();
    }
    EXPECT_GE(records, dispatched);
    EXPECT_LE(records, dispatched + 4);
}

TEST_F(FaultSuiteTest, WrongBaudRateIsSilentUntilSetRight)
{
    ASSERT_TRUE(Open() && Identified());
    frame->RunCommand(kCmdBaud19200);
    EXPECT_EQ(AskedAfter(kCmdSerialNo), "warning Compass Silent: No reply to request for serial number.");
    EXPECT_EQ(std::ranges::count(sim->Requests(), 0xC3), 1); // the module heard only the one at 9600
    EXPECT_FALSE(frame->Session().VersionKnown());

    frame->RunCommand(kCmdBaud9600);
    test::BoxAnswerer boxes;
    frame->RunCommand(kCmdSerialNo);
    EXPECT_TRUE(Identified());
    EXPECT_EQ(boxes.SaidSince(), "");
}

} // namespace
} // namespace tolvane
