#include "logging/log_file_dialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gmock/gmock.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "log_test_support.h"

namespace tolvane {
namespace {

using namespace log_test;
using ::testing::ElementsAre;

// Acts on the modal windows as they come up, one step each, in order. A
// window that no step expects fails the test and is closed, so that a
// wrong turn cannot hang it.
class ModalScript {
public:
    struct Step {
        std::function<bool(QWidget*)> wants;
        std::function<void(QWidget*)> act;
    };

    explicit ModalScript(std::vector<Step> steps) : steps_(std::move(steps)) { Poll(); }
    bool Done() const { return next_ == steps_.size(); }

private:
    void Poll()
    {
        // Armed before acting: a step may block in a nested event loop.
        QTimer::singleShot(10, &context_, [this] { Poll(); });
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr) return;
        if (!Done() && steps_[next_].wants(w)) {
            unexpected_ = 0;
            steps_[next_++].act(w);
            return;
        }
        if (++unexpected_ < 50) return;
        unexpected_ = 0;
        ADD_FAILURE() << "unexpected modal window \"" << w->windowTitle().toStdString() << "\" at step " << next_;
        if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int unexpected_ = 0;
    QObject context_;
};

struct BoxSeen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QWidget* owner = nullptr;
};

ModalScript::Step Box(QMessageBox::StandardButton answer, BoxSeen* seen)
{
    return {[](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
            [answer, seen](QWidget* w) {
                auto* box = static_cast<QMessageBox*>(w);
                *seen = {box->windowTitle(),
                         box->text(),
                         box->icon(),
                         box->standardButtons(),
                         box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton,
                         box->parentWidget()};
                box->button(answer)->click();
            }};
}

ModalScript::Step FileDialog(std::function<void(LogFileDialog&)> act)
{
    return {[](QWidget* w) { return qobject_cast<LogFileDialog*>(w) != nullptr; },
            [act](QWidget* w) { act(*static_cast<LogFileDialog*>(w)); }};
}

// Confirms `path` in the dialog as the user would with OK.
ModalScript::Step Choose(const std::string& path)
{
    return FileDialog([path](LogFileDialog& d) {
        const QFileInfo chosen(QString::fromStdString(path));
        d.setDirectory(chosen.absolutePath());
        auto* name = d.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        // Typed, as a user would: the file list's selection follows typing
        // (not text the program sets) and would otherwise win over the field;
        // the folder loads in the background, so type until it holds.
        QElapsedTimer waited;
        waited.start();
        while (d.selectedFiles().value(0) != chosen.absoluteFilePath() && waited.elapsed() < 3000) {
            name->selectAll();
            QTest::keyClick(name, Qt::Key_Backspace);
            QTest::keyClicks(name, chosen.fileName());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        d.accept();
    });
}

class LogFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path.empty());
        log.SetPaneText([this](const std::string& text) { panes.push_back(text); });
    }

    std::string Path(const std::string& name) const { return dir / name; }

    ScratchFolder dir;
    LogFile log{dir.path, FixedNow};
    QWidget frame;
    std::vector<std::string> panes;
};

TEST_F(LogFileDialogTest, ProposesTheSerialNumberNameInTheLastFolder)
{
    const struct {
        bool versionKnown;
        std::uint32_t serial;
        const char* proposed;
    } cases[] = {
        {true, 1234, "Compass01234.dta"},
        {true, 0xFFFFFFFFu, "CompassLog01.dta"},
        {false, 1234, "CompassLog01.dta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proposed);
        QStringList files, filters;
        QString title, folder;
        QWidget* owner = nullptr;
        bool nonNative = false, open = false, anyFile = false;
        ModalScript script({FileDialog([&](LogFileDialog& d) {
            files = d.selectedFiles();
            filters = d.nameFilters();
            title = d.windowTitle();
            folder = d.directory().absolutePath();
            owner = d.parentWidget();
            nonNative = d.testOption(QFileDialog::DontUseNativeDialog);
            open = d.acceptMode() == QFileDialog::AcceptOpen;
            anyFile = d.fileMode() == QFileDialog::AnyFile;
            d.reject();
        })});
        LogOpenCommand(log, &frame, c.versionKnown, c.serial);
        EXPECT_TRUE(script.Done());
        EXPECT_THAT(files, ElementsAre(QString::fromStdString(Path(c.proposed))));
        EXPECT_THAT(filters, ElementsAre("Compass log files (Compass*.dta)", "All files (*.*)"));
        EXPECT_EQ(title, "Open Logging File");
        EXPECT_EQ(folder.toStdString(), dir.path);
        EXPECT_EQ(owner, &frame);
        EXPECT_TRUE(nonNative && open && anyFile);
        EXPECT_FALSE(log.Logging());
        EXPECT_TRUE(panes.empty());
    }
}

TEST_F(LogFileDialogTest, ANewOrEmptyFileOpensWithoutAskingAndStartsASection)
{
    ASSERT_TRUE(WriteFile(Path("empty.dta"), ""));
    for (const char* name : {"new.dta", "empty.dta"}) {
        SCOPED_TRACE(name);
        log.Close();
        panes.clear();
        ModalScript script({Choose(Path(name))});
        LogOpenCommand(log, &frame, false, 0);
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(log.Logging());
        EXPECT_EQ(log.FileName(), name);
        EXPECT_EQ(log.Folder(), dir.path);
        EXPECT_TRUE(log.headerPending);
        EXPECT_THAT(panes, ElementsAre(std::string(" Logging to ") + name));
        EXPECT_EQ(ReadFile(Path(name)), kSection);
    }
}

TEST_F(LogFileDialogTest, AFileWithDataAsksWhetherToAppend)
{
    const struct {
        QMessageBox::StandardButton answer;
        bool logging;
        std::string after;
    } cases[] = {
        {QMessageBox::Yes, true, std::string("old\r\n\r\n") + kSection},
        {QMessageBox::No, true, kSection},
        {QMessageBox::Cancel, false, "old\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        log.Close();
        ASSERT_TRUE(WriteFile(Path("data.dta"), "old\r\n"));
        BoxSeen seen;
        LogFileDialog* shown = nullptr;
        LogFileDialog* afterCancel = nullptr;
        bool loggingAfterCancel = true;
        std::vector<ModalScript::Step> steps = {
            FileDialog([&](LogFileDialog& d) {
                shown = &d;
                d.selectFile(QString::fromStdString(Path("data.dta")));
                d.accept();
            }),
            Box(c.answer, &seen),
        };
        // Cancel returns to the dialog, with nothing opened.
        if (c.answer == QMessageBox::Cancel)
            steps.push_back(FileDialog([&](LogFileDialog& d) {
                afterCancel = &d;
                loggingAfterCancel = log.Logging();
                d.reject();
            }));
        ModalScript script(std::move(steps));
        LogOpenCommand(log, &frame, false, 0);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(seen.title, "File Exists");
        EXPECT_EQ(seen.text, "data.dta exists and has 5 bytes.\nOpen to append? (If you reply \"no,\"\n"
                             "the contents of the file will be lost.)");
        EXPECT_EQ(seen.icon, QMessageBox::Question);
        EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        EXPECT_EQ(seen.owner, shown);
        if (c.answer == QMessageBox::Cancel) {
            EXPECT_EQ(afterCancel, shown);
            EXPECT_FALSE(loggingAfterCancel);
        }
        EXPECT_EQ(log.Logging(), c.logging);
        EXPECT_EQ(ReadFile(Path("data.dta")), c.after);
    }
}

TEST_F(LogFileDialogTest, AFileThatWillNotOpenKeepsTheDialogOpenForAnotherName)
{
    const std::string tooLong = std::string(300, 'n') + ".dta";
    BoxSeen seen;
    LogFileDialog* first = nullptr;
    LogFileDialog* second = nullptr;
    ModalScript script({
        FileDialog([&](LogFileDialog& d) {
            first = &d;
            d.selectFile(QString::fromStdString(Path(tooLong)));
            d.accept();
        }),
        Box(QMessageBox::Ok, &seen),
        FileDialog([&](LogFileDialog& d) {
            second = &d;
            d.selectFile(QString::fromStdString(Path("good.dta")));
            d.accept();
        }),
    });
    LogOpenCommand(log, &frame, false, 0);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(seen.title, "Open Failure");
    EXPECT_EQ(seen.text.toStdString(), tooLong + " will not open.");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.owner, first);
    EXPECT_EQ(second, first);
    EXPECT_EQ(log.FileName(), "good.dta");
    EXPECT_EQ(ReadFile(Path("good.dta")), kSection);
}

TEST_F(LogFileDialogTest, AFolderWithoutWritePermissionRefusesTheProposedNameAndTheDialogStays)
{
    const FolderWithoutWritePermission locked(dir.path, "locked");
    ASSERT_TRUE(locked.Lock());
    LogFile lockedLog(locked.path, FixedNow);
    const Unprivileged user;
    if (!Unprivileged::Effective()) GTEST_SKIP() << "cannot act as an unprivileged user";
    BoxSeen seen;
    LogFileDialog* first = nullptr;
    LogFileDialog* second = nullptr;
    ModalScript script({
        FileDialog([&](LogFileDialog& d) { // the name proposed in the last folder
            first = &d;
            d.accept();
        }),
        Box(QMessageBox::Ok, &seen),
        FileDialog([&](LogFileDialog& d) {
            second = &d;
            d.reject();
        }),
    });
    LogOpenCommand(lockedLog, &frame, false, 0);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(seen.title, "Open Failure");
    EXPECT_EQ(seen.text, "CompassLog01.dta will not open.");
    EXPECT_EQ(second, first);
    EXPECT_FALSE(lockedLog.Logging());
    EXPECT_FALSE(std::filesystem::exists(locked / "CompassLog01.dta"));
}

TEST_F(LogFileDialogTest, OpenWhileLoggingAsksFirst)
{
    ASSERT_TRUE(log.OpenPath(Path("a.dta"), false));
    panes.clear();
    BoxSeen seen;
    {
        ModalScript script({Box(QMessageBox::No, &seen)});
        LogOpenCommand(log, &frame, false, 0);
        EXPECT_TRUE(script.Done()) << "No: no file dialog";
    }
    EXPECT_EQ(seen.title, " Log File Already Open");
    EXPECT_EQ(seen.text, "a.dta\nis already open for logging.\nClose it?");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_TRUE(log.Logging());
    EXPECT_TRUE(panes.empty());

    bool loggingInDialog = true;
    ModalScript script({Box(QMessageBox::Yes, &seen), FileDialog([&](LogFileDialog& d) {
                            loggingInDialog = log.Logging();
                            d.reject();
                        })});
    LogOpenCommand(log, &frame, false, 0);
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(loggingInDialog);
    EXPECT_FALSE(log.Logging());
    EXPECT_THAT(panes, ElementsAre(kNotLoggingText));
    EXPECT_EQ(ReadFile(Path("a.dta")), kSection);
}

TEST_F(LogFileDialogTest, BumpOffersTheNextNameWhenItExists)
{
    ASSERT_TRUE(WriteFile(Path("CompassLog01A.dta"), "keep"));
    ASSERT_TRUE(log.OpenPath(Path("CompassLog01.dta"), false));
    QStringList offered;
    bool loggingInDialog = true;
    ModalScript script({FileDialog([&](LogFileDialog& d) {
        offered = d.selectedFiles();
        loggingInDialog = log.Logging();
        d.reject();
    })});
    LogBumpCommand(log, &frame, false, 0);
    EXPECT_TRUE(script.Done());
    EXPECT_THAT(offered, ElementsAre(QString::fromStdString(Path("CompassLog01A.dta"))));
    EXPECT_FALSE(loggingInDialog);
    EXPECT_FALSE(log.Logging());
    EXPECT_EQ(panes.back(), kNotLoggingText);
    EXPECT_EQ(ReadFile(Path("CompassLog01A.dta")), "keep");
}

} // namespace
} // namespace tolvane
