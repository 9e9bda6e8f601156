// The Initializations dialog: its template, the value field handlers it
// shares with the Start-Up Defaults dialog, and its exchange with the
// module one acknowledgement at a time.
#include "dialogs/initializations_dialog.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include <gmock/gmock.h>

#include <cmath>
#include <memory>

#include "dialog_test_support.h"
#include "dialogs/dialog_template.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;
using test::BoxAnswerer;
using test::Leave;
using test::Type;
using Bytes = std::vector<std::uint8_t>;

class InitializationsTest : public ::testing::Test {
protected:
    void Open(float declination = 2.0f, float azimuth = 1.5f, float roll = -3.0f, float pitch = 10.0f,
              std::int32_t interval = 200)
    {
        dialog = std::make_unique<InitializationsDialog>(declination, azimuth, roll, pitch, interval, frame.Sender(),
                                                         frame.Registrar());
        test::ShowActive(*dialog);
    }
    QLineEdit* Edit(int id) const { return ControlOf<QLineEdit>(*dialog, id); }
    QCheckBox* Load(int id) const { return ControlOf<QCheckBox>(*dialog, id); }
    QRadioButton* Radio(int id) const { return ControlOf<QRadioButton>(*dialog, id); }
    void ClickOk() { QTest::mouseClick(ControlOf<QPushButton>(*dialog, 1), Qt::LeftButton); }
    float Working(ValueFields::Angle angle) const { return dialog->Fields().angles[angle].working; }

    test::FrameStub frame;
    std::unique_ptr<InitializationsDialog> dialog;
};

TEST_F(InitializationsTest, ControlsStandAtTheirPlacesShowingTheGivenValues)
{
    Open(-7.25f, 1.5f, -3.0f, 10.0f, 143);
    const struct {
        int id;
        const char* className;
        int x, y, w, h;
    } controls[] = {
        {1269, "QCheckBox", 9, 26, 30, 12},    {1266, "QLineEdit", 42, 26, 50, 12},
        {1017, "QRadioButton", 96, 23, 20, 10}, {1018, "QRadioButton", 96, 33, 20, 10},
        {1273, "QCheckBox", 9, 63, 30, 12},    {1270, "QLineEdit", 42, 63, 50, 12},
        {1332, "QLabel", 9, 78, 83, 10},       {1337, "QCheckBox", 9, 88, 30, 12},
        {1331, "QLineEdit", 42, 88, 50, 12},   {1334, "QLabel", 9, 103, 83, 10},
        {1338, "QCheckBox", 9, 113, 30, 12},   {1333, "QLineEdit", 42, 113, 50, 12},
        {1336, "QLabel", 112, 45, 83, 18},     {1339, "QCheckBox", 112, 63, 30, 12},
        {1335, "QLineEdit", 145, 63, 50, 12},  {1, "QPushButton", 132, 87, 50, 14},
        {2, "QPushButton", 132, 112, 50, 14},
    };
    const DialogUnits u = UnitsOf(dialog->font());
    auto px = [](int v, double unit) { return static_cast<int>(std::lround(v * unit)); };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.id);
        QWidget* w = ControlOf<QWidget>(*dialog, c.id);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), c.className);
        EXPECT_EQ(w->geometry(),
                  QRect(px(c.x, u.horizontal), px(c.y, u.vertical), px(c.w, u.horizontal), px(c.h, u.vertical)));
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            EXPECT_EQ(edit->maxLength(), 8);
        }
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            EXPECT_FALSE(box->isChecked());
        }
    }
    EXPECT_EQ(dialog->windowTitle(), "Initializations");
    EXPECT_TRUE(ControlOf<QPushButton>(*dialog, 1)->isDefault());
    // As std::snprintf formats them: 7.25 rounds to even.
    EXPECT_EQ(Edit(1266)->text(), "7.2");
    EXPECT_TRUE(Radio(kWestId)->isChecked());
    EXPECT_FALSE(Radio(kEastId)->isChecked());
    EXPECT_EQ(Edit(1270)->text(), "1.5");
    EXPECT_EQ(Edit(1331)->text(), "-3.0");
    EXPECT_EQ(Edit(1333)->text(), "10.0");
    EXPECT_EQ(Edit(1335)->text(), "6.90");
    EXPECT_EQ(dialog->Fields().rate.working, 143); // until the field is left
    EXPECT_THAT(frame.registrations, ElementsAre(dialog.get()));
}

TEST_F(InitializationsTest, NothingFlaggedEndsWithOkAndUnflaggedValuesAreNotChecked)
{
    Open(2.0f, 500.0f);
    BoxAnswerer boxes;
    ClickOk();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(frame.sent.empty());
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_THAT(frame.registrations, ElementsAre(dialog.get(), nullptr));
}

TEST_F(InitializationsTest, FlaggedValuesSentInOrderEachAfterItsAcknowledgement)
{
    // Given azimuth 1.5 (raw 273), roll -3 (-546), pitch 10 (1820); each
    // field is left after typing.
    const struct {
        const char* name;
        std::vector<std::pair<int, const char*>> typed;
        std::vector<std::pair<std::uint16_t, Bytes>> requests;
    } cases[] = {
        {"roll alone", {{1331, "2.5"}}, {{'P', {0x02, 0x11, 0x01, 0xC7, 0x01, 0x1C, 0x07}}}},
        {"declination and rate", {{1266, "-4"}, {1335, "7"}}, {{'T', {0x01, 0x28, 0xFD}}, {0x7F, {0x91, 0x00}}}},
        {"everything",
         {{1335, "100"}, {1333, "-0.1"}, {1270, "0.1"}, {1266, "179.9"}},
         {{'T', {0x01, 0xED, 0x7F}}, {'P', {0x05, 0x12, 0x00, 0xDE, 0xFD, 0xEE, 0xFF}}, {0x7F, {0x14, 0x00}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        frame = {};
        Open();
        for (const auto& [id, text] : c.typed) {
            Type(Edit(id), text);
            Leave(Edit(id));
        }
        ClickOk();
        for (std::size_t i = 0; i < c.requests.size(); ++i) {
            ASSERT_EQ(frame.sent.size(), i + 1);
            EXPECT_EQ(frame.sent[i].type, c.requests[i].first);
            EXPECT_EQ(test::Payload(frame.sent[i]), c.requests[i].second);
            for (std::uint16_t other :
                 {TypeByte(MessageType::Offsets), TypeByte(MessageType::Declination), TypeByte(MessageType::OrientationRate), TypeByte(MessageType::StartupDefaults)}) {
                if (other != c.requests[i].first) dialog->OnMessage(test::Message(other));
            }
            EXPECT_EQ(frame.sent.size(), i + 1);
            EXPECT_TRUE(dialog->isVisible());
            dialog->OnMessage(test::Message(c.requests[i].first, {0x01}));
        }
        EXPECT_EQ(frame.sent.size(), c.requests.size());
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(frame.registrations.back(), nullptr);
    }
}

TEST_F(InitializationsTest, MissingAcknowledgementEndsTheDialog)
{
    Open();
    Type(Edit(1270), "5");
    Type(Edit(1335), "7");
    Leave(Edit(1335));
    BoxAnswerer boxes;
    ClickOk();
    ASSERT_EQ(frame.sent.size(), 1u);
    QTest::qWait(InitializationsDialog::kAckTimeoutMs / 2);
    EXPECT_TRUE(boxes.seen.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 3000));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Too Bad");
    EXPECT_EQ(boxes.seen[0].text, "Compass failed to acknowledge\ninitialization of offsets.");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[0].owner, dialog.get());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(frame.registrations.back(), nullptr);
    dialog->OnMessage(test::Message('P')); // too late: the rate is never sent
    EXPECT_EQ(frame.sent.size(), 1u);
}

TEST_F(InitializationsTest, EnterWhileTypingTheDeclinationWaitsUntilTheFieldIsLeft)
{
    Open();
    Type(Edit(1266), "5");
    QTest::keyClick(Edit(1266), Qt::Key_Return); // presses OK, which waits
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(frame.sent.empty());
    ClickOk(); // takes the focus from the field, which takes the value over
    ASSERT_EQ(frame.sent.size(), 1u);
    EXPECT_EQ(test::Payload(frame.sent[0]), (Bytes{0x01, 0x8E, 0x03}));
}

TEST_F(InitializationsTest, AngleOutOfRangeHoldsOk)
{
    Open();
    BoxAnswerer boxes;
    Type(Edit(1270), "-180");
    Type(Edit(1331), "999"); // not reached: azimuth comes first
    ClickOk();
    EXPECT_TRUE(frame.sent.empty());
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Please Do Better");
    EXPECT_EQ(boxes.seen[0].text, "Should be +/-180, please.");
    EXPECT_EQ(boxes.seen[0].owner, dialog.get());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(1270)->hasFocus(); }, 1000));
    EXPECT_EQ(Edit(1270)->selectedText(), "-180");
}

TEST_F(InitializationsTest, DeclinationSignAndHemisphere)
{
    const struct {
        float initial;
        const char* typed;
        float working;
        const char* shown;
        bool west;
    } cases[] = {
        {2.0f, "-7", -7.0f, "7.0", true}, {-2.0f, "+7", 7.0f, "7.0", false}, {-2.0f, "7", -7.0f, "7.0", true},
        {2.0f, "7", 7.0f, "7.0", false},  {2.0f, "-+7", 7.0f, "7.0", false}, {2.0f, " -7.25", -7.25f, "7.2", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Open(c.initial);
        Type(Edit(1266), c.typed);
        EXPECT_TRUE(Load(1269)->isChecked());
        EXPECT_EQ(Working(ValueFields::kDeclination), c.initial); // not before the field is left
        Leave(Edit(1266));
        EXPECT_EQ(Working(ValueFields::kDeclination), c.working);
        EXPECT_EQ(Edit(1266)->text(), c.shown);
        EXPECT_EQ(Radio(kWestId)->isChecked(), c.west);
        EXPECT_EQ(Radio(kEastId)->isChecked(), !c.west);
    }

    Open(5.0f);
    Radio(kEastId)->click(); // already east: nothing changes
    EXPECT_FALSE(Load(1269)->isChecked());
    Radio(kWestId)->click();
    EXPECT_EQ(Working(ValueFields::kDeclination), -5.0f);
    EXPECT_TRUE(Load(1269)->isChecked());
    EXPECT_EQ(Edit(1266)->text(), "5.0");
    EXPECT_FALSE(Radio(kEastId)->isChecked());
}

TEST_F(InitializationsTest, UncheckingLoadRestoresTheReceivedValue)
{
    Open(-3.0f, 1.5f, -3.0f, 10.0f, 200);
    for (const auto& [id, text] : {std::pair{1266, "5"}, std::pair{1270, "20"}, std::pair{1335, "7"}}) {
        Type(Edit(id), text);
        Leave(Edit(id));
    }
    EXPECT_EQ(Working(ValueFields::kDeclination), -5.0f); // W kept
    EXPECT_EQ(Working(ValueFields::kAzimuth), 20.0f);
    EXPECT_EQ(dialog->Fields().rate.working, 145);
    for (int id : {1269, 1273, 1339}) Load(id)->click();
    EXPECT_EQ(Working(ValueFields::kDeclination), -3.0f);
    EXPECT_EQ(Edit(1266)->text(), "3.0");
    EXPECT_EQ(Working(ValueFields::kAzimuth), 1.5f);
    EXPECT_EQ(Edit(1270)->text(), "1.5");
    EXPECT_EQ(dialog->Fields().rate.working, 200);
    EXPECT_EQ(Edit(1335)->text(), "5.00");
    ClickOk();
    EXPECT_TRUE(frame.sent.empty());
}

TEST_F(InitializationsTest, RateFieldLeftReentersTheInterval)
{
    Open(2.0f, 1.5f, -3.0f, 10.0f, 143);
    Edit(1335)->setFocus(Qt::MouseFocusReason);
    Leave(Edit(1335));
    EXPECT_EQ(dialog->Fields().rate.working, 145);
    EXPECT_EQ(Edit(1335)->text(), "6.90");
    EXPECT_FALSE(Load(1339)->isChecked()); // the program's own text checks nothing
    Type(Edit(1335), "0.003");
    Leave(Edit(1335));
    EXPECT_EQ(dialog->Fields().rate.working, 20000);
    EXPECT_EQ(Edit(1335)->text(), "0.05");
}

TEST_F(InitializationsTest, RefusedEntriesKeepTheirValues)
{
    Open(2.0f, 1.5f, -3.0f, 10.0f, 200);
    BoxAnswerer boxes;
    Type(Edit(1270), "1x");
    EXPECT_EQ(Working(ValueFields::kAzimuth), 1.0f); // from "1"
    EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(1270)->hasFocus(); }, 1000));
    EXPECT_EQ(Edit(1270)->selectedText(), "1x");
    Type(Edit(1335), "x");
    Leave(Edit(1335));
    EXPECT_EQ(dialog->Fields().rate.working, 200);
    EXPECT_EQ(Edit(1335)->text(), "5.00");
    EXPECT_FALSE(Load(1339)->isChecked());
    Type(Edit(1335), "-5");
    ASSERT_EQ(boxes.seen.size(), 4u); // typing 1x, typing x, leaving x, typing -5
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(boxes.seen[i].title, "Tsk, Tsk!");
        EXPECT_EQ(boxes.seen[i].text, "Numbers only, please.");
        EXPECT_EQ(boxes.seen[i].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes.seen[i].owner, nullptr);
    }
    EXPECT_EQ(boxes.seen[3].title, "Huh!?");
    EXPECT_EQ(boxes.seen[3].text, "Negative frequency?");
    EXPECT_EQ(boxes.seen[3].owner, dialog.get());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(1335)->hasFocus(); }, 1000));
    EXPECT_EQ(Edit(1335)->selectedText(), "-5");
}

// Bad input pasted into each field. A non-number is refused with its
// message each time the field is read and changes nothing; the integer
// too large keeps the 8 digits the field holds, which OK refuses as an
// angle and the rate limits to 50 Hz. The field then takes a good value.
TEST_F(InitializationsTest, BadInputInEveryFieldIsRefusedAndTheFieldStillWorks)
{
    const QString numbersOnly = "Tsk, Tsk!: Numbers only, please.";
    const struct {
        int id;
        int angle; // -1: the rate
    } fields[] = {{1266, ValueFields::kDeclination},
                  {1270, ValueFields::kAzimuth},
                  {1331, ValueFields::kRoll},
                  {1333, ValueFields::kPitch},
                  {1335, -1}};
    for (const auto& field : fields) {
        const bool rate = field.angle < 0;
        for (const test::BadInput& input : test::BadInputs()) {
            SCOPED_TRACE(std::to_string(field.id) + ": " + input.fault);
            const bool number = input.text.startsWith(QLatin1String("999"));
            Open(2.0f, 1.5f, -3.0f, 10.0f, 200);
            BoxAnswerer boxes;
            test::Paste(Edit(field.id), input.text);
            EXPECT_LE(Edit(field.id)->text().size(), 8);
            Leave(Edit(field.id));
            std::vector<QString> said;
            for (const test::SeenBox& box : boxes.seen) said.push_back(box.title + ": " + box.text);
            if (number) {
                EXPECT_TRUE(said.empty());
            } else if (rate) { // when typed, and again when left
                EXPECT_THAT(said, ElementsAre(numbersOnly, numbersOnly));
            } else {
                EXPECT_THAT(said, ElementsAre(numbersOnly));
            }
            EXPECT_EQ(Working(ValueFields::kDeclination), field.id == 1266 && number ? 99999999.0f : 2.0f);
            EXPECT_EQ(dialog->Fields().rate.working, rate && number ? 20 : 200);

            boxes.seen.clear();
            ClickOk();
            if (rate || !number) {
                EXPECT_TRUE(boxes.seen.empty());
                EXPECT_EQ(frame.sent.size(), rate && number ? 1u : 0u); // the 50 Hz rate
                frame.sent.clear();
                continue;
            }
            ASSERT_EQ(boxes.seen.size(), 1u);
            EXPECT_EQ(boxes.seen[0].text, "Should be +/-180, please.");
            EXPECT_TRUE(frame.sent.empty());
            ASSERT_TRUE(dialog->isVisible());
            Type(Edit(field.id), "12.5");
            Leave(Edit(field.id));
            EXPECT_EQ(Working(static_cast<ValueFields::Angle>(field.angle)), 12.5f);
        }
    }
}

} // namespace
} // namespace tolvane
