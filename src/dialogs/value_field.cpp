#include "dialogs/value_field.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>

#include "dialogs/dialog_template.h"
#include "dialogs/number_entry.h"

namespace tolvane {
namespace {

struct AngleIds {
    int edit;
    int load;
};
constexpr AngleIds kAngleIds[] = {
    {kDeclinationEditId, kDeclinationLoadId},
    {kAzimuthEditId, kAzimuthLoadId},
    {kRollEditId, kRollLoadId},
    {kPitchEditId, kPitchLoadId},
};
constexpr int kLoadIds[] = {kDeclinationLoadId, kAzimuthLoadId, kRollLoadId, kPitchLoadId, kRateLoadId};
constexpr int kEditIds[] = {kDeclinationEditId, kAzimuthEditId, kRollEditId, kPitchEditId, kRateEditId};

void Tell(QWidget* owner, const char* title, const char* text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(title), QString::fromUtf8(text), QMessageBox::Ok, owner);
    box.exec();
}

// The text as the parser sees it: the field is read into a 14-byte buffer.
QString ReadBack(const QLineEdit& edit) { return edit.text().left(static_cast<qsizetype>(kReadBackChars)); }

void Reselect(QLineEdit& edit)
{
    // After a message box the dialog may not be the active window again yet.
    edit.window()->activateWindow();
    edit.setFocus(Qt::OtherFocusReason);
    edit.selectAll();
}

} // namespace

void TellNumbersOnly() { Tell(nullptr, "Tsk, Tsk!", "Numbers only, please."); }

bool ParseNumberOrTell(const QString& text, double& out)
{
    // The fields hold 8-bit characters: codes 128 to 255 (a no-break space,
    // accented letters) are skipped before a number like blanks, and a
    // character beyond them is no number at all ('?'), rather than a run
    // of skipped UTF-8 bytes that would read "４５" as 0.
    const QByteArray bytes = text.toLatin1();
    const std::optional<double> value = ParseNumber(std::string_view(bytes.constData(), bytes.size()));
    if (!value) {
        TellNumbersOnly();
        return false;
    }
    out = *value;
    return true;
}

ValueFields::ValueFields(QDialog& dialog) : QObject(&dialog), dialog_(dialog)
{
    if (auto* edit = ControlOf<QLineEdit>(dialog, kDeclinationEditId)) {
        connect(edit, &QLineEdit::textEdited, this, [this] { DeclinationEdited(); });
        edit->installEventFilter(this);
    }
    if (auto* east = ControlOf<QRadioButton>(dialog, kEastId))
        connect(east, &QRadioButton::clicked, this, [this] { HemisphereClicked(false); });
    if (auto* west = ControlOf<QRadioButton>(dialog, kWestId))
        connect(west, &QRadioButton::clicked, this, [this] { HemisphereClicked(true); });
    for (Angle angle : {kAzimuth, kRoll, kPitch}) {
        if (auto* edit = ControlOf<QLineEdit>(dialog, kAngleIds[angle].edit))
            connect(edit, &QLineEdit::textEdited, this, [this, angle] { OffsetEdited(angle); });
    }
    if (auto* edit = ControlOf<QLineEdit>(dialog, kRateEditId)) {
        connect(edit, &QLineEdit::textEdited, this, [this] { RateEdited(); });
        edit->installEventFilter(this);
    }
    for (int id : kLoadIds) {
        if (auto* box = ControlOf<QCheckBox>(dialog, id))
            connect(box, &QCheckBox::clicked, this, [this, id] { LoadClicked(id); });
    }
}

void ValueFields::Prepare()
{
    for (int id : kLoadIds) {
        if (auto* box = ControlOf<QCheckBox>(dialog_, id)) box->setChecked(false);
    }
    for (int id : kEditIds) {
        if (auto* edit = ControlOf<QLineEdit>(dialog_, id)) edit->setMaxLength(kFieldMaxLength);
    }
}

void ValueFields::Clear()
{
    for (int id : kEditIds) {
        if (auto* edit = ControlOf<QLineEdit>(dialog_, id)) edit->clear();
    }
    rateText_.clear();
    SetHemisphere(false, false);
}

void ValueFields::Receive(float declination, float azimuth, float roll, float pitch, std::int32_t intervalMs)
{
    const float values[] = {declination, azimuth, roll, pitch};
    for (std::size_t i = 0; i < angles.size(); ++i) angles[i].working = angles[i].received = values[i];
    rate.working = rate.received = intervalMs;
    ShowDeclination();
    for (Angle angle : {kAzimuth, kRoll, kPitch}) ShowOffset(angle);
    ShowRate();
}

void ValueFields::SetHemisphere(bool east, bool west)
{
    auto* e = ControlOf<QRadioButton>(dialog_, kEastId);
    auto* w = ControlOf<QRadioButton>(dialog_, kWestId);
    if (!e || !w) return;
    // An exclusive group refuses to uncheck its checked button.
    QButtonGroup* group = e->group();
    if (group) group->setExclusive(false);
    e->setChecked(east);
    w->setChecked(west);
    if (group) group->setExclusive(true);
}

void ValueFields::ShowDeclination()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kDeclinationEditId);
    if (!edit) return;
    const DeclinationDisplay shown = tolvane::ShowDeclination(angles[kDeclination].working);
    edit->setText(QString::fromStdString(shown.text));
    SetHemisphere(!shown.west, shown.west);
}

void ValueFields::ShowOffset(Angle angle)
{
    if (auto* edit = ControlOf<QLineEdit>(dialog_, kAngleIds[angle].edit))
        edit->setText(QString::fromStdString(AngleText(angles[angle].working)));
}

void ValueFields::ShowRate()
{
    const RateDisplay shown = tolvane::ShowRate(rate.working);
    rate.rate = shown.rate;
    SetRateText(QString::fromStdString(shown.text));
}

void ValueFields::SetRateText(const QString& text)
{
    rateText_ = text;
    if (auto* edit = ControlOf<QLineEdit>(dialog_, kRateEditId)) edit->setText(text);
}

bool ValueFields::RangeCheck180(Angle angle)
{
    if (InRange180(angles[angle].working)) return true;
    Tell(&dialog_, "Please Do Better", "Should be +/-180, please.");
    if (auto* edit = ControlOf<QLineEdit>(dialog_, kAngleIds[angle].edit)) Reselect(*edit);
    return false;
}

bool ValueFields::DeclinationBeingTyped() const
{
    const auto* edit = ControlOf<QLineEdit>(dialog_, kDeclinationEditId);
    return angles[kDeclination].load && edit && edit->hasFocus();
}

bool ValueFields::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::FocusOut) return false;
    // Our own message boxes and popups take the focus from the window,
    // not from the field; a dialog that has ended takes nothing over.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || !dialog_.isVisible()) return false;
    if (watched == ControlOf<QLineEdit>(dialog_, kDeclinationEditId)) DeclinationLeft();
    else if (watched == ControlOf<QLineEdit>(dialog_, kRateEditId)) RateLeft();
    return false;
}

void ValueFields::DeclinationEdited()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kDeclinationEditId);
    auto* load = ControlOf<QCheckBox>(dialog_, kDeclinationLoadId);
    if (!edit || !load) return;
    double value = 0;
    if (ParseNumberOrTell(ReadBack(*edit), value)) {
        load->setChecked(true);
        angles[kDeclination].load = true;
    } else {
        Reselect(*edit);
    }
}

void ValueFields::DeclinationLeft()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kDeclinationEditId);
    auto* load = ControlOf<QCheckBox>(dialog_, kDeclinationLoadId);
    auto* west = ControlOf<QRadioButton>(dialog_, kWestId);
    if (!edit || !load || !west || !load->isChecked()) return;
    const QString text = ReadBack(*edit);
    qsizetype first = 0;
    while (first < text.size() && !(text[first] >= QLatin1Char('0') && text[first] <= QLatin1Char('9'))) ++first;
    // What stands before the number picks the hemisphere: the last sign
    // typed wins, anything but '-' meaning east.
    if (first > 0) {
        const bool minus = text[first - 1] == QLatin1Char('-');
        SetHemisphere(!minus, minus);
    }
    double value = 0;
    if (!ParseNumberOrTell(text.mid(first), value)) {
        Reselect(*edit);
        return;
    }
    if (west->isChecked()) value = -value;
    angles[kDeclination].working = static_cast<float>(value);
    ShowDeclination();
}

void ValueFields::HemisphereClicked(bool west)
{
    auto* load = ControlOf<QCheckBox>(dialog_, kDeclinationLoadId);
    if (!load) return;
    SetHemisphere(!west, west);
    AngleField& field = angles[kDeclination];
    if (west ? field.working >= 0 : field.working < 0) {
        field.working = -field.working;
        load->setChecked(true);
        field.load = true;
        ShowDeclination();
    }
}

void ValueFields::OffsetEdited(Angle angle)
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kAngleIds[angle].edit);
    auto* load = ControlOf<QCheckBox>(dialog_, kAngleIds[angle].load);
    if (!edit || !load) return;
    double value = 0;
    if (ParseNumberOrTell(ReadBack(*edit), value)) {
        load->setChecked(true);
        angles[angle].load = true;
        angles[angle].working = static_cast<float>(value);
    } else {
        Reselect(*edit);
    }
}

void ValueFields::RateEdited()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kRateEditId);
    auto* load = ControlOf<QCheckBox>(dialog_, kRateLoadId);
    if (!edit || !load) return;
    double value = 0;
    if (!ParseNumberOrTell(ReadBack(*edit), value)) {
        Reselect(*edit);
    } else if (value < 0) {
        Tell(&dialog_, "Huh!?", "Negative frequency?");
        Reselect(*edit);
    } else {
        load->setChecked(true);
        rate.load = true;
    }
}

void ValueFields::RateLeft()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kRateEditId);
    if (!edit) return;
    double hz = 0;
    if (!ParseNumberOrTell(ReadBack(*edit), hz)) {
        // Not a number: the interval stands, and the field shows it again.
        SetRateText(rateText_);
        return;
    }
    const RateEntry entry = EnterRate(hz);
    rate.working = entry.intervalMs;
    rate.rate = entry.display.rate;
    SetRateText(QString::fromStdString(entry.display.text));
}

void ValueFields::LoadClicked(int loadId)
{
    auto* box = ControlOf<QCheckBox>(dialog_, loadId);
    if (!box) return;
    if (loadId == kRateLoadId) {
        rate.load = box->isChecked();
        if (!rate.load) {
            rate.working = rate.received;
            ShowRate();
        }
        return;
    }
    for (Angle angle : {kDeclination, kAzimuth, kRoll, kPitch}) {
        if (kAngleIds[angle].load != loadId) continue;
        AngleField& field = angles[angle];
        field.load = box->isChecked();
        if (field.load) return;
        field.working = field.received;
        if (angle == kDeclination) ShowDeclination();
        else ShowOffset(angle);
    }
}

} // namespace tolvane
