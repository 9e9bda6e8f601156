// Helpers for driving a configuration dialog offscreen: answering the
// message boxes it opens, recording what it sends and who it registers.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "session/message_receiver.h"
#include "dialogs/wait_timer.h"

namespace tolvane::test {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers each message box that opens while it lives, with the next of
// its answers (OK once they run out), and keeps what each box showed.
// `whileShowing`, when set, runs once while the next box shows.
class BoxAnswerer {
public:
    explicit BoxAnswerer(const std::vector<QMessageBox::StandardButton>& answers = {})
        : answers_(answers.begin(), answers.end())
    {
        QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
        poll_.start(5);
    }

    std::vector<SeenBox> seen;
    std::function<void()> whileShowing;

    // What the boxes shown since the last call said, as "kind title: text"
    // joined by '|' (kind: error, warning or info by the icon).
    QString SaidSince()
    {
        QStringList said;
        for (; heard_ < seen.size(); ++heard_) {
            const QMessageBox::Icon icon = seen[heard_].icon;
            const char* kind = icon == QMessageBox::Critical      ? "error "
                               : icon == QMessageBox::Warning     ? "warning "
                               : icon == QMessageBox::Information ? "info "
                                                                  : "? ";
            said << kind + seen[heard_].title + ": " + seen[heard_].text;
        }
        return said.join('|');
    }

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == last_) return;
        last_ = box;
        seen.push_back({box->windowTitle(), box->text(), box->icon()});
        if (whileShowing) std::exchange(whileShowing, nullptr)();
        const QMessageBox::StandardButton answer = answers_.empty() ? QMessageBox::Ok : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        if (QAbstractButton* button = box->button(answer)) button->click();
        else ADD_FAILURE() << "no such button in " << box->text().toStdString();
    }

    std::deque<QMessageBox::StandardButton> answers_;
    std::size_t heard_ = 0;
    QPointer<QMessageBox> last_;
    QTimer poll_;
};

// A dialog's wait for a reply, run out when the test says.
class ManualTimer : public WaitTimer {
public:
    void Start(int ms, std::function<void()> expired) override
    {
        startedMs = ms;
        expired_ = std::move(expired);
    }
    void Stop() override { expired_ = nullptr; }
    bool Active() const override { return expired_ != nullptr; }
    // Runs out the wait started for `ms`; fails when none runs.
    void Expire(int ms)
    {
        ASSERT_TRUE(Active()) << "no wait to run out";
        EXPECT_EQ(startedMs, ms);
        std::exchange(expired_, nullptr)();
    }

    int startedMs = 0;

private:
    std::function<void()> expired_;
};

// What a dialog sends, and the registry through which it waits for replies.
struct FrameStub {
    std::vector<OutgoingRequest> sent;
    ReceiverRegistry registry;

    std::function<void(const OutgoingRequest&)> Sender()
    {
        return [this](const OutgoingRequest& r) { sent.push_back(r); };
    }
    // "+" while a dialog waits for messages of any of `types`, else "-".
    const char* Heard(std::initializer_list<MessageType> types) const
    {
        for (const MessageType type : types)
            if (registry.For(TypeByte(type))) return "+";
        return "-";
    }
};

inline DeviceMessage Message(std::uint16_t type, std::initializer_list<std::uint8_t> payload = {})
{
    DeviceMessage m;
    m.type = type;
    for (std::uint8_t b : payload) m.payload[m.length++] = b;
    return m;
}

inline void ShowActive(QDialog& dialog)
{
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

// Replaces the field's text by typing, as the user does.
inline void Type(QLineEdit* edit, const QString& text)
{
    ASSERT_NE(edit, nullptr);
    edit->window()->activateWindow(); // a message box may have taken it
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Replaces the field's text by pasting `text`, as a user brings in what
// no keyboard types: control characters, or more than the field holds.
inline void Paste(QLineEdit* edit, const QString& text)
{
    ASSERT_NE(edit, nullptr);
    edit->window()->activateWindow(); // a message box may have taken it
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QGuiApplication::clipboard()->setText(text);
    edit->paste();
}

// Bad input of every kind a field may be given.
struct BadInput {
    const char* fault;
    QString text;
};
inline const std::vector<BadInput>& BadInputs()
{
    static const std::vector<BadInput> inputs = {
        {"13 characters of garbage", QStringLiteral("#@!x;Q~&%^*()")},
        {"a number too large for any integer", QStringLiteral("99999999999999999999")},
        {"control characters", QString::fromLatin1("\x01\x1b\t7\x7f")},
        {"text beyond 8-bit characters", QString::fromUtf8("\xE5\x8C\x97\xEF\xBC\x94\xEF\xBC\x97\xC2\xB0")},
    };
    return inputs;
}

// Tabs out of the field that has the focus (the dialog may take a moment
// to become active again after a message box).
inline void Leave(QLineEdit* edit)
{
    ASSERT_TRUE(QTest::qWaitFor([edit] { return edit->hasFocus(); }, 1000));
    QTest::keyClick(edit, Qt::Key_Tab);
    ASSERT_FALSE(edit->hasFocus());
}

// Acts on `dialog` as a user would, step by step (steps separated by ';'):
// "name=text" types text into the edit called name, replacing its text;
// "tab" leaves the edit typed into or clicked last (at first the one with
// the focus); "key:Return" and "key:Escape" press the key in the control
// with the focus; "name" clicks the control called name. `names` maps
// names to control identifiers; any other step goes to `other`.
inline void RunSteps(QDialog& dialog, const std::map<std::string, int>& names, const std::string& steps,
                     const std::function<void(const std::string&)>& other)
{
    auto* typed = qobject_cast<QLineEdit*>(dialog.focusWidget());
    for (std::size_t from = 0, end = 0; from < steps.size(); from = end + 1) {
        end = std::min(steps.find(';', from), steps.size());
        const std::string step = steps.substr(from, end - from);
        if (step.empty()) continue;
        const std::size_t equals = step.find('=');
        const auto named = names.find(step.substr(0, equals));
        QWidget* control = named == names.end() ? nullptr : dialog.findChild<QWidget*>(QString::number(named->second));
        if (auto* edit = qobject_cast<QLineEdit*>(control)) typed = edit;
        if (control && equals != std::string::npos) Type(typed, QString::fromStdString(step.substr(equals + 1)));
        else if (control) QTest::mouseClick(control, Qt::LeftButton);
        else if (step == "tab" && QTest::qWaitFor([&] { return typed->hasFocus(); }, 1000))
            QTest::keyClick(typed, Qt::Key_Tab);
        else if (step == "key:Return" || step == "key:Escape")
            QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog,
                            step == "key:Return" ? Qt::Key_Return : Qt::Key_Escape);
        else other(step);
    }
}

// " @name:text" for the edit with the focus and text selected in it (as a
// field refused is offered for correction), then whether the dialog is
// open, accepted or rejected.
inline std::string Outcome(const QDialog& dialog, const std::map<std::string, int>& names)
{
    std::string selected;
    const auto* edit = qobject_cast<const QLineEdit*>(dialog.focusWidget());
    for (const auto& [name, id] : names)
        if (edit && edit->hasSelectedText() && edit->objectName() == QString::number(id))
            selected = " @" + name + ":" + edit->selectedText().toStdString();
    return selected + (dialog.isVisible() ? " open" : dialog.result() == QDialog::Accepted ? " accepted" : " rejected");
}

} // namespace tolvane::test
