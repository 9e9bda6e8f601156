#include "dialogs/compensation_dialog.h"

#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "dialogs/dialog_template.h"

namespace tolvane {
namespace {

using ::testing::ElementsAre;

constexpr std::array<int, 8> kBarOfBin = {1286, 1285, 1284, 1283, 1282, 1281, 1280, 1279};

DeviceMessage Dmcal(int status, std::array<int, 8> bins, int comp = 0, int quality = 0)
{
    DeviceMessage m;
    m.type = 'r';
    m.length = 13;
    m.payload[1] = static_cast<std::uint8_t>(status);
    for (int i = 0; i < 8; ++i) m.payload[2 + i] = static_cast<std::uint8_t>(bins[i]);
    m.payload[10] = static_cast<std::uint8_t>(comp);
    m.payload[11] = static_cast<std::uint8_t>(quality & 0xFF);
    m.payload[12] = static_cast<std::uint8_t>((quality >> 8) & 0xFF);
    return m;
}

class CompensationDialogTest : public ::testing::Test {
protected:
    void Open()
    {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    QProgressBar* Bar(int id) { return ControlOf<QProgressBar>(dialog, id); }
    QPushButton* Button() { return ControlOf<QPushButton>(dialog, 1289); }
    QString ResultLine() { return ControlOf<QLabel>(dialog, 1288)->text(); }
    std::vector<int> Sectors()
    {
        std::vector<int> positions;
        for (int id : kBarOfBin) positions.push_back(Bar(id)->value());
        return positions;
    }
    // The action byte of each compensation request sent.
    std::vector<int> Actions()
    {
        std::vector<int> actions;
        for (const OutgoingRequest& r : sent) actions.push_back(r.type == 0x72 && r.length == 1 ? r.payload[0] : -1);
        return actions;
    }

    std::vector<OutgoingRequest> sent;
    std::vector<MessageReceiver*> registered;
    CompensationDialog dialog{[this](const OutgoingRequest& r) { sent.push_back(r); },
                              [this](MessageReceiver* r) { registered.push_back(r); }};
};

TEST_F(CompensationDialogTest, OpeningStartsAndRegisters)
{
    EXPECT_TRUE(sent.empty() && registered.empty());
    Open();
    EXPECT_THAT(Actions(), ElementsAre(1));
    EXPECT_THAT(registered, ElementsAre(&dialog));
    EXPECT_EQ(Button()->text(), "&Abort");
    EXPECT_EQ(ResultLine(), "");
    for (int id : kBarOfBin) EXPECT_EQ(Bar(id)->maximum(), 16);
    EXPECT_EQ(Bar(1287)->maximum(), 100);
}

TEST_F(CompensationDialogTest, BinsMoveTheirSectorBars)
{
    Open();
    for (int bin = 0; bin < 8; ++bin) {
        std::array<int, 8> bins{};
        bins[bin] = bin + 1;
        dialog.OnMessage(Dmcal(0, bins));
        std::vector<int> expected(8, 0);
        expected[bin] = bin + 1;
        EXPECT_EQ(Sectors(), expected) << "bin " << bin;
    }
    // Between NW and N full, N to NE three sixteenths.
    dialog.OnMessage(Dmcal(0, {16, 0, 0, 0, 0, 0, 0, 3}));
    EXPECT_EQ(Bar(1286)->value(), 16);
    EXPECT_EQ(Bar(1279)->value(), 3);
    // Above the range: full; a later smaller value moves the bar back.
    dialog.OnMessage(Dmcal(0, {40, 255, 0, 0, 0, 0, 0, 0}, 150));
    EXPECT_THAT(Sectors(), ElementsAre(16, 16, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Bar(1287)->value(), 100);
    dialog.OnMessage(Dmcal(0, {5, 255, 0, 0, 0, 0, 0, 0}, 37));
    EXPECT_THAT(Sectors(), ElementsAre(5, 16, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Bar(1287)->value(), 37);
    EXPECT_EQ(Button()->text(), "&Abort");
}

TEST_F(CompensationDialogTest, ResultTexts)
{
    struct Case {
        int status, quality;
        const char* text;
    };
    const Case cases[] = {
        {1, 87, "Success (87)"},         {4, 87, "Timeout"},
        {5, 0, "Computation failure"},   {6, -5, "Old better (New=-5)"},
        {7, 0, "Failure writing to flash"}, {2, 9, "??? (2)"},
        {3, 0, "??? (3)"},               {255, 0, "??? (255)"},
    };
    Open();
    for (const Case& c : cases) {
        dialog.OnMessage(Dmcal(c.status, {}, 0, c.quality));
        EXPECT_EQ(ResultLine(), c.text) << "status " << c.status;
        EXPECT_EQ(Button()->text(), "&OK");
    }
    // A screen reader announces what the button now does.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Button())->text(QAccessible::Name), "OK");
    DeviceMessage other = Dmcal(1, {}, 0, 1);
    other.type = 'U';
    dialog.OnMessage(other);
    dialog.OnMessage(Dmcal(0, {2, 0, 0, 0, 0, 0, 0, 0})); // progress after a result
    EXPECT_EQ(ResultLine(), "??? (255)");
    EXPECT_EQ(Button()->text(), "&OK");
    EXPECT_EQ(Bar(1286)->value(), 2);
}

TEST_F(CompensationDialogTest, EndingSendsAbortOnlyFromTheButtonBeforeAResult)
{
    struct Case {
        bool result;
        int key; // 0: click the button
        std::vector<int> actions;
    };
    const Case cases[] = {
        {false, 0, {1, 3}},     {true, 0, {1}},          {false, Qt::Key_Return, {1, 3}},
        {false, Qt::Key_Escape, {1}}, {true, Qt::Key_Escape, {1}},
    };
    for (const Case& c : cases) {
        sent.clear();
        registered.clear();
        Open();
        if (c.result) dialog.OnMessage(Dmcal(1, {}, 0, 87));
        if (c.key) {
            dialog.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(&dialog, Qt::Key(c.key));
        } else {
            QTest::mouseClick(Button(), Qt::LeftButton);
        }
        EXPECT_EQ(Actions(), c.actions) << "key " << c.key << " result " << c.result;
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_THAT(registered, ElementsAre(&dialog, nullptr));
    }
}

TEST_F(CompensationDialogTest, DestroyedWhileOpenUnregisters)
{
    std::vector<MessageReceiver*> calls;
    {
        CompensationDialog other([](const OutgoingRequest&) {}, [&](MessageReceiver* r) { calls.push_back(r); });
        other.show();
    }
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls.back(), nullptr);
}

} // namespace
} // namespace tolvane
