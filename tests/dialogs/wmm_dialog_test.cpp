#include "dialogs/wmm_dialog.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "dialogs/dialog_template.h"
#include "dialogs/dialog_test_support.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;

constexpr int kLatitude = 1008, kNorth = 1009, kSouth = 1010;
constexpr int kLongitude = 1011, kEast = 1012, kWest = 1013;
constexpr int kMonth = 1014, kDay = 1004, kYear = 1005, kAltitude = 1006, kSubmit = 1007, kCancel = 2;

constexpr const char* kLatitudeOut = "error Tsk, Tsk: This latitude is out\nof this world.";
constexpr const char* kLongitudeOut = "error Tsk, Tsk!: This longitude is out\nof this world.";
constexpr const char* kAltitudeOut = "error C'mon, now!: You won't have the compass\nat this altitude.";
constexpr const char* kNumbersOnly = "error Tsk, Tsk!: Numbers only, please.";

float F32At(const OutgoingRequest& request, int offset)
{
    float value;
    std::memcpy(&value, request.payload + offset, sizeof value);
    return value;
}

DeviceMessage Dwmm(int state, int counts, std::uint16_t type = 0x55)
{
    DeviceMessage m;
    m.type = type;
    m.length = 7;
    m.payload[0] = static_cast<std::uint8_t>(state);
    m.payload[1] = static_cast<std::uint8_t>(counts & 0xFF);
    m.payload[2] = static_cast<std::uint8_t>((counts >> 8) & 0xFF);
    std::memcpy(m.payload + 3, "WMM", 4);
    return m;
}

class WmmDialogTest : public ::testing::Test {
protected:
    // A fresh dialog, open and active, with nothing recorded yet.
    void Open(QDate today = QDate(2004, 3, 31))
    {
        dialog.reset();
        registered.clear();
        sent.clear();
        dialog = std::make_unique<WmmDialog>([this](const OutgoingRequest& r) { sent.push_back(r); },
                                             [this](MessageReceiver* r) { registered.push_back(r); }, nullptr, today);
        EXPECT_TRUE(registered.empty());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        heard = answerer.seen.size();
    }
    template <typename W = QLineEdit> W* Control(int id) { return ControlOf<W>(*dialog, id); }
    bool Checked(int id) { return Control<QRadioButton>(id)->isChecked(); }
    bool SubmitEnabled() { return Control<QPushButton>(kSubmit)->isEnabled(); }
    // What the message boxes said since the last call, as "icon title: text".
    QString Said()
    {
        QString said;
        for (; heard < answerer.seen.size(); ++heard) {
            const test::SeenBox& box = answerer.seen[heard];
            said += box.icon == QMessageBox::Critical ? "error " : box.icon == QMessageBox::Information ? "info " : "? ";
            said += box.title + ": " + box.text;
        }
        return said;
    }

    // Types `text` into a field emptied first, then moves the focus away.
    void Enter(int id, const QString& text)
    {
        dialog->activateWindow(); // a message box took the activation away
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        Control(id)->setFocus(Qt::TabFocusReason);
        Control(id)->clear();
        QTest::keyClicks(Control(id), text);
        Control<QComboBox>(kMonth)->setFocus(Qt::TabFocusReason);
    }
    void Click(int id) { QTest::mouseClick(Control<QPushButton>(id), Qt::LeftButton); }
    void SubmitValid()
    {
        Enter(kLatitude, "10");
        Enter(kLongitude, "20");
        Click(kSubmit);
        ASSERT_EQ(sent.size(), 1u);
    }

    test::BoxAnswerer answerer;
    std::size_t heard = 0;
    std::vector<OutgoingRequest> sent;
    std::vector<MessageReceiver*> registered;
    std::unique_ptr<WmmDialog> dialog;
};

TEST_F(WmmDialogTest, OpensWithTodaysDateAndEmptyPosition)
{
    struct Case {
        QDate today;
        const char *day, *year;
        const char* month;
    };
    const Case cases[] = {{QDate(2004, 3, 31), "31", "04", "March"}, {QDate(1999, 12, 5), "5", "00", "Dec"}};
    for (const Case& c : cases) {
        Open(c.today);
        EXPECT_THAT(registered, ElementsAre(dialog.get()));
        EXPECT_EQ(Control(kDay)->text(), c.day);
        EXPECT_EQ(Control(kYear)->text(), c.year);
        EXPECT_EQ(Control<QComboBox>(kMonth)->currentText(), c.month);
        EXPECT_EQ(Control(kAltitude)->text(), "0");
        EXPECT_EQ(Control(kLatitude)->text() + Control(kLongitude)->text(), "");
        EXPECT_TRUE(Checked(kNorth) && Checked(kWest));
        EXPECT_FALSE(SubmitEnabled());
    }
    QStringList months;
    for (int i = 0; i < Control<QComboBox>(kMonth)->count(); ++i) months << Control<QComboBox>(kMonth)->itemText(i);
    EXPECT_EQ(months.join(','), "Jan,Feb,March,April,May,June,July,Aug,Sept,Oct,Nov,Dec");
}

TEST_F(WmmDialogTest, CoordinateChecks)
{
    struct Case {
        int field;
        const char *typed, *shown;
        bool valid;
        int hemisphere; // radio chosen afterwards
        const char* said;
    };
    const Case cases[] = {
        {kLatitude, "-33.5", "33.5", true, kSouth, ""},
        {kLatitude, "90", "90", true, kNorth, ""},
        {kLatitude, "90.00000001", "90.00000001", false, kNorth, kLatitudeOut},
        {kLatitude, "-+-12.5", "12.5", true, kSouth, ""},
        {kLatitude, "+-+12.5", "12.5", true, kNorth, ""},
        {kLatitude, "  0", "0", true, kNorth, ""},
        {kLatitude, "1.5x", "1.5x", false, kNorth, kNumbersOnly},
        {kLatitude, "99999999999", "99999999999", false, kNorth, kNumbersOnly},
        {kLatitude, "", "", false, kNorth, ""},
        {kLatitude, "-", "-", false, kSouth, ""},
        {kLongitude, "181", "181", false, kWest, kLongitudeOut},
        {kLongitude, "-180", "180", true, kWest, ""},
        {kLongitude, "+122.25", "122.25", true, kEast, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Open();
        // The other coordinate valid, so that Submit tells this one's validity.
        Enter(c.field == kLatitude ? kLongitude : kLatitude, "1");
        Enter(c.field, c.typed);
        EXPECT_EQ(Said(), c.said);
        EXPECT_EQ(Control(c.field)->text(), c.shown);
        EXPECT_EQ(SubmitEnabled(), c.valid);
        EXPECT_TRUE(Checked(c.hemisphere));
        // Refused text is selected for correction; an empty field lets the focus go.
        const bool refused = *c.said != '\0';
        EXPECT_EQ(dialog->focusWidget() == Control(c.field), refused);
        EXPECT_EQ(Control(c.field)->selectedText(), refused ? c.shown : "");
    }
}

TEST_F(WmmDialogTest, AltitudeChecks)
{
    struct Case {
        const char* typed;
        double metres; // sent when no message and not empty
        const char* said;
    };
    const Case cases[] = {
        {"-1000", -304.8006096012, ""}, {"30000", 9144.018288036, ""}, {"1000", 304.8006096012, ""},
        {"+-500", -152.4003048006, ""}, {"-+500", 152.4003048006, ""}, {"-1001", 0, kAltitudeOut},
        {"30001", 0, kAltitudeOut},     {"1e3", 0, kNumbersOnly},      {"12 ", 0, kNumbersOnly},
        {"", 0, ""},                    {"+", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Open();
        Enter(kLatitude, "10");
        Enter(kLongitude, "20");
        Enter(kAltitude, c.typed);
        EXPECT_EQ(Said(), c.said);
        EXPECT_EQ(Control(kAltitude)->text(), c.typed); // never rewritten
        const bool valid = c.metres != 0;
        EXPECT_EQ(SubmitEnabled(), valid);
        EXPECT_EQ(dialog->focusWidget() == Control(kAltitude), *c.said != '\0');
        Click(kSubmit);
        ASSERT_EQ(sent.size(), valid ? 1u : 0u);
        if (valid) {
            EXPECT_EQ(F32At(sent[0], 11), static_cast<float>(c.metres));
        }
    }
}

// Bad input pasted into each field, then the focus moved on. The position
// fields refuse it with their message, keep Submit off and hold the focus.
// The date fields take digits only, two at most: they keep today's date
// (31 March 2004) or take 99, the day then limited by the month. Valid
// entries afterwards still submit.
TEST_F(WmmDialogTest, BadInputInEveryFieldIsRefusedAndTheDialogStillSubmits)
{
    // One entry per bad input, in the order of test::BadInputs().
    const struct {
        int field;
        const char* said[4];
        const char* shown[4]; // the date fields' texts afterwards
    } fields[] = {
        {kLatitude, {kNumbersOnly, kNumbersOnly, kNumbersOnly, kNumbersOnly}, {}},
        {kLongitude, {kNumbersOnly, kNumbersOnly, kNumbersOnly, kNumbersOnly}, {}},
        {kAltitude, {kNumbersOnly, kAltitudeOut, kNumbersOnly, kNumbersOnly}, {}},
        {kDay, {"", "", "", ""}, {"31", "31", "31", "31"}},
        {kYear, {"", "", "", ""}, {"04", "99", "04", "04"}},
    };
    for (const auto& f : fields) {
        for (std::size_t i = 0; i < test::BadInputs().size(); ++i) {
            const test::BadInput& input = test::BadInputs()[i];
            SCOPED_TRACE(std::to_string(f.field) + ": " + input.fault);
            Open();
            test::Paste(Control(f.field), input.text);
            EXPECT_LE(Control(f.field)->text().size(), Control(f.field)->maxLength());
            Control<QComboBox>(kMonth)->setFocus(Qt::TabFocusReason);
            EXPECT_EQ(Said().toStdString(), f.said[i]);
            if (f.shown[i]) {
                EXPECT_EQ(Control(f.field)->text().toStdString(), f.shown[i]);
            } else {
                EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->focusWidget() == Control(f.field); }, 1000));
            }
            EXPECT_FALSE(SubmitEnabled());

            // The field in question first: leaving it refused would check it again.
            std::vector<std::pair<int, const char*>> good = {{kLatitude, "10"}, {kLongitude, "20"}, {kAltitude, "0"}};
            std::stable_partition(good.begin(), good.end(), [&](const auto& g) { return g.first == f.field; });
            for (const auto& [id, text] : good) Enter(id, text);
            Click(kSubmit);
            EXPECT_EQ(Said().toStdString(), "");
            EXPECT_EQ(sent.size(), 1u);
        }
    }
}

TEST_F(WmmDialogTest, DayLimitedByTheMonthChosenThen)
{
    struct Case {
        int month;
        const char *typed, *shown;
    };
    const Case cases[] = {
        {0, "31", "31"}, {1, "31", "29"}, {1, "28", "28"}, {2, "31", "31"}, {3, "31", "30"}, {5, "31", "30"},
        {8, "31", "30"}, {10, "31", "30"}, {11, "45", "31"}, {2, "0", "1"}, {2, "", "1"},    {2, "x5", "5"},
    };
    Open();
    for (const Case& c : cases) {
        Control<QComboBox>(kMonth)->setCurrentIndex(c.month);
        Enter(kDay, c.typed);
        EXPECT_EQ(Control(kDay)->text(), c.shown) << "month " << c.month << " day " << c.typed;
    }
    // A later month leaves the day as it is.
    Control<QComboBox>(kMonth)->setCurrentIndex(0);
    Enter(kDay, "31");
    Control<QComboBox>(kMonth)->setCurrentIndex(1);
    Enter(kYear, "7");
    EXPECT_EQ(Control(kYear)->text(), "07");
    SubmitValid();
    EXPECT_THAT(std::vector<int>(sent[0].payload, sent[0].payload + 3), ElementsAre(31, 2, 7));
    EXPECT_EQ(Said(), "");
}

TEST_F(WmmDialogTest, RequestOfThirtyFirstMarch2004)
{
    Open();
    Enter(kLatitude, "-45.5");
    EXPECT_FALSE(SubmitEnabled());
    Enter(kLongitude, "122.25"); // W is chosen at opening
    Enter(kAltitude, "-1000");
    Click(kSubmit);
    ASSERT_EQ(sent.size(), 1u);
    const OutgoingRequest& r = sent[0];
    EXPECT_EQ(r.type, 0x55);
    ASSERT_EQ(r.length, 15);
    EXPECT_THAT(std::vector<int>(r.payload, r.payload + 3), ElementsAre(31, 3, 4));
    EXPECT_EQ(F32At(r, 3), -45.5f);
    EXPECT_EQ(F32At(r, 7), -122.25f);
    EXPECT_NEAR(F32At(r, 11), -304.8006, 1e-4);
    Click(kSubmit); // the reply is awaited
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(WmmDialogTest, ResultShowsTheDeclinationAndCloses)
{
    struct Case {
        int counts;
        const char* said;
    };
    const Case cases[] = {
        {-1000, "info WMM Result: Magnetic declination has been\nset to -5.49 (west)."},
        {0, "info WMM Result: Magnetic declination has been\nset to 0.00 (east)."},
        {-1, "info WMM Result: Magnetic declination has been\nset to -0.01 (west)."},
    };
    for (const Case& c : cases) {
        Open();
        SubmitValid();
        dialog->OnMessage(Dwmm(1, c.counts));
        EXPECT_EQ(Said(), c.said);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_THAT(registered, ElementsAre(dialog.get(), nullptr));
    }
}

TEST_F(WmmDialogTest, RepliesCountOnlyWhenAwaitedAndSet)
{
    Open();
    dialog->OnMessage(Dwmm(1, 100)); // nothing asked yet
    SubmitValid();
    auto* timer = dialog->findChild<QTimer*>(QStringLiteral("77"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 2000);
    dialog->OnMessage(Dwmm(0, 100)); // not set: the timer keeps running
    dialog->OnMessage(Dwmm(1, 100, 0x54));
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(Said(), "");
    dialog->OnMessage(Dwmm(1, 100));
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(WmmDialogTest, SilenceAfterTwoSecondsAndCancelOnlyWhenIdle)
{
    Open();
    QElapsedTimer clock;
    clock.start();
    SubmitValid();
    Click(kCancel);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_THAT(registered, ElementsAre(dialog.get()));

    ASSERT_TRUE(QTest::qWaitFor([&] { return answerer.seen.size() > heard; }, 5000));
    EXPECT_GE(clock.elapsed(), 2000);
    EXPECT_EQ(Said(), "error Silence: Compass failed to reply.");
    EXPECT_TRUE(SubmitEnabled());
    dialog->OnMessage(Dwmm(1, 100)); // too late
    EXPECT_EQ(Said(), "");
    Click(kCancel);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_THAT(registered, ElementsAre(dialog.get(), nullptr));
    EXPECT_EQ(sent.size(), 1u);
}

} // namespace
} // namespace tolvane
