// The Start-Up Defaults dialog: the read when it opens, the fields the
// reply fills, one load request with its mask, and the replies and
// silences that end it or ask to retry.
#include "dialogs/startup_defaults_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <gmock/gmock.h>

#include <memory>

#include "dialog_test_support.h"
#include "dialogs/dialog_template.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;
using test::BoxAnswerer;
using test::Payload;
using test::Type;
using Bytes = std::vector<std::uint8_t>;

// A DSDFLT: result word, declination, azimuth, pitch, roll, interval.
DeviceMessage Defaults(std::initializer_list<std::int16_t> words)
{
    DeviceMessage m;
    m.type = 'f';
    for (std::int16_t v : words) {
        m.payload[m.length++] = static_cast<std::uint8_t>(v);
        m.payload[m.length++] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8);
    }
    return m;
}

class StartupDefaultsTest : public ::testing::Test {
protected:
    void Open(bool filled = true)
    {
        dialog = std::make_unique<StartupDefaultsDialog>(frame.Sender(), frame.Registrar());
        test::ShowActive(*dialog);
        if (filled) dialog->OnMessage(Defaults({0, -1000, 18, 8192, -182, 145}));
    }
    QLineEdit* Edit(int id) const { return ControlOf<QLineEdit>(*dialog, id); }
    bool Radio(int id) const { return ControlOf<QRadioButton>(*dialog, id)->isChecked(); }
    void ClickOk() { QTest::mouseClick(ControlOf<QPushButton>(*dialog, 1), Qt::LeftButton); }
    std::vector<QString> Texts() const
    {
        std::vector<QString> texts;
        for (int id : {1266, 1270, 1331, 1333, 1335}) texts.push_back(Edit(id)->text());
        return texts;
    }

    test::FrameStub frame;
    std::unique_ptr<StartupDefaultsDialog> dialog;
};

TEST_F(StartupDefaultsTest, OpeningAsksForTheStoredValuesAndEachReplyFillsTheFields)
{
    Open(false);
    EXPECT_EQ(dialog->windowTitle(), "Start-Up Defaults");
    EXPECT_THAT(frame.registrations, ElementsAre(dialog.get()));
    ASSERT_EQ(frame.sent.size(), 1u);
    EXPECT_EQ(frame.sent[0].type, 'f');
    EXPECT_EQ(Payload(frame.sent[0]), Bytes(12, 0));
    EXPECT_THAT(Texts(), ElementsAre("", "", "", "", ""));
    EXPECT_FALSE(Radio(kEastId) || Radio(kWestId));
    bool warned = false;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        warned |= label->text() ==
                  "Changing any of these quantities will write to the microcontroller's flash memory, which is not "
                  "specified for frequent writing. Do not overuse this capability.";
    EXPECT_TRUE(warned);

    // Declination, azimuth, roll, pitch, rate; pitch comes at bytes 6-7.
    dialog->OnMessage(Defaults({0, -1000, 18, 8192, -182, 145}));
    EXPECT_THAT(Texts(), ElementsAre("5.5", "0.1", "-1.0", "45.0", "6.90"));
    EXPECT_TRUE(Radio(kWestId));
    EXPECT_FALSE(Radio(kEastId));
    EXPECT_TRUE(dialog->isVisible());

    // A second reply refreshes every field and what unchecking restores.
    dialog->OnMessage(Defaults({0, 2048, -18, 0, 364, 0}));
    EXPECT_THAT(Texts(), ElementsAre("11.2", "-0.1", "2.0", "0.0", "0.00"));
    EXPECT_TRUE(Radio(kEastId));
    Type(Edit(1331), "7");
    ControlOf<QCheckBox>(*dialog, kRollLoadId)->click();
    EXPECT_EQ(Edit(1331)->text(), "2.0");
    EXPECT_EQ(frame.sent.size(), 1u);
}

TEST_F(StartupDefaultsTest, ReplyOfAnotherLengthIsIncompatible)
{
    Open(false);
    BoxAnswerer boxes;
    dialog->OnMessage(Defaults({0, 1, 2, 3, 4}));
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Incompatibility");
    EXPECT_EQ(boxes.seen[0].text, "Firmware version is not compatible\nwith this version of Tolvane.");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[0].owner, dialog.get());
    EXPECT_EQ(frame.registrations.back(), nullptr);
}

TEST_F(StartupDefaultsTest, LoadCarriesFlaggedValuesInTheirSlots)
{
    for (std::int16_t result : {std::int16_t{1}, std::int16_t{0}}) {
        SCOPED_TRACE(result);
        frame = {};
        Open();
        Type(Edit(1331), "2.5"); // roll 455
        Type(Edit(1333), "-1");  // pitch -182
        Type(Edit(1335), "7");   // 145 ms
        test::Leave(Edit(1335));
        ClickOk();
        ASSERT_EQ(frame.sent.size(), 2u);
        EXPECT_EQ(frame.sent[1].type, 'f');
        EXPECT_EQ(Payload(frame.sent[1]), (Bytes{0x1C, 0x00, 0, 0, 0, 0, 0x4A, 0xFF, 0xC7, 0x01, 0x91, 0x00}));
        EXPECT_TRUE(dialog->isVisible());

        BoxAnswerer boxes;
        dialog->OnMessage(Defaults({result, 0, 0, 0, 0, 0}));
        EXPECT_FALSE(dialog->isVisible());
        ASSERT_EQ(boxes.seen.size(), result ? 0u : 1u);
        if (!result) {
            EXPECT_EQ(boxes.seen[0].title, "Too bad!");
            EXPECT_EQ(boxes.seen[0].text, "Compass reports failure loading\nchanges to flash.");
            EXPECT_EQ(boxes.seen[0].owner, dialog.get());
        }
    }
}

TEST_F(StartupDefaultsTest, OkWithNothingFlaggedSendsNothing)
{
    Open();
    ClickOk();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(frame.sent.size(), 1u);
    EXPECT_THAT(frame.registrations, ElementsAre(dialog.get(), nullptr));
}

TEST_F(StartupDefaultsTest, SilenceOffersRetryThenCancel)
{
    Open(false);
    BoxAnswerer boxes{QMessageBox::Retry, QMessageBox::Cancel};
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.sent.size() == 2; }, 3000));
    EXPECT_EQ(Payload(frame.sent[1]), Bytes(12, 0));
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 3000));
    EXPECT_EQ(frame.sent.size(), 2u);
    ASSERT_EQ(boxes.seen.size(), 2u);
    for (const test::SeenBox& box : boxes.seen) {
        EXPECT_EQ(box.title, "Compass Silent");
        EXPECT_EQ(box.text, "No reply to request\nfor current values.");
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_EQ(box.buttons, QMessageBox::Retry | QMessageBox::Cancel);
        EXPECT_EQ(box.owner, dialog.get());
    }
}

TEST_F(StartupDefaultsTest, SilenceAfterALoadResendsTheSameLoad)
{
    Open();
    Type(Edit(1270), "3");
    ClickOk();
    ASSERT_EQ(frame.sent.size(), 2u);
    BoxAnswerer boxes{QMessageBox::Retry};
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.sent.size() == 3; }, 3000));
    EXPECT_EQ(Payload(frame.sent[2]), Payload(frame.sent[1]));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "No reply to request\nto load new values.");
    dialog->OnMessage(Defaults({1, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(dialog->isVisible());
}

} // namespace
} // namespace tolvane
