// The frame's displays, its orientation log and its configuration dialogs,
// run through the commands against tolvane-sim.
#include <QCheckBox>
#include <QFileDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <ctime>

#include "capture/capture_decode.h"
#include "capture/capture_format.h"
#include "dialogs/dialog_template.h"
#include "dialogs/dialog_test_support.h"
#include "dialogs/settings_template.h"
#include "frame_fixture.h"
#include "instruments/instrument.h"
#include "instruments/seven_segment.h"
#include "app/replay_player.h"
#include "protocol/requests.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

// The settings fields as "declination hemisphere|azimuth|roll|pitch|rate".
QString Fields(const QDialog& d)
{
    return Edit(d, kDeclinationEditId)->text() + (ControlOf<QRadioButton>(d, kEastId)->isChecked() ? " E|" : " W|") +
           Edit(d, kAzimuthEditId)->text() + "|" + Edit(d, kRollEditId)->text() + "|" + Edit(d, kPitchEditId)->text() +
           "|" + Edit(d, kRateEditId)->text();
}

// The lines of a log file, which must all end in CR LF.
QStringList LogLines(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QString all = QString::fromLatin1(file.readAll());
    EXPECT_TRUE(all.endsWith("\r\n"));
    EXPECT_EQ(all.count("\r\n"), all.count('\n'));
    QStringList lines = all.split("\r\n");
    lines.removeLast();
    return lines;
}

class EndToEndTest : public MainFrameTest {
protected:
    // The frame on COM1 to the simulator, once the identity chain has ended.
    bool Start()
    {
        OpenOnSimulator();
        return ChainEnded();
    }
    // The Initialize dialog's fields, read from the module, then cancelled.
    QString InitializeFields()
    {
        QString shown;
        EXPECT_EQ(RunDialog(kCmdInitialize, [&](QDialog& d) { shown = Fields(d); }), QDialog::Rejected);
        return shown;
    }
};

// The remembered port opens and the identity chain follows (the demo's
// module, powered as the line opens: its power-up is the first line); the
// panel and the console show what the compass sends.
TEST_F(EndToEndTest, PanelAndNavConsoleShowTheCompassOrientation)
{
    OpenOnSimulator({"--power-on-open"});
    ASSERT_TRUE(ChainEnded());
    EXPECT_STREQ(frame->View()->Line(0).mnemonic, "DPOWER");
    const auto requests = sim->Requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(std::vector<int>(requests.begin(), requests.begin() + 3), (std::vector<int>{0xC3, 0x50, 0x54}));
    EXPECT_EQ(frame->windowTitle() + "|" + Pane(kPaneVersion) + "|" + Pane(kPaneComPort),
              "Tolvane --- Serial number 24601| Version=1.04  Build Opts=AI  Fwd=X  Up=Z| COM1 Open ");
    EXPECT_TRUE(frame->Action(kCmdSerialNo)->isChecked());
    EXPECT_FALSE(frame->Session().ReplyTimerRunning());
    const MessageView* view = frame->View();
    OrientationPanel& panel = frame->Panel();
    const auto atBottomLeft = [&] {
        const QWidget* w = panel.Window();
        return w && w->geometry().bottomLeft() == QPoint(0, view->height() - 1);
    };
    frame->RunCommand(kCmdStatusView);
    ASSERT_TRUE(panel.Shown());
    EXPECT_TRUE(atBottomLeft());
    EXPECT_TRUE(frame->Action(kCmdStatusView)->isChecked());
    ASSERT_TRUE(WaitUntil([&] { return panel.HasData(); }));
    // The simulator rolls within 6 degrees and pitches within 4.
    EXPECT_EQ(panel.Texts().size(), 4);
    EXPECT_LE(std::fabs(panel.Roll()), 6.1);
    EXPECT_LE(std::fabs(panel.Pitch()), 4.1);
    EXPECT_TRUE(panel.Azimuth() >= 0 && panel.Azimuth() <= 360);

    frame->RunCommand(kCmdNavConsole);
    ASSERT_TRUE(frame->Console().IsOpen());
    EXPECT_TRUE(frame->Action(kCmdNavConsole)->isChecked());
    const QWidget* console = frame->Console().Window();
    EXPECT_EQ(console->geometry().topRight(), QPoint(view->width() - 1, 0));
    const auto* readout = console->findChild<Instrument*>("1365");
    ASSERT_NE(readout, nullptr);
    const double initial = readout->Property(CiSevenSegmentAnalogX::kValue);
    ASSERT_TRUE(WaitUntil([&] { return readout->Property(CiSevenSegmentAnalogX::kValue) != initial; }));
    EXPECT_EQ(readout->ValueText(), QString::number(std::lround(panel.Azimuth())));

    // Blank at once, before the module is back.
    frame->RunCommand(kCmdResetModule);
    EXPECT_FALSE(panel.HasData());
    EXPECT_TRUE(panel.Texts().isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return frame->Session().VersionKnown() && panel.HasData(); }, 8000));

    // Moved away, then made anew in its corner by the identity reply.
    QPointer<QWidget> moved = panel.Window();
    moved->move(120, 40);
    ASSERT_FALSE(atBottomLeft());
    frame->RunCommand(kCmdSerialNo);
    ASSERT_TRUE(WaitUntil([&] { return moved.isNull(); }));
    EXPECT_TRUE(atBottomLeft());

    frame->RunCommand(kCmdNavConsole);
    EXPECT_FALSE(frame->Console().IsOpen());
    EXPECT_FALSE(frame->Action(kCmdNavConsole)->isChecked());
}

TEST_F(EndToEndTest, LogOpenBumpAndCloseWriteTheFileFormat)
{
    ASSERT_TRUE(Start());
    log->SetLocalTime([](std::tm& t) {
        t = {};
        t.tm_year = 126, t.tm_mon = 5, t.tm_mday = 12, t.tm_hour = 3, t.tm_min = 58, t.tm_sec = 29;
        return true;
    });
    const QString first = dir.filePath("e2e01.dta");
    EXPECT_EQ(RunDialog(kCmdLogOpen, [&](QDialog& d) {
        auto* name = d.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        // Typed until the file list's selection follows (it loads in the background).
        ASSERT_TRUE(WaitUntil([&] {
            name->selectAll();
            QTest::keyClick(name, Qt::Key_Backspace);
            QTest::keyClicks(name, "e2e01.dta");
            return static_cast<QFileDialog&>(d).selectedFiles().value(0) == first;
        }));
        d.accept();
    }), QDialog::Accepted);
    ASSERT_TRUE(log->Logging());
    EXPECT_EQ(Pane(kPaneLogging), " Logging to e2e01.dta");
    std::uint64_t from = Orientations();
    ASSERT_TRUE(MoreOrientations(4));
    const std::uint64_t inFirst = Orientations() - from;

    frame->RunCommand(kCmdLogBump);
    EXPECT_EQ(log->FileName(), "e2e01A.dta");
    EXPECT_EQ(Pane(kPaneLogging), " Logging to e2e01A.dta");
    from = Orientations();
    ASSERT_TRUE(MoreOrientations(3));
    const std::uint64_t inSecond = Orientations() - from;
    frame->RunCommand(kCmdLogClose);
    EXPECT_FALSE(log->Logging());
    EXPECT_EQ(Pane(kPaneLogging), " Not logging");

    // One record for every orientation message while the file was open.
    for (const auto& [name, records] : {std::pair{first, inFirst}, std::pair{dir.filePath("e2e01A.dta"), inSecond}}) {
        SCOPED_TRACE(name.toStdString());
        const QStringList lines = LogLines(name);
        ASSERT_EQ(static_cast<std::uint64_t>(lines.size()), 3 + records) << lines.join('|').toStdString();
        EXPECT_EQ(lines[0], "6/12/26 3:58:29");
        EXPECT_EQ(lines[1], "");
        EXPECT_EQ(lines[2], kLogHeader);
        for (const QString& record : lines.mid(3)) {
            const double azimuth = record.mid(8, 7).toDouble();
            EXPECT_TRUE(record.size() == 47 && record.startsWith(" 3:58:29  ") && azimuth >= 0 && azimuth <= 360)
                << record.toStdString();
        }
    }
}

TEST_F(EndToEndTest, InitializeSetsTheDeclinationAndReadsItBack)
{
    ASSERT_TRUE(Start());
    QString shown;
    EXPECT_EQ(RunDialog(kCmdInitialize, [&](QDialog& d) {
        shown = Fields(d);
        test::Type(Edit(d, kDeclinationEditId), "12.5");
        test::Leave(Edit(d, kDeclinationEditId));
        Click(d, kEastId);
        Click(d, kSettingsOkId);
        // Closed by the acknowledgement of the declination sent.
        EXPECT_TRUE(Closes(d));
    }), QDialog::Accepted);
    EXPECT_EQ(shown, "0.0 E|0.0|0.0|0.0|10.00");
    EXPECT_EQ(sim->RequestLines("\"type\":84,\"payload\":\"01").size(), 1u);

    EXPECT_EQ(InitializeFields(), "12.5 E|0.0|0.0|0.0|10.00");
}

TEST_F(EndToEndTest, StartUpDefaultsLoadedApplyAfterAReset)
{
    ASSERT_TRUE(Start());
    QString stored;
    EXPECT_EQ(RunDialog(kCmdStartupDefaults, [&](QDialog& d) {
        // Filled by the reply to the read sent at opening.
        ASSERT_TRUE(WaitUntil([&] { return !Edit(d, kRateEditId)->text().isEmpty(); }));
        stored = Fields(d);
        test::Type(Edit(d, kPitchEditId), "3.5");
        EXPECT_TRUE(ControlOf<QCheckBox>(d, kPitchLoadId)->isChecked());
        Click(d, kSettingsOkId);
        EXPECT_TRUE(Closes(d));
    }), QDialog::Accepted);
    EXPECT_EQ(stored, "0.0 E|0.0|0.0|0.0|10.00");

    frame->RunCommand(kCmdResetModule);
    ASSERT_FALSE(frame->Session().VersionKnown());
    ASSERT_TRUE(Identified());
    EXPECT_EQ(RunDialog(kCmdStartupDefaults, [&](QDialog& d) {
        ASSERT_TRUE(WaitUntil([&] { return !Edit(d, kRateEditId)->text().isEmpty(); }));
        stored = Fields(d);
    }), QDialog::Rejected);
    EXPECT_EQ(stored, "0.0 E|0.0|0.0|3.5|10.00");
    EXPECT_EQ(InitializeFields(), "0.0 E|0.0|0.0|3.5|10.00");
}

TEST_F(EndToEndTest, WmmSetsTheDeclinationThatInitializeReads)
{
    ASSERT_TRUE(Start());
    test::BoxAnswerer boxes;
    EXPECT_EQ(RunDialog(kCmdMagDeclWmm, [&](QDialog& d) {
        TypeSeattle(d);
        // North and west are chosen at opening, altitude 0.
        ASSERT_TRUE(ControlOf<QRadioButton>(d, 1009)->isChecked());
        ASSERT_TRUE(ControlOf<QRadioButton>(d, 1013)->isChecked());
        Click(d, 1007);
        EXPECT_TRUE(Closes(d));
    }), QDialog::Accepted);
    const QString said = boxes.SaidSince();
    const QRegularExpression told(R"(^info WMM Result: Magnetic declination has been\nset to (\d+\.\d\d) \(east\)\.$)");
    const auto match = told.match(said);
    ASSERT_TRUE(match.hasMatch()) << said.toStdString();
    const double declination = match.captured(1).toDouble();
    // The simulator's tilted dipole at Seattle (the real field is some 15 east).
    EXPECT_GT(declination, 11.0);
    EXPECT_LT(declination, 12.5);

    const QString shown = InitializeFields();
    EXPECT_TRUE(shown.endsWith(" E|0.0|0.0|0.0|10.00")) << shown.toStdString();
    EXPECT_NEAR(shown.section(' ', 0, 0).toDouble(), declination, 0.1);
}

TEST_F(EndToEndTest, CompensationRunsToItsResultAndOkSendsNothing)
{
    ASSERT_TRUE(Start());
    QString result, button;
    EXPECT_EQ(RunDialog(kCmdCompensateStart, [&](QDialog& d) {
        std::vector<QProgressBar*> sectors;
        for (int id = 1279; id <= 1286; ++id) sectors.push_back(ControlOf<QProgressBar>(d, id));
        const auto* computation = ControlOf<QProgressBar>(d, 1287);
        const auto* line = ControlOf<QLabel>(d, 1288);
        int partial = 0, computed = 0;
        // The module sweeps all sectors in 20 s, then computes for 3 s.
        const auto sampledUntilResult = [&] {
            for (const QProgressBar* bar : sectors) partial += bar->value() > 0 && bar->value() < bar->maximum();
            computed = std::max(computed, computation->value());
            return !line->text().isEmpty();
        };
        ASSERT_TRUE(WaitUntil(sampledUntilResult, 45000));
        EXPECT_GT(partial, 0);
        EXPECT_GT(computed, 0);
        EXPECT_EQ(computation->value(), 100); // full when the result comes
        for (const QProgressBar* bar : sectors)
            EXPECT_EQ(bar->value(), 16) << bar->objectName().toStdString();
        result = line->text();
        button = ControlOf<QPushButton>(d, 1289)->text();
        Click(d, 1289);
    }), QDialog::Accepted);
    EXPECT_EQ(result, "Success (87)");
    EXPECT_EQ(button, "&OK");
    const auto compensation = [&] { return sim->RequestLines("\"type\":114,"); };
    EXPECT_TRUE(Never([&] { return compensation().size() > 1; }, 500)); // OK sends nothing
    EXPECT_EQ(compensation(), (std::vector<QByteArray>{"\"type\":114,\"payload\":\"01\"}"}));
}

// The view's lines from `from` on, as the decoder prints them.
std::vector<std::string> ViewLines(const MessageView& view, int from)
{
    std::vector<std::string> lines;
    for (int i = from; i < view.LineCount(); ++i)
        lines.push_back(QString::asprintf("%-10s%s", view.Line(i).mnemonic, view.Line(i).text).toStdString());
    return lines;
}

// Whether `part` appears in `all` in the same order, gaps allowed.
bool InOrder(const std::vector<std::string>& part, const std::vector<std::string>& all)
{
    auto at = all.begin();
    for (const auto& line : part) {
        at = std::find(at, all.end(), line);
        if (at == all.end()) return false;
        ++at;
    }
    return true;
}

// The orientation lines, or with `orientation` false the others: those
// that are never held off.
std::vector<std::string> ByOrientation(const std::vector<std::string>& lines, bool orientation)
{
    std::vector<std::string> kept;
    for (const auto& line : lines)
        if (line.starts_with("DORIENT") == orientation) kept.push_back(line);
    return kept;
}

TEST_F(EndToEndTest, CaptureDecodesToTheViewAndReplaysIntoIt)
{
    const std::string path = dir.filePath("session.tcap").toStdString();
    ASSERT_TRUE(Start());
    const int before = frame->View()->LineCount();
    ASSERT_TRUE(frame->Session().StartCapture(path));
    EXPECT_TRUE(frame->Action(kCmdCaptureRawStream)->isChecked());
    frame->RunCommand(kCmdSerialNo);
    ASSERT_TRUE(MoreOrientations(8));
    frame->Session().StopCapture();
    EXPECT_FALSE(frame->Action(kCmdCaptureRawStream)->isChecked());

    std::string content, error;
    ASSERT_TRUE(ReadWholeFile(path, content, error)) << error;
    const Capture capture = ParseCapture(content);
    const std::vector<std::string> decoded = DecodeCapture(capture, {});
    // The view shows what was captured, less orientation held off; a
    // message cut by the start of the capture may be missing from it.
    std::vector<std::string> shown = ViewLines(*frame->View(), before);
    if (!shown.empty() && std::find(decoded.begin(), decoded.end(), shown.front()) == decoded.end())
        shown.erase(shown.begin());
    EXPECT_TRUE(InOrder(shown, decoded));
    EXPECT_TRUE(InOrder(ByOrientation(decoded, false), shown));
    DecodeOptions withRequests;
    withRequests.requests = true;
    const auto all = DecodeCapture(capture, withRequests);
    EXPECT_NE(std::find(all.begin(), all.end(), "SENT      serial number request"), all.end());

    // Opened in the program in place of the port, as fast as possible: the
    // lines decoded, as the live view had them, and the simulator hears
    // nothing until Close Replay opens its port again and asks its identity.
    const std::size_t heard = sim->Requests().size();
    ASSERT_TRUE(frame->Replay().Open(path));
    frame->Replay().SetSpeedIndex(4);
    EXPECT_EQ(Pane(kPaneComPort), " Replay session.tcap ");
    EXPECT_FALSE(frame->Action(kCmdSerialNo)->isEnabled() || frame->Action(kCmdBaud9600)->isEnabled());
    frame->RunCommand(kCmdMessagesClear); // the view keeps 50 lines
    const int at = 0;
    const auto ended = [&] {
        return frame->View()->LineCount() > at && ViewLines(*frame->View(), at).back() == "           Replay ended ";
    };
    ASSERT_TRUE(WaitUntil(ended, 8000));
    std::vector<std::string> played = ViewLines(*frame->View(), at);
    played.pop_back();
    // Orientation held off as recorded (the player's test pins that); the live
    // view held off by the time of its dispatch, which a loaded machine moves.
    const std::vector<std::string> kept = ByOrientation(played, false), live = ByOrientation(shown, false);
    EXPECT_TRUE(InOrder(played, decoded));
    EXPECT_EQ(kept, ByOrientation(decoded, false));
    EXPECT_EQ(std::vector<std::string>(live.begin(), live.begin() + std::min(live.size(), kept.size())), kept);
    EXPECT_EQ(sim->Requests().size(), heard);
    frame->RunCommand(kCmdCloseReplay);
    ASSERT_TRUE(WaitUntil([&] { return sim->Requests().size() > heard; }));
    EXPECT_EQ(sim->Requests()[heard], SerialNumberRequest().type);

    // Played back into a fresh program, the capture shows the same lines.
    frame.reset();
    OpenOnSimulator({"--replay", path});
    const auto replayed = [&] { return InOrder(ByOrientation(decoded, false), ViewLines(*frame->View(), 0)); };
    ASSERT_TRUE(WaitUntil(replayed, 8000));
    EXPECT_TRUE(InOrder(ByOrientation(ViewLines(*frame->View(), 0), true), decoded));
}

} // namespace
} // namespace tolvane
