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
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

#include "dialogs/message_receiver.h"

namespace tolvane::test {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* owner = nullptr;
};

// Answers each message box that opens while it lives, with the next of
// its answers (OK once they run out), and keeps what each box showed.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::initializer_list<QMessageBox::StandardButton> answers = {}) : answers_(answers)
    {
        QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
        poll_.start(5);
    }

    std::vector<SeenBox> seen;

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == last_) return;
        last_ = box;
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->parentWidget()});
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        if (QAbstractButton* button = box->button(answer)) button->click();
        else ADD_FAILURE() << "no such button in " << box->text().toStdString();
    }

    std::deque<QMessageBox::StandardButton> answers_;
    QPointer<QMessageBox> last_;
    QTimer poll_;
};

// What a dialog sends, and its registrations with the frame.
struct FrameStub {
    std::vector<OutgoingRequest> sent;
    std::vector<MessageReceiver*> registrations;

    std::function<void(const OutgoingRequest&)> Sender()
    {
        return [this](const OutgoingRequest& r) { sent.push_back(r); };
    }
    std::function<void(MessageReceiver*)> Registrar()
    {
        return [this](MessageReceiver* r) { registrations.push_back(r); };
    }
};

inline std::vector<std::uint8_t> Payload(const OutgoingRequest& r)
{
    return std::vector<std::uint8_t>(r.payload, r.payload + r.length);
}

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
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
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

} // namespace tolvane::test
