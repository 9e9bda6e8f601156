// The Compass Compensation dialog: the start and abort it sends, the
// sector and computation bars DMCAL messages move, and the result line.
#include "dialogs/compensation_dialog.h"

#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cstdio>

#include "dialog_test_support.h"
#include "step_golden.h"
#include "dialogs/compensation_rose.h"
#include "dialogs/dialog_template.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

// The bar of each DMCAL bin: bins run counter-clockwise from NW-N.
constexpr int kBarOfBin[] = {1286, 1285, 1284, 1283, 1282, 1281, 1280, 1279};
constexpr int kComputationBar = 1287, kResultLine = 1288, kButton = 1289;


class CompensationDialogTest : public ::testing::Test {
protected:
    // test::RunSteps, with "button" and: "open" opens the dialog afresh,
    // "hide" hides it, "dmcal(status,bin0..bin7,comp,quality)" hands it a
    // DMCAL, "heading(azimuth)" a DORIENT, "other" a message of another type.
    void Run(const std::string& steps)
    {
        test::RunSteps(dialog, {{"button", kButton}}, steps, [this](const std::string& step) {
            int v[11] = {};
            if (std::sscanf(step.c_str(), "heading(%d)", v) == 1) {
                dialog.OnMessage(test::Message(TypeByte(MessageType::Orientation),
                                               {0, 0, 0, 0, std::uint8_t(v[0]), std::uint8_t(v[0] >> 8)}));
            } else if (step == "open") {
                frame = {};
                test::ShowActive(dialog);
            } else if (step == "hide") {
                dialog.hide();
            } else if (std::sscanf(step.c_str(), "dmcal(%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)", v, v + 1, v + 2, v + 3,
                                   v + 4, v + 5, v + 6, v + 7, v + 8, v + 9, v + 10) == 11) {
                DeviceMessage m = test::Message(TypeByte(MessageType::Compensation), {0});
                for (int i = 0; i < 10; ++i) m.payload[m.length++] = static_cast<std::uint8_t>(v[i]);
                m.payload[m.length++] = static_cast<std::uint8_t>(v[10]);
                m.payload[m.length++] = static_cast<std::uint8_t>(v[10] >> 8);
                dialog.OnMessage(m);
            } else {
                ASSERT_EQ(step, "other");
                dialog.OnMessage(test::Message(TypeByte(MessageType::Wmm), {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
            }
        });
    }
    // What the heading of the script (tests/data/golden/dialogs_compensation_steps.txt) says.
    std::string State()
    {
        std::string s;
        for (int id : kBarOfBin) s += std::to_string(ControlOf<QProgressBar>(dialog, id)->value()) + ' ';
        s += "| " + std::to_string(ControlOf<QProgressBar>(dialog, kComputationBar)->value()) + " '";
        s += ControlOf<QLabel>(dialog, kResultLine)->text().toStdString() + "' ";
        s += ControlOf<QPushButton>(dialog, kButton)->text().toStdString() + " [";
        for (const OutgoingRequest& r : frame.sent)
            s += r.type == TypeByte(MessageType::Compensation) && r.length == 1 ? std::to_string(r.payload[0]) : "?";
        s += dialog.isVisible() ? "] open" : "] closed";
        s += frame.Heard({MessageType::Compensation}) + (" | " + ControlOf<QLabel>(dialog, 1290)->text()).toStdString();
        return s + " | " + dialog.findChild<CompensationRose*>()->accessibleDescription().toStdString();
    }

    test::FrameStub frame;
    CompensationDialog dialog{frame.Sender(), &frame.registry};
};

// Each row of steps in dialogs_compensation_steps.txt, then in
// dialogs_compensation.txt the state they leave.
TEST_F(CompensationDialogTest, StepsAndTheStateTheyLeave)
{
    EXPECT_TRUE(frame.sent.empty()); // before it opens
    EXPECT_STREQ(frame.Heard({MessageType::Compensation}), "-");
    test::ExpectStepsGolden(
        "dialogs_compensation", [this](const std::string& steps) { Run(steps); }, [this] { return State(); });
    EXPECT_EQ(ControlOf<QLabel>(dialog, 1291)->text(), "Elapsed 0:00"); // as each opening left it
    // A screen reader announces what the button now does.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(ControlOf<QPushButton>(dialog, kButton))->text(QAccessible::Name),
              "OK");
}

TEST_F(CompensationDialogTest, DestroyedWhileOpenUnregisters)
{
    test::FrameStub other;
    {
        CompensationDialog open(other.Sender(), &other.registry);
        open.show();
        EXPECT_STREQ(other.Heard({MessageType::Compensation}), "+");
    }
    EXPECT_STREQ(other.Heard({MessageType::Compensation}), "-");
}

} // namespace
} // namespace tolvane
