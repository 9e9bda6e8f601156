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

// The text as the rules see it: the field is read into a 14-byte buffer,
// one byte a character. Codes 128 to 255 (a no-break space, accented
// letters) are skipped before a number like blanks, and a character beyond
// them is no number at all ('?'), rather than a run of skipped UTF-8 bytes
// that would read "４５" as 0.
std::string ReadBack(const QLineEdit& edit)
{
    return edit.text().left(static_cast<qsizetype>(kReadBackChars)).toLatin1().toStdString();
}

void Reselect(QLineEdit& edit)
{
    // After a message box the dialog may not be the active window again yet.
    edit.window()->activateWindow();
    edit.setFocus(Qt::OtherFocusReason);
    edit.selectAll();
}

} // namespace

void TellNumbersOnly() { Tell(nullptr, "Tsk, Tsk!", "Numbers only, please."); }

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
    Take(declination, azimuth, roll, pitch, intervalMs);
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

void ValueFields::Refuse(Typed typed, QLineEdit& edit)
{
    if (typed == Typed::kNotANumber) TellNumbersOnly();
    else Tell(&dialog_, "Huh!?", "Negative frequency?");
    Reselect(edit);
}

void ValueFields::DeclinationEdited() { OffsetEdited(kDeclination); }

void ValueFields::DeclinationLeft()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kDeclinationEditId);
    auto* load = ControlOf<QCheckBox>(dialog_, kDeclinationLoadId);
    auto* west = ControlOf<QRadioButton>(dialog_, kWestId);
    if (!edit || !load || !west || !load->isChecked()) return;
    const tolvane::DeclinationLeft left = LeaveDeclination(angles[kDeclination], ReadBack(*edit), west->isChecked());
    if (left.west) SetHemisphere(!*left.west, *left.west);
    if (!left.taken) return Refuse(Typed::kNotANumber, *edit);
    ShowDeclination();
}

void ValueFields::HemisphereClicked(bool west)
{
    auto* load = ControlOf<QCheckBox>(dialog_, kDeclinationLoadId);
    if (!load) return;
    SetHemisphere(!west, west);
    if (tolvane::HemisphereClicked(angles[kDeclination], west)) {
        load->setChecked(true);
        ShowDeclination();
    }
}

void ValueFields::OffsetEdited(Angle angle)
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kAngleIds[angle].edit);
    auto* load = ControlOf<QCheckBox>(dialog_, kAngleIds[angle].load);
    if (!edit || !load) return;
    const Typed typed = AngleTyped(*this, angle, ReadBack(*edit));
    if (typed == Typed::kLoaded) load->setChecked(true);
    else Refuse(typed, *edit);
}

void ValueFields::RateEdited()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kRateEditId);
    auto* load = ControlOf<QCheckBox>(dialog_, kRateLoadId);
    if (!edit || !load) return;
    const Typed typed = RateTyped(rate, ReadBack(*edit));
    if (typed == Typed::kLoaded) load->setChecked(true);
    else Refuse(typed, *edit);
}

void ValueFields::RateLeft()
{
    auto* edit = ControlOf<QLineEdit>(dialog_, kRateEditId);
    if (!edit) return;
    if (const std::optional<std::string> shown = LeaveRate(rate, ReadBack(*edit))) {
        SetRateText(QString::fromStdString(*shown));
        return;
    }
    // Not a number: the interval stands, and the field shows it again.
    TellNumbersOnly();
    SetRateText(rateText_);
}

void ValueFields::LoadClicked(int loadId)
{
    auto* box = ControlOf<QCheckBox>(dialog_, loadId);
    if (!box) return;
    if (loadId == kRateLoadId) {
        if (rate.SetLoad(box->isChecked())) ShowRate();
        return;
    }
    for (Angle angle : {kDeclination, kAzimuth, kRoll, kPitch}) {
        if (kAngleIds[angle].load != loadId || !angles[angle].SetLoad(box->isChecked())) continue;
        if (angle == kDeclination) ShowDeclination();
        else ShowOffset(angle);
    }
}

} // namespace tolvane
