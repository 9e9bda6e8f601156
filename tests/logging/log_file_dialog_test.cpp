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

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include "log_test_support.h"
#include "support/golden.h"

namespace tolvane {
namespace {

using namespace log_test;

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

// One run of Log Open or Bump, with the answers to the windows it shows;
// `file` is written with `before` first unless that is null, and shown
// after; `logging`: the log is opened on CompassLog01.dta first.
struct Case {
    const char* file;
    const char* before;
    bool logging, bump;
    std::uint32_t serial;
    bool versionKnown;
    std::deque<std::string> answers;
};

// Line ends shown as \r and \n, the 300-character name shortened.
std::string Shown(std::string text)
{
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"\r", "\\r"}, {"\n", "\\n"},
                                   {std::string(300, 'n'), "<300 n>"}})
        for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
            text.replace(at, from.size(), to);
    return text;
}

using LogFileDialogTest = LogTest;

// logging_dialog.txt, the cases run in turn on one log: a file that will
// not open keeps the dialog open for another name; the name proposed (from
// a known serial number, else CompassLog01.dta, later the last name, in
// the last folder); a new or empty file opens without a question, a file
// with data asks whether to append (Cancel returns to the dialog with
// nothing opened); Open while logging asks first (No leaves the log as it
// is, Yes closes it before the dialog shows); Bump offers the next name
// when it exists.
TEST_F(LogFileDialogTest, RunsAndWhatTheyLeave)
{
    const std::string tooLong = std::string(300, 'n') + ".dta";
    const Case cases[] = {
        // First, while the folder is new to the file dialog: one it has listed may keep its selection.
        {"good.dta", nullptr, false, false, 0, false, {"!" + tooLong, "OK", "!good.dta"}},
        {"Compass01234.dta", nullptr, false, false, 1234, true, {"-"}},
        {"CompassLog01.dta", nullptr, false, false, 0xFFFFFFFFu, true, {"-"}},
        {"CompassLog01.dta", nullptr, false, false, 1234, false, {"-"}},
        {"new.dta", nullptr, false, false, 0, false, {"new.dta"}},
        {"empty.dta", "", false, false, 0, false, {"empty.dta"}},
        {"data.dta", "old\r\n", false, false, 0, false, {"data.dta", "Yes"}},
        {"data.dta", "old\r\n", false, false, 0, false, {"data.dta", "No"}},
        {"data.dta", "old\r\n", false, false, 0, false, {"data.dta", "Cancel", "-"}},
        {"CompassLog01.dta", nullptr, true, false, 0, false, {"No"}},
        {"CompassLog01.dta", nullptr, true, false, 0, false, {"Yes", "-"}},
        {"CompassLog01A.dta", "keep", true, true, 0, false, {"-"}},
    };
    std::string made = "Log Open (or Bump): answers -> the windows shown, each a dialog with the name proposed\n"
                       "or a box with its title|text [default button]; then the log and the file named first\n";
    QWidget frame;
    for (const Case& c : cases) {
        log.Close();
        panes.clear();
        if (c.before) std::ofstream(dir / c.file, std::ios::binary) << c.before;
        ASSERT_TRUE(!c.logging || log.OpenPath(dir / "CompassLog01.dta", false));
        std::string answers, state;
        for (const std::string& answer : c.answers) answers += (answers.empty() ? "" : ", ") + answer;
        Modals modals(log, c.answers);
        if (c.bump) LogBumpCommand(log, &frame, c.versionKnown, c.serial);
        else LogOpenCommand(log, &frame, c.versionKnown, c.serial);
        for (const std::string& seen : modals.seen) answers += (&seen == modals.seen.data() ? " -> " : " / ") + seen;
        state = (log.Logging() ? "logging to " : "not logging, name ") + log.FileName() +
                (log.Logging() && log.headerPending ? ", header pending" : "") +
                (log.Folder() == dir.path ? "" : ", elsewhere") + "; " + c.file + ": " + ReadFile(dir / c.file) +
                "; panes:";
        for (const std::string& pane : panes) state += " '" + pane + "'";
        made += std::string(c.bump ? "Bump" : "Open") + (c.logging ? " while logging" : "") + ", serial " +
                std::to_string(c.serial) + (c.versionKnown ? " known: " : ": ") + Shown(answers) + "\n    " +
                Shown(state) + "\n";
    }
    test::ExpectGolden("logging_dialog.txt", made);
}

} // namespace
} // namespace tolvane
