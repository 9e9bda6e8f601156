// The Magnetic Declination (WMM) dialog: the check of each field as it is
// left, the request Submit sends, and the reply or silence that follows.
#include "dialogs/wmm_dialog.h"

#include <QComboBox>
#include <QRadioButton>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "dialog_test_support.h"
#include "step_golden.h"
#include "dialogs/dialog_template.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

const std::map<std::string, int> kNames = {
    {"lat", 1008}, {"N", 1009},   {"S", 1010},   {"lon", 1011}, {"E", 1012},      {"W", 1013},
    {"day", 1004}, {"year", 1005}, {"alt", 1006}, {"submit", 1007}, {"cancel", 2}};
constexpr int kMonth = 1014;

class WmmDialogTest : public ::testing::Test {
protected:
    // test::RunSteps, after "open" (31 March 2004) or "open(y,m,d)". More
    // steps: "month:i" chooses month i (0: January); "reply(set,counts)"
    // hands over a DWMM, "other(set,counts)" a message of another type;
    // "timeout" runs out the two seconds' wait for a reply; "hide" hides
    // the dialog.
    void Run(std::string steps)
    {
        int y = 2004, m = 3, d = 31;
        if (steps.starts_with("open")) {
            std::sscanf(steps.c_str(), "open(%d,%d,%d)", &y, &m, &d);
            steps.erase(0, std::min(steps.find(';'), steps.size()));
            dialog.reset();
            frame = {};
            timer.Stop();
            dialog = std::make_unique<WmmDialog>(frame.Sender(), &frame.registry, nullptr, QDate(y, m, d), &timer);
            EXPECT_STREQ(frame.Heard({MessageType::Wmm}), "-");
            test::ShowActive(*dialog);
        }
        test::RunSteps(*dialog, kNames, steps, [this](const std::string& step) {
            int set = 0, counts = 0, month = 0;
            if (step == "hide") {
                dialog->hide();
            } else if (std::sscanf(step.c_str(), "month:%d", &month) == 1) {
                ControlOf<QComboBox>(*dialog, kMonth)->setCurrentIndex(month);
            } else if (std::sscanf(step.c_str(), "%*[a-z](%d,%d)", &set, &counts) == 2) {
                const auto c = static_cast<std::uint16_t>(counts);
                const auto type = TypeByte(step.starts_with("reply") ? MessageType::Wmm : MessageType::Offsets);
                dialog->OnMessage(
                    test::Message(type, {std::uint8_t(set), std::uint8_t(c), std::uint8_t(c >> 8), 'W', 'M', 'M', 0}));
            } else {
                ASSERT_EQ(step, "timeout");
                timer.Expire(2000);
            }
        });
    }
    QString Text(const char* name) { return ControlOf<QLineEdit>(*dialog, kNames.at(name))->text(); }
    bool Checked(const char* name) { return ControlOf<QRadioButton>(*dialog, kNames.at(name))->isChecked(); }
    // What the heading of the script (tests/data/golden/dialogs_wmm_steps.txt) says.
    std::string State()
    {
        QString s = QStringList{Text("lat"), Text("lon"), Text("day"), Text("year"), Text("alt")}.join('|') + ' ';
        s += QString(Checked("N") ? "N" : Checked("S") ? "S" : "-") + (Checked("E") ? "E" : Checked("W") ? "W" : "-");
        s += ' ' + ControlOf<QComboBox>(*dialog, kMonth)->currentText();
        s += ControlOf<QWidget>(*dialog, kNames.at("submit"))->isEnabled() ? " on [" : " off [";
        for (const OutgoingRequest& r : frame.sent) {
            float v[3];
            std::memcpy(v, r.payload + 3, sizeof v);
            s += QString("%1%2:%3/%4/%5").arg(QChar(r.type)).arg(r.length).arg(r.payload[0]);
            s = s.arg(r.payload[1]).arg(r.payload[2]);
            for (float f : v) s += ' ' + QString::number(f, 'g', 7);
        }
        s += "] {" + boxes.SaidSince() + '}';
        return s.toStdString() + test::Outcome(*dialog, kNames) + frame.Heard({MessageType::Wmm});
    }

    test::BoxAnswerer boxes;
    test::FrameStub frame;
    test::ManualTimer timer;
    std::unique_ptr<WmmDialog> dialog;
};

// Each row of steps in dialogs_wmm_steps.txt, then in dialogs_wmm.txt the
// state they leave; a row without "open" goes on with the dialog of the
// row before.
TEST_F(WmmDialogTest, StepsAndTheStateTheyLeave)
{
    test::ExpectStepsGolden(
        "dialogs_wmm", [this](const std::string& steps) { Run(steps); }, [this] { return State(); });
}

} // namespace
} // namespace tolvane
