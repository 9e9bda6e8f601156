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
#include "dialogs/dialog_template.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

const std::map<std::string, int> kNames = {
    {"lat", 1008}, {"N", 1009},   {"S", 1010},   {"lon", 1011}, {"E", 1012},      {"W", 1013},
    {"day", 1004}, {"year", 1005}, {"alt", 1006}, {"submit", 1007}, {"cancel", 2}};
constexpr int kMonth = 1014;
constexpr const char* kNumbersOnly = "error Tsk, Tsk!: Numbers only, please.";
constexpr const char* kAltitudeOut = "error C'mon, now!: You won't have the compass\nat this altitude.";

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
    // "lat|lon|day|year|alt", the hemispheres, the month, Submit, the
    // requests sent ("U15:" then day/month/year, latitude, longitude and
    // metres), what the boxes said since, the field with the focus and its
    // text selected ("@lat:1.5x"), and whether the dialog is open and
    // registered.
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

TEST_F(WmmDialogTest, StepsAndTheStateTheyLeave)
{
    const std::pair<std::string, std::string> rows[] = {
        // Today's date, no position, N and W, altitude 0; Submit waits for a position.
        {"open", "||31|04|0 NW March off [] {} open+"},
        {"open(1999,12,5)", "||5|00|0 NW Dec off [] {} open+"},
        {"month:0;lon=1;tab", "|1|5|00|0 NW Jan off [] {} open+"},
        {"lat=1;tab;submit", "1|1|5|00|0 NW Jan on [U15:5/1/0 1 -1 0] {} open+"},
        // The signs typed choose the hemisphere and leave the field. Refused text is selected for correction;
        // an empty field lets the focus go.
        {"open;lat=-33.5;tab;lon=1;tab", "33.5|1|31|04|0 SW March on [] {} open+"},
        {"open;lon=1;tab;lat=90;tab", "90|1|31|04|0 NW March on [] {} open+"},
        {"open;lon=1;tab;lat=90.00000001;tab",
         "90.00000001|1|31|04|0 NW March off [] {error Tsk, Tsk: This latitude is out\nof this world.} "
         "@lat:90.00000001 open+"},
        {"open;lon=1;tab;lat=1.5x;tab",
         "1.5x|1|31|04|0 NW March off [] {error Tsk, Tsk!: Numbers only, please.} @lat:1.5x open+"},
        {"open;lon=1;tab;lat=-;tab", "-|1|31|04|0 SW March off [] {} open+"},
        {"open;lat=1;tab;lon=181;tab",
         "1|181|31|04|0 NW March off [] {error Tsk, Tsk!: This longitude is out\nof this world.} @lon:181 open+"},
        {"open;lat=1;tab;lon=-180;tab", "1|180|31|04|0 NW March on [] {} open+"},
        {"open;lat=1;tab;lon=+122.25;tab", "1|122.25|31|04|0 NE March on [] {} open+"},
        // The altitude: whole feet from -1000 to 30000, never rewritten, sent in metres.
        {"open;lat=10;tab;lon=20;tab;alt=-1000;tab;submit",
         "10|20|31|04|-1000 NW March on [U15:31/3/4 10 -20 -304.8006] {} open+"},
        {"open;lat=10;tab;lon=20;tab;alt=-1001;tab",
         std::string("10|20|31|04|-1001 NW March off [] {") + kAltitudeOut + "} @alt:-1001 open+"},
        {"open;lat=10;tab;lon=20;tab;alt=12 ;tab",
         std::string("10|20|31|04|12  NW March off [] {") + kNumbersOnly + "} @alt:12  open+"},
        {"open;lat=10;tab;lon=20;tab;alt=;tab", "10|20|31|04| NW March off [] {} open+"},
        // Each field holds so many characters: 12 of a coordinate, 8 of the altitude, 2 of a date.
        {"open;lat=1234567890.123;tab;lon=123456789.1234;tab;day=123;tab;year=456;tab;alt=-123456789;tab",
         "1234567890.1|123456789.12|12|45|-1234567 NW March off [] {error Tsk, Tsk: This latitude is out\nof this "
         "world.|error Tsk, Tsk!: This longitude is out\nof this world.|" + std::string(kAltitudeOut) +
             "} @alt:-1234567 open+"},
        // The month chosen when the day is left limits it; a later choice does not. Digits only.
        {"open;month:0;day=31;tab", "||31|04|0 NW Jan off [] {} @year:04 open+"},
        {"month:1;day=31;tab", "||29|04|0 NW Feb off [] {} @year:04 open+"},
        {"month:3;day=31;tab", "||30|04|0 NW April off [] {} @year:04 open+"},
        {"month:5;day=31;tab", "||30|04|0 NW June off [] {} @year:04 open+"},
        {"month:8;day=31;tab", "||30|04|0 NW Sept off [] {} @year:04 open+"},
        {"month:10;day=31;tab", "||30|04|0 NW Nov off [] {} @year:04 open+"},
        {"month:11;day=45;tab", "||31|04|0 NW Dec off [] {} @year:04 open+"},
        {"day=0;tab", "||1|04|0 NW Dec off [] {} @year:04 open+"},
        {"day=x5;tab", "||5|04|0 NW Dec off [] {} @year:04 open+"},
        {"month:0;day=31;tab;month:1;year=7;tab;lat=10;tab;lon=20;tab;submit",
         "10|20|31|07|0 NW Feb on [U15:31/2/7 10 -20 0] {} open+"},
        // Submit again waits for the reply; only one that sets the declination, while awaited, counts.
        {"open;reply(1,100);lat=-45.5;tab;lon=122.25;tab;submit;submit;reply(0,100);other(1,100)",
         "45.5|122.25|31|04|0 SW March on [U15:31/3/4 -45.5 -122.25 0] {} open+"},
        {"reply(1,-1000)", "45.5|122.25|31|04|0 SW March on [U15:31/3/4 -45.5 -122.25 0] "
                           "{info WMM Result: Magnetic declination has been\nset to -5.49 (west).} accepted-"},
        {"open;lat=1;tab;lon=1;tab;submit;reply(1,0)",
         "1|1|31|04|0 NW March on [U15:31/3/4 1 -1 0] {info WMM Result: Magnetic declination has been\nset to 0.00 "
         "(east).} accepted-"},
        {"open;lat=1;tab;lon=1;tab;submit;reply(1,-1)",
         "1|1|31|04|0 NW March on [U15:31/3/4 1 -1 0] {info WMM Result: Magnetic declination has been\nset to -0.01 "
         "(west).} accepted-"},
        // Cancel and Escape wait while a reply is awaited; two seconds of silence are told, and a reply after
        // comes too late.
        {"open;lat=1;tab;lon=1;tab;submit;cancel;key:Escape", "1|1|31|04|0 NW March on [U15:31/3/4 1 -1 0] {} open+"},
        {"timeout;reply(1,100)",
         "1|1|31|04|0 NW March on [U15:31/3/4 1 -1 0] {error Silence: Compass failed to reply.} open+"},
        {"cancel", "1|1|31|04|0 NW March on [U15:31/3/4 1 -1 0] {} rejected-"},
        {"hide", "1|1|31|04|0 NW March on [U15:31/3/4 1 -1 0] {} rejected-"}, // a closed dialog stays as it is
    };
    for (const auto& [steps, state] : rows) {
        SCOPED_TRACE(steps);
        Run(steps);
        EXPECT_EQ(State(), state);
    }
}

} // namespace
} // namespace tolvane
