// The Log Open dialog and the Log Open and Bump commands: the name they
// propose, the questions they ask, and the dialog held open until a file
// opens or the user gives up.
#include "logging/log_file_dialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "log_test_support.h"

namespace tolvane {
namespace {

using namespace log_test;
using ::testing::ElementsAre;

// Answers the modal windows as they come up, in order, and keeps what they
// showed: "dialog <file name proposed>" (" while logging" if the log is
// open then), or "box <title>|<text>" with its default button and its
// owner. A box is answered with a button's text ("Yes", "Cancel", ...);
// the dialog with "-" to cancel, or a file name to type ("!name": to
// select, where typing will not do). A window with no answer left fails the test and is closed, so a
// wrong turn cannot hang it.
class Modals {
public:
    Modals(const LogFile& log, std::deque<std::string> answers) : log_(log), answers_(std::move(answers))
    {
        Poll();
    }
    std::vector<std::string> seen;

private:
    void Poll()
    {
        QTimer::singleShot(10, &context_, [this] { Poll(); }); // armed first: a step may open a nested loop
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == last_) return;
        last_ = w;
        const std::string answer = answers_.empty() ? "" : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            const QAbstractButton* standing = box->defaultButton();
            seen.push_back(("box " + box->windowTitle() + "|" + box->text() +
                            (standing ? " [" + standing->text() + "]" : "") +
                            (box->parentWidget() ? " over the dialog" : ""))
                               .toStdString());
            for (QAbstractButton* button : box->buttons())
                if (button->text().remove('&').toStdString() == answer) return button->click();
        } else if (auto* d = qobject_cast<LogFileDialog*>(w)) {
            seen.push_back("dialog " + QFileInfo(d->selectedFiles().value(0)).fileName().toStdString() +
                           (d->directory().absolutePath().toStdString() == log_.Folder() ? "" : " elsewhere") +
                           (log_.Logging() ? " while logging" : ""));
            if (answer == "-") return d->reject();
            if (!answer.empty()) return Choose(*d, QString::fromStdString(answer));
        }
        ADD_FAILURE() << "unexpected modal window \"" << w->windowTitle().toStdString() << "\"";
        if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
    }
    // Typed, as a user would: the file list's selection follows typing, not
    // a name the program sets, and would win over it; the folder loads in
    // the background, so typing goes on until the name holds.
    static void Choose(LogFileDialog& d, QString name)
    {
        const bool typed = !name.startsWith('!');
        const QString path = d.directory().absoluteFilePath(name.remove('!'));
        d.selectFile(path);
        auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
        QElapsedTimer waited;
        waited.start();
        while (typed && d.selectedFiles().value(0) != path && waited.elapsed() < 3000) {
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Backspace);
            QTest::keyClicks(edit, name);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        d.accept();
    }

    const LogFile& log_;
    std::deque<std::string> answers_;
    QPointer<QWidget> last_;
    QObject context_;
};

class LogFileDialogTest : public LogTest {
protected:
    // Runs Log Open (or Bump) with the answers; what the windows showed.
    std::vector<std::string> Run(std::deque<std::string> answers, bool bump = false, std::uint32_t serial = 0,
                                 bool versionKnown = false)
    {
        Modals modals(log, std::move(answers));
        if (bump) LogBumpCommand(log, &frame, versionKnown, serial);
        else LogOpenCommand(log, &frame, versionKnown, serial);
        return modals.seen;
    }

    QWidget frame;
};

TEST_F(LogFileDialogTest, ProposesTheSerialNumberNameInTheLastFolder)
{
    EXPECT_THAT(Run({"-"}, false, 1234, true), ElementsAre("dialog Compass01234.dta"));
    EXPECT_THAT(Run({"-"}, false, 0xFFFFFFFFu, true), ElementsAre("dialog CompassLog01.dta"));
    EXPECT_THAT(Run({"-"}, false, 1234, false), ElementsAre("dialog CompassLog01.dta"));
    EXPECT_FALSE(log.Logging());
    EXPECT_TRUE(panes.empty());
}

// A new or empty file opens without a question; a file with data asks
// whether to append, and Cancel returns to the dialog with nothing opened.
TEST_F(LogFileDialogTest, AFileWithDataAsksWhetherToAppend)
{
    const std::string appended = "old\r\n\r\n" + std::string(kSection);
    const std::string asked = "box File Exists|data.dta exists and has 5 bytes.\nOpen to append? (If you reply "
                              "\"no,\"\nthe contents of the file will be lost.) [&Yes] over the dialog";
    using Seen = std::vector<std::string>;
    const std::tuple<const char*, const char*, std::deque<std::string>, Seen, std::string> cases[] = {
        {"new.dta", nullptr, {"new.dta"}, {"dialog CompassLog01.dta"}, kSection},
        {"empty.dta", "", {"empty.dta"}, {"dialog new.dta"}, kSection},
        {"data.dta", "old\r\n", {"data.dta", "Yes"}, {"dialog empty.dta", asked}, appended},
        {"data.dta", "old\r\n", {"data.dta", "No"}, {"dialog data.dta", asked}, kSection},
        {"data.dta", "old\r\n", {"data.dta", "Cancel", "-"}, {"dialog data.dta", asked, "dialog data.dta"}, "old\r\n"},
    };
    for (const auto& [name, before, answers, seen, after] : cases) {
        SCOPED_TRACE(answers.back());
        log.Close();
        panes.clear();
        ASSERT_TRUE(!before || WriteFile(dir / name, before));
        EXPECT_EQ(Run(answers), seen);
        const bool opened = answers.back() != "-";
        EXPECT_EQ(log.Logging(), opened);
        EXPECT_EQ(ReadFile(dir / name), after);
        EXPECT_EQ(log.FileName(), opened ? name : "data.dta");
        EXPECT_EQ(log.Folder(), dir.path);
        EXPECT_TRUE(log.headerPending || !opened);
        EXPECT_EQ(panes, opened ? Seen{std::string(" Logging to ") + name} : Seen{});
    }
}

TEST_F(LogFileDialogTest, AFileThatWillNotOpenKeepsTheDialogOpenForAnotherName)
{
    const std::string tooLong = std::string(300, 'n') + ".dta";
    EXPECT_THAT(Run({"!" + tooLong, "OK", "!good.dta"}),
                ElementsAre("dialog CompassLog01.dta",
                            "box Open Failure|" + tooLong + " will not open. over the dialog", "dialog " + tooLong));
    EXPECT_EQ(log.FileName(), "good.dta");
    EXPECT_EQ(ReadFile(dir / "good.dta"), kSection);
}

// Open while logging asks first: No leaves the log as it is, Yes closes it
// before the dialog shows. Bump offers the next name when it exists.
TEST_F(LogFileDialogTest, OpenWhileLoggingAsksFirstAndBumpOffersTheNextName)
{
    ASSERT_TRUE(log.OpenPath(dir / "CompassLog01.dta", false));
    const std::string asked =
        "box  Log File Already Open|CompassLog01.dta\nis already open for logging.\nClose it? [&No]";
    EXPECT_THAT(Run({"No"}), ElementsAre(asked));
    EXPECT_TRUE(log.Logging());
    EXPECT_THAT(Run({"Yes", "-"}), ElementsAre(asked, "dialog CompassLog01.dta"));
    EXPECT_FALSE(log.Logging());
    EXPECT_THAT(panes, ElementsAre(" Logging to CompassLog01.dta", kNotLoggingText));
    EXPECT_EQ(ReadFile(dir / "CompassLog01.dta"), kSection);

    ASSERT_TRUE(WriteFile(dir / "CompassLog01A.dta", "keep"));
    ASSERT_TRUE(log.OpenPath(dir / "CompassLog01.dta", false));
    EXPECT_THAT(Run({"-"}, true), ElementsAre("dialog CompassLog01A.dta"));
    EXPECT_FALSE(log.Logging());
    EXPECT_EQ(panes.back(), kNotLoggingText);
    EXPECT_EQ(ReadFile(dir / "CompassLog01A.dta"), "keep");
}

} // namespace
} // namespace tolvane
