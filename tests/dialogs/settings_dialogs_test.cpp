// The Initializations and Start-Up Defaults dialogs: the value fields they
// share and each dialog's exchange with the module, walked step by step.
#include "dialogs/initializations_dialog.h"
#include "dialogs/startup_defaults_dialog.h"

#include <QLabel>

#include <cctype>
#include <cstdio>
#include <memory>

#include "dialog_test_support.h"
#include "step_golden.h"
#include "dialogs/number_entry.h"
#include "dialogs/settings_template.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

// The edits by their first letters (h: the rate in Hz), their Load boxes
// by the capitals, the hemisphere radios, OK.
const std::map<std::string, int> kNames = {
    {"d", kDeclinationEditId}, {"a", kAzimuthEditId}, {"r", kRollEditId}, {"p", kPitchEditId}, {"h", kRateEditId},
    {"D", kDeclinationLoadId}, {"A", kAzimuthLoadId}, {"R", kRollLoadId}, {"P", kPitchLoadId}, {"H", kRateLoadId},
    {"E", kEastId},            {"W", kWestId},        {"ok", kSettingsOkId}};

// "P:021101C7011C07": the type, as a character where it is one, and the
// payload; "f:00*12" for 12 zero bytes.
std::string Request(const OutgoingRequest& r)
{
    const QByteArray payload(reinterpret_cast<const char*>(r.payload), r.length);
    const QByteArray type =
        std::isprint(r.type) ? QByteArray(1, char(r.type)) : QByteArray::number(r.type, 16).toUpper();
    if (r.length > 0 && payload.count('\0') == r.length) return type.toStdString() + ":00*" + std::to_string(r.length);
    return (type + ':' + payload.toHex().toUpper()).toStdString();
}


class SettingsDialogTest : public ::testing::Test {
protected:
    // test::RunSteps, after an opening step: "init(declination,azimuth,ms)"
    // opens Initializations with roll -3 and pitch 10 (by default 2, 1.5 and
    // 200 ms), "startup" Start-Up Defaults. Further steps: "rx(result,
    // declination,azimuth,pitch,roll,ms)" hands over a DSDFLT; "ack"
    // acknowledges the last request (after every other type, which must
    // not); "answers:RC" answers the boxes to come Retry, Cancel;
    // "timeout" runs out the second's wait for a reply, "timeout:step" with
    // the step taken while the message box it opens shows.
    void Run(std::string steps)
    {
        const std::string first = steps.substr(0, steps.find(';'));
        float declination = 2.0f, azimuth = 1.5f;
        int interval = 200;
        if (first.starts_with("init") || first == "startup") {
            steps.erase(0, first.size() + 1);
            dialog.reset();
            frame = {};
            timer.Stop();
            std::sscanf(first.c_str(), "init(%f,%f,%d)", &declination, &azimuth, &interval);
            auto* init = first == "startup" ? nullptr
                                             : new InitializationsDialog(declination, azimuth, -3.0f, 10.0f, interval,
                                                                         frame.Sender(), &frame.registry, nullptr,
                                                                         &timer);
            auto* startup = init ? nullptr
                                 : new StartupDefaultsDialog(frame.Sender(), &frame.registry, nullptr, &timer);
            receiver = init ? static_cast<MessageReceiver*>(init) : startup;
            dialog.reset(init ? static_cast<QDialog*>(init) : startup);
            test::ShowActive(*dialog);
        }
        test::RunSteps(*dialog, kNames, steps, [this](const std::string& step) { Step(step); });
    }
    void Step(const std::string& step)
    {
        short w[6] = {};
        const int words = std::sscanf(step.c_str(), "rx(%hd,%hd,%hd,%hd,%hd,%hd)", w, w + 1, w + 2, w + 3, w + 4,
                                      w + 5);
        if (words > 0) {
            DeviceMessage m = test::Message(TypeByte(MessageType::StartupDefaults));
            for (int i = 0; i < words; ++i) {
                m.payload[m.length++] = static_cast<std::uint8_t>(w[i]);
                m.payload[m.length++] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(w[i]) >> 8);
            }
            receiver->OnMessage(m);
        } else if (step == "ack") {
            const std::uint16_t awaited = frame.sent.back().type;
            const std::size_t sent = frame.sent.size();
            // Other types, as long as a Start-Up Defaults reply, are not taken for it either.
            for (MessageType other : {MessageType::Offsets, MessageType::Declination, MessageType::OrientationRate})
                if (TypeByte(other) != awaited)
                    receiver->OnMessage(test::Message(TypeByte(other), {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
            EXPECT_EQ(frame.sent.size(), sent) << "taken for an acknowledgement";
            receiver->OnMessage(test::Message(awaited, {0x01}));
        } else if (step.starts_with("answers:")) {
            std::vector<QMessageBox::StandardButton> answers;
            for (char answer : step.substr(8))
                answers.push_back(answer == 'R' ? QMessageBox::Retry : QMessageBox::Cancel);
            boxes = std::make_unique<test::BoxAnswerer>(answers);
        } else if (step.starts_with("timeout")) {
            if (step.size() > 8) boxes->whileShowing = [this, step] { Step(step.substr(8)); };
            timer.Expire(1000);
        } else {
            ADD_FAILURE() << "no such step: " << step;
        }
    }
    // What the heading of the script (tests/data/golden/dialogs_settings_steps.txt) says.
    std::string State()
    {
        std::string s;
        for (char f : std::string("darph")) s += Edit(f)->text().toStdString() + (f == 'h' ? " " : "|");
        s += Checked("E") ? "E " : Checked("W") ? "W " : "- ";
        for (char f : std::string("DARPH")) s += Checked(std::string(1, f)) ? char(std::tolower(f)) : '.';
        s += " [";
        for (const OutgoingRequest& r : frame.sent) s += (&r == frame.sent.data() ? "" : " ") + Request(r);
        s += "] {" + boxes->SaidSince().toStdString() + "}" + test::Outcome(*dialog, kNames);
        using enum MessageType;
        return s + frame.Heard({Offsets, Declination, OrientationRate, StartupDefaults});
    }
    QLineEdit* Edit(char f) const { return ControlOf<QLineEdit>(*dialog, kNames.at(std::string(1, f))); }
    bool Checked(const std::string& n) const { return ControlOf<QAbstractButton>(*dialog, kNames.at(n))->isChecked(); }

    test::FrameStub frame;
    test::ManualTimer timer;
    std::unique_ptr<QDialog> dialog;
    MessageReceiver* receiver = nullptr;
    std::unique_ptr<test::BoxAnswerer> boxes = std::make_unique<test::BoxAnswerer>();
};

// Each row of steps in dialogs_settings_steps.txt, then in
// dialogs_settings.txt the state they leave; a row without an opening step
// goes on with the dialog of the row before. Initializations opens by
// default with declination 2 (E), azimuth 1.5, roll -3, pitch 10 and
// 200 ms (5 Hz).
TEST_F(SettingsDialogTest, StepsAndTheStateTheyLeave)
{
    test::ExpectStepsGolden(
        "dialogs_settings", [this](const std::string& steps) { Run(steps); }, [this] { return State(); });
}

// Every label fits its place: the long flash warning wraps.
TEST_F(SettingsDialogTest, LabelsFit)
{
    Run("startup");
    const auto labels = dialog->findChildren<QLabel*>();
    ASSERT_FALSE(labels.isEmpty());
    for (const QLabel* label : labels)
        EXPECT_LE(label->minimumSizeHint().width(), label->width()) << label->text().toStdString();
}

} // namespace
} // namespace tolvane
