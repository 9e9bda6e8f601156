// The main frame against tolvane-sim over a real pseudo-terminal: the
// simulator as a child process, a frame on a temporary settings file, and
// helpers for waiting and for answering modal windows.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include "app/main_frame.h"
#include "dialogs/dialog_template.h"
#include "link/serial_link.h"
#include "support/in_process_link.h"
#include "resources/command_ids.h"
#include "support/sim_process.h"
#include "views/message_view.h"

namespace tolvane {

inline bool WaitUntil(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return done();
        QTest::qWait(5);
    }
    return true;
}
// For what must not happen: true if `happens` stays false for `ms`.
inline bool Never(const std::function<bool()>& happens, int ms) { return !WaitUntil(happens, ms); }

inline QLineEdit* Edit(const QDialog& d, int id) { return ControlOf<QLineEdit>(d, id); }

inline void Click(const QDialog& d, int id) { QTest::mouseClick(ControlOf<QAbstractButton>(d, id), Qt::LeftButton); }

// Seattle typed into the WMM dialog, each field checked as it is left.
inline void TypeSeattle(const QDialog& d)
{
    for (const auto& [id, text] : {std::pair{1008, "47.6"}, std::pair{1011, "122.3"}}) {
        Edit(d, id)->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(Edit(d, id), text);
        Edit(d, 1006)->setFocus(Qt::TabFocusReason);
    }
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
        for (const QByteArray& line : RequestLines()) types.push_back(line.mid(7).split(',').first().toInt());
        return types;
    }
    // Each request from its "type" on: "\"type\":84,\"payload\":\"01..\"}"; those that start with `start`.
    std::vector<QByteArray> RequestLines(const QByteArray& start = "\"type\"") const
    {
        QFile file(QString::fromStdString(record_));
        std::vector<QByteArray> lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.contains(start)) lines.push_back(line.mid(line.indexOf("\"type\"")));
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

    // A frame whose COM1 is `path` and whose other ports do not exist; the
    // port it remembers is COM1 unless `remembered` says otherwise.
    void MakeFrame(const std::string& path, const QVariant& remembered = 1)
    {
        settings->setValue("Compass/COMPort", remembered);
        PortMap ports;
        for (int p = 1; p <= 8; ++p) ports.SetPath(p, dir.filePath(QString("none%1").arg(p)).toStdString());
        ports.SetPath(1, path);
        auto serial = std::make_unique<SerialLink>();
        serial->SetPortMap(ports);
        serial->SetLockDirectories({dir.path().toStdString()});
        MakeFrameOn(std::move(serial));
    }
    void MakeFrameOn(std::unique_ptr<DeviceLink> deviceLink)
    {
        link = std::move(deviceLink);
        log = std::make_unique<LogFile>(dir.path().toStdString(), LogFile::LocalTime{});
        frame = std::make_unique<CMainFrame>(*link, *log, *settings);
        frame->resize(900, 600);
        frame->show();
    }
    // A frame as MakeFrame makes it (without a path, on a link in process
    // with no port to open), once the COM port dialog it opens at start-up
    // is cancelled. What the dialog showed: "title|its line about the device".
    QString MakeFrameAndCancelPortDialog(const std::string& path = {}, const QVariant& remembered = 1)
    {
        QString shown;
        WhenModal([&shown](QWidget* w) {
            const auto* device = w->findChild<QLabel*>("1002");
            shown = w->windowTitle() + "|" + (device ? device->text() : "");
            static_cast<QDialog*>(w)->reject();
        });
        if (path.empty()) MakeFrameOn(std::make_unique<test::InProcessLink>());
        else MakeFrame(path, remembered);
        EXPECT_TRUE(WaitUntil([&] { return !shown.isEmpty() && !QApplication::activeModalWidget(); }, 8000));
        return shown;
    }

    // Answers the next modal box or dialog that `wants` (any, without it)
    // with `act`, once it appears. The poll deletes itself once it acts.
    static QTimer* WhenModal(std::function<void(QWidget*)> act, std::function<bool(QWidget*)> wants = {})
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, act, wants] {
            QWidget* w = QApplication::activeModalWidget();
            if (w && (!wants || wants(w))) {
                poll->stop();
                poll->deleteLater();
                act(w);
            }
        });
        poll->start(20);
        return poll;
    }

    // The simulator (`extra` its switches) and a frame whose COM1 it is.
    void OpenOnSimulator(std::vector<std::string> extra = {})
    {
        sim.emplace(dir, std::move(extra));
        MakeFrame(sim->Link());
    }

    QString Pane(int id) const { return frame->Pane(id)->text(); }
    // Whether the port pane comes to read " COM1 `state` " within `ms`.
    bool PortShows(const QString& state, int ms = 3000)
    {
        return WaitUntil([&] { return Pane(kPaneComPort) == " COM1 " + state + " "; }, ms);
    }
    bool Identified(int ms = 8000) { return WaitUntil([&] { return frame->Session().VersionKnown(); }, ms); }
    // Once the identity chain has ended with the declination (whose reply
    // writes a record into an open log).
    bool ChainEnded()
    {
        return WaitUntil([&] { return frame->Session().VersionKnown() && Viewed("DIMVAR") > 0; }, 8000);
    }
    std::uint64_t Orientations() const { return frame->Session().OrientationCount(); }
    bool MoreOrientations(std::uint64_t n)
    {
        const std::uint64_t until = Orientations() + n;
        return WaitUntil([&] { return Orientations() >= until; }, 5000);
    }
    // How many lines of `mnemonic` the view holds.
    int Viewed(const std::string& mnemonic) const
    {
        int lines = 0;
        for (int i = 0; i < frame->View()->LineCount(); ++i) lines += frame->View()->Line(i).mnemonic == mnemonic;
        return lines;
    }

    static bool IsBox(QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; }
    // Whether `d` closes by itself (on a reply, or on a box answered) within 5 s.
    static bool Closes(const QDialog& d) { return WaitUntil([&] { return !d.isVisible(); }, 5000); }

    // Runs `command` (or posts `event`) and, in the dialog it opens, `act`;
    // a dialog `act` leaves open is cancelled. A message box left open for
    // 3 s fails the test instead of hanging it. The dialog's result, -1 if none.
    int RunDialog(int command, const std::function<void(QDialog&)>& act, QEvent::Type event = QEvent::None)
    {
        int result = -1;
        QPointer<QTimer> poll = WhenModal(
            [&](QWidget* w) {
                auto* dialog = static_cast<QDialog*>(w);
                QObject::connect(dialog, &QDialog::finished, [&result](int r) { result = r; });
                dialog->activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
                act(*dialog);
                if (dialog->isVisible()) dialog->reject();
            },
            [](QWidget* w) { return !IsBox(w); });
        QTimer guard;
        QPointer<QWidget> box;
        QObject::connect(&guard, &QTimer::timeout, [&box] {
            QWidget* w = QApplication::activeModalWidget();
            if (w != nullptr && w == box) { // a box, open since the last tick
                ADD_FAILURE() << "unanswered box: " << static_cast<QMessageBox*>(w)->text().toStdString();
                static_cast<QMessageBox*>(w)->reject();
            }
            box = w && IsBox(w) ? w : nullptr;
        });
        guard.start(3000);
        if (event == QEvent::None) frame->RunCommand(command);
        else QCoreApplication::postEvent(frame.get(), new QEvent(event));
        EXPECT_TRUE(WaitUntil([&] { return result != -1; }, 60000));
        delete poll.data();
        return result;
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<LogFile> log;
    std::unique_ptr<CMainFrame> frame;
    std::optional<Simulator> sim; // last, so gone before the frame as a test's own would be
};

} // namespace tolvane
