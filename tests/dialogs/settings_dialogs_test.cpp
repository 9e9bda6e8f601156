// The Initializations and Start-Up Defaults dialogs: the value fields they
// share and each dialog's exchange with the module, walked step by step.
#include "dialogs/initializations_dialog.h"
#include "dialogs/startup_defaults_dialog.h"

#include <QLabel>

#include <cctype>
#include <cstdio>
#include <memory>

#include "dialog_test_support.h"
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
            for (MessageType other : {MessageType::Offsets, MessageType::Declination, MessageType::OrientationRate})
                if (TypeByte(other) != awaited) receiver->OnMessage(test::Message(TypeByte(other), {0x01}));
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
    // Field texts, hemisphere, Load boxes, requests sent, what the boxes
    // said since, the field selected for correction, and whether the dialog
    // is open and registered.
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

// Each row's steps, then the state they leave; a row without an opening
// step goes on with the dialog of the row before. Initializations opens
// by default with declination 2 (E), azimuth 1.5, roll -3, pitch 10 and
// 200 ms (5 Hz).
TEST_F(SettingsDialogTest, StepsAndTheStateTheyLeave)
{
    const std::pair<std::string, std::string> rows[] = {
        // The values given; OK with nothing flagged checks nothing (azimuth 500) and sends nothing.
        {"init(-7.25,500,143)", "7.2|500.0|-3.0|10.0|6.90 W ..... [] {} open+"},
        {"ok", "7.2|500.0|-3.0|10.0|6.90 W ..... [] {} accepted-"},
        // Flagged values go in order, each once the one before is acknowledged.
        {"init;h=100;tab;r=2.5;p=-0.1;a=0.1;d=179.9;tab;ok", "179.9|0.1|2.5|-0.1|50.00 E darph [T:01ED7F] {} open+"},
        {"ack", "179.9|0.1|2.5|-0.1|50.00 E darph [T:01ED7F P:071200C701EEFF] {} open+"},
        {"ack", "179.9|0.1|2.5|-0.1|50.00 E darph [T:01ED7F P:071200C701EEFF 7F:1400] {} open+"},
        {"ack", "179.9|0.1|2.5|-0.1|50.00 E darph [T:01ED7F P:071200C701EEFF 7F:1400] {} accepted-"},
        // A missing acknowledgement ends the dialog; one too late sends nothing more.
        {"init;p=5;h=7;tab;ok", "2.0|1.5|-3.0|5|6.90 E ...ph [P:041101DEFD8E03] {} open+"},
        {"timeout:ack", "2.0|1.5|-3.0|5|6.90 E ...ph [P:041101DEFD8E03] "
                        "{error Too Bad: Compass failed to acknowledge\ninitialization of offsets.} rejected-"},
        {"ack", "2.0|1.5|-3.0|5|6.90 E ...ph [P:041101DEFD8E03] {} rejected-"},
        // OK waits while the declination is typed: leaving its field takes the value over.
        {"init;d=5;key:Return", "5|1.5|-3.0|10.0|5.00 E d.... [] {} open+"},
        {"ok", "5.0|1.5|-3.0|10.0|5.00 E d.... [T:018E03] {} open+"},
        // An angle out of range holds OK: the first is named and its field selected.
        {"init;a=-180;r=999;ok",
         "2.0|-180|999|10.0|5.00 E .ar.. [] {error Please Do Better: Should be +/-180, please.} @a:-180 open+"},
        // The declination shows its magnitude; leaving the field, the last sign typed, else the radio, gives the
        // hemisphere. A radio clicked flips the sign unless it is already the one shown.
        {"init;d=-7", "-7|1.5|-3.0|10.0|5.00 E d.... [] {} open+"},
        {"tab", "7.0|1.5|-3.0|10.0|5.00 W d.... [] {} open+"},
        {"init(-2);d=+7;tab", "7.0|1.5|-3.0|10.0|5.00 E d.... [] {} open+"},
        {"init(-2);d=7;tab", "7.0|1.5|-3.0|10.0|5.00 W d.... [] {} open+"},
        {"init(5);E", "5.0|1.5|-3.0|10.0|5.00 E ..... [] {} open+"},
        {"W;ok", "5.0|1.5|-3.0|10.0|5.00 W d.... [T:0172FC] {} open+"},
        {"init(0.5);W", "0.5|1.5|-3.0|10.0|5.00 W d.... [] {} open+"},
        // Unchecking a Load box restores the value received.
        {"init(-3);d=5;tab;a=20;h=7;tab", "5.0|20|-3.0|10.0|6.90 W da..h [] {} open+"},
        {"D;A;H;ok", "3.0|1.5|-3.0|10.0|5.00 W ..... [] {} accepted-"},
        // The rate field left re-enters its text: 143 ms received becomes 145 ms, that of 6.90 Hz, flagging nothing.
        {"init(2,1.5,143);h;tab", "2.0|1.5|-3.0|10.0|6.90 E ..... [] {} open+"},
        {"H;ok", "2.0|1.5|-3.0|10.0|6.90 E ....h [7F:9100] {} open+"},
        // A refused entry is told, selected for correction, and keeps the value before it (1 from "1x").
        {"init;a=1x", "2.0|1x|-3.0|10.0|5.00 E .a... [] {error Tsk, Tsk!: Numbers only, please.} @a:1x open+"},
        {"ok", "2.0|1x|-3.0|10.0|5.00 E .a... [P:01B600DEFD1C07] {} open+"},
        // "-" alone is 0.
        {"init;h=-5", "2.0|1.5|-3.0|10.0|-5 E ....h [] {error Huh!?: Negative frequency?} @h:-5 open+"},
        // Start-Up Defaults asks for the stored values; each reply fills the fields and what unchecking restores.
        {"startup", "|||| - ..... [f:00*12] {} open+"},
        {"rx(0,-1000,18,8192,-182,145)", "5.5|0.1|-1.0|45.0|6.90 W ..... [f:00*12] {} open+"},
        {"rx(0,2048,-18,0,364,0)", "11.2|-0.1|2.0|0.0|0.00 E ..... [f:00*12] {} open+"},
        {"r=7;R;ok", "11.2|-0.1|2.0|0.0|0.00 E ..... [f:00*12] {} accepted-"},
        {"startup;rx(0,1,2,3,4)",
         "|||| - ..... [f:00*12] {error Incompatibility: Firmware version is not compatible\nwith this version of "
         "Tolvane.} rejected-"},
        // One load carries each flagged value in its slot; its reply's result word tells whether it worked.
        {"startup;rx(0,-1000,18,8192,-182,145);r=2.5;p=-1;h=7;tab;ok",
         "5.5|0.1|2.5|-1|6.90 W ..rph [f:00*12 f:1C00000000004AFFC7019100] {} open+"},
        {"rx(1,0,0,0,0,0)", "5.5|0.1|2.5|-1|6.90 W ..rph [f:00*12 f:1C00000000004AFFC7019100] {} accepted-"},
        {"startup;rx(0,0,0,0,0,0);a=3;ok", "0.0|3|0.0|0.0|0.00 E .a... [f:00*12 f:020000002202000000000000] {} open+"},
        {"rx(0,0,0,0,0,0)", "0.0|3|0.0|0.0|0.00 E .a... [f:00*12 f:020000002202000000000000] "
                            "{error Too bad!: Compass reports failure loading\nchanges to flash.} rejected-"},
        // A second without a reply asks whether to send the same request again.
        {"startup;answers:RRC;timeout",
         "|||| - ..... [f:00*12 f:00*12] {warning Compass Silent: No reply to request\nfor current values.} open+"},
        {"rx(0,0,0,0,0,0);a=3;ok;timeout",
         "0.0|3|0.0|0.0|0.00 E .a... [f:00*12 f:00*12 f:020000002202000000000000 f:020000002202000000000000] "
         "{warning Compass Silent: No reply to request\nto load new values.} open+"},
        {"timeout",
         "0.0|3|0.0|0.0|0.00 E .a... [f:00*12 f:00*12 f:020000002202000000000000 f:020000002202000000000000] "
         "{warning Compass Silent: No reply to request\nto load new values.} rejected-"},
        // A reply while the question shows answers it: neither Retry nor Cancel acts.
        {"startup;answers:C;timeout:rx(0,-1000,18,8192,-182,145)",
         "5.5|0.1|-1.0|45.0|6.90 W ..... [f:00*12] {warning Compass Silent: No reply to request\nfor current values.} "
         "open+"},
    };
    for (const auto& [steps, state] : rows) {
        SCOPED_TRACE(steps);
        Run(steps);
        EXPECT_EQ(State(), state);
    }
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
