// The player on a recording of orientation every 50 ms for 5 s, one
// frame cut by a gap and one line damaged: its controls as a screen
// reader and the keyboard work them, a seek filling the plot's span, the
// end, and no request sent while a recording plays.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>

#include <fstream>

#include "app/replay_player.h"
#include "frame_fixture.h"
#include "support/test_data.h"

namespace tolvane {
namespace {

struct CountingLink : SerialLink {
    int sends = 0;
    std::int64_t Send(const OutgoingRequest& request) override { return ++sends, SerialLink::Send(request); }
};

TEST_F(MainFrameTest, ReplayPlayerPlaysPausesSeeksAndEnds)
{
    std::string content = "TOLVANE-CAPTURE 1 baud=9600 start= device=x\n";
    for (int i = 0; i < 100; ++i) {
        const test::Bytes f = test::Frame(0x70, {0, 0, 0, 0, static_cast<std::uint8_t>(i), 0});
        content += FormatChunkLine(ChunkKind::Received, i * 50, f.data(), i == 25 ? 4 : f.size());
        if (i == 25) content += FormatGapLine(i * 50, 2);
        if (i == 80) content += "R 4000 zz\n";
    }
    const std::string path = dir.filePath("r.tcap").toStdString(), empty = dir.filePath("e.tcap").toStdString();
    std::ofstream(path) << content;
    std::ofstream(empty) << "";
    bool asked = false; // the COM port dialog at start, with no port remembered
    WhenModal([&](QWidget* w) { asked = true, static_cast<QDialog*>(w)->reject(); });
    auto counting = std::make_unique<CountingLink>();
    CountingLink& sending = *counting;
    MakeFrameOn(std::move(counting));
    ASSERT_TRUE(WaitUntil([&] { return asked && QApplication::activeModalWidget() == nullptr; }, 8000));

    QString told;
    WhenModal([&](QWidget* w) { told = static_cast<QMessageBox*>(w)->text(), static_cast<QDialog*>(w)->accept(); });
    EXPECT_FALSE(frame->Replay().Open(path + "x"));
    EXPECT_EQ(told.toStdString(), "cannot read " + path + "x: No such file or directory");

    ASSERT_TRUE(frame->Replay().Open(path));
    auto* bar = frame->findChild<QToolBar*>("Replay");
    auto* play = bar->findChild<QToolButton*>("Play");
    auto* slider = bar->findChild<QSlider*>();
    const auto names = [&] {
        return (play->accessibleName() + "|" + bar->findChild<QComboBox*>()->accessibleName() + "|" +
                slider->accessibleName() + "|" + bar->findChild<QLabel*>("Time")->text()).toStdString();
    };
    EXPECT_TRUE(bar->isVisible());
    frame->View()->setFocus();
    QTest::keyClick(frame->View(), Qt::Key_Space);
    EXPECT_EQ(names().substr(0, 23), "Play|Speed|Position|0:0");
    frame->RunCommand(kCmdSerialNo);
    frame->RunCommand(kCmdInitialize);
    EXPECT_FALSE(frame->Session().ReplyTimerRunning());

    // A screen reader sets the position: the plot's span before it is filled
    // from the file. (The view keeps 50 lines: it starts empty.)
    frame->RunCommand(kCmdMessagesClear);
    const int lines = 0;
    QAccessible::queryAccessibleInterface(slider)->valueInterface()->setCurrentValue(3500);
    EXPECT_EQ(frame->Plot().Samples().Size(), 69u) << "frames 0 to 69 less the one cut by the gap";
    EXPECT_EQ(QAccessible::queryAccessibleInterface(slider)->valueInterface()->currentValue().toInt(), 3500);
    bar->findChild<QComboBox*>()->setCurrentIndex(4);
    QTest::keyClick(frame->View(), Qt::Key_Space);
    const auto orientations = [&] {
        int n = 0;
        for (int i = lines; i < frame->View()->LineCount(); ++i)
            n += frame->View()->Line(i).mnemonic == std::string("DORIENT");
        return n;
    };
    // Frames 50 ms apart: every other one is held off by its recorded time, however fast it plays.
    ASSERT_TRUE(WaitUntil([&] { return orientations() == 15 && play->text() == "Play"; }));
    EXPECT_EQ(frame->View()->Line(frame->View()->LineCount() - 1).text, std::string(" Replay ended "));
    EXPECT_EQ(names(), "Play|Speed|Position|0:04 / 0:04");
    EXPECT_EQ(bar->findChild<QLabel*>("Time")->toolTip(), "1 malformed lines skipped");

    frame->Replay().SeekTo(20000);
    ASSERT_TRUE(WaitUntil([&] { return frame->View()->LineCount() == lines + 17; }));
    ASSERT_TRUE(frame->Replay().Open(empty));
    EXPECT_TRUE(WaitUntil([&] { return frame->View()->LineCount() == lines + 18; }));
    EXPECT_EQ(sending.sends, 0);
    frame->RunCommand(kCmdCloseReplay);
    EXPECT_FALSE(bar->isVisible());
}

} // namespace
} // namespace tolvane
