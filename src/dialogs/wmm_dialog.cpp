#include "dialogs/wmm_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>

#include <cstdio>
#include <utility>

#include "dialogs/dialog_template.h"
#include "dialogs/number_entry.h"
#include "dialogs/value_field.h"
#include "protocol/angles.h"

namespace tolvane {
namespace {

constexpr int kLatitudeId = 1008;
constexpr int kNorthRadioId = 1009;
constexpr int kSouthRadioId = 1010;
constexpr int kLongitudeId = 1011;
constexpr int kEastRadioId = 1012;
constexpr int kWestRadioId = 1013;
constexpr int kMonthId = 1014;
constexpr int kDayId = 1004;
constexpr int kYearId = 1005;
constexpr int kAltitudeId = 1006;
constexpr int kSubmitId = 1007;
constexpr int kCancelId = 2;

constexpr int kCoordinateLimit = 12;
constexpr int kDateLimit = 2;
constexpr int kAltitudeLimit = 8;
// The checks read the field into a 14-character buffer.
constexpr int kExamined = 13;

// Template 155.
constexpr ControlLayout kControls[] = {
    {-1, ControlKind::StaticCentred, "Degrees and decimal degrees, please", 7, 7, 176, 10},
    {-1, ControlKind::Static, "Latitude", 10, 24, 40, 10},
    {kLatitudeId, ControlKind::Edit, "", 52, 22, 64, 12, "Latitude"},
    {kNorthRadioId, ControlKind::RadioButton, "N", 124, 23, 24, 10},
    {kSouthRadioId, ControlKind::RadioButton, "S", 152, 23, 24, 10},
    {-1, ControlKind::Static, "Longitude", 10, 42, 40, 10},
    {kLongitudeId, ControlKind::Edit, "", 52, 40, 64, 12, "Longitude"},
    {kEastRadioId, ControlKind::RadioButton, "E", 124, 41, 24, 10},
    {kWestRadioId, ControlKind::RadioButton, "W", 152, 41, 24, 10},
    {-1, ControlKind::Static, "Month", 10, 62, 40, 10},
    {kMonthId, ControlKind::DropDownList, "", 52, 60, 64, 12, "Month"},
    {-1, ControlKind::Static, "Day", 10, 80, 40, 10},
    {kDayId, ControlKind::Edit, "", 52, 78, 20, 12, "Day"},
    {-1, ControlKind::Static, "Year", 10, 98, 40, 10},
    {-1, ControlKind::Static, "20 ", 52, 100, 10, 10},
    {kYearId, ControlKind::Edit, "", 62, 98, 20, 12, "Year"},
    {-1, ControlKind::Static, "Altitude", 10, 116, 40, 10},
    {kAltitudeId, ControlKind::Edit, "", 52, 114, 64, 12, "Altitude"},
    {-1, ControlKind::Static, "feet", 122, 116, 30, 10},
    {kSubmitId, ControlKind::PushButton, "Submit", 35, 138, 50, 14},
    {kCancelId, ControlKind::PushButton, "Cancel", 105, 138, 50, 14},
};
constexpr DialogLayout kTemplate{"Magnetic Declination (WMM)", 190, 160, kControls};

// The list's items, and the month's whole name that screen readers say.
constexpr struct {
    const char* item;
    const char* heard;
} kMonths[] = {{"Jan", "January"}, {"Feb", "February"}, {"March", "March"},      {"April", "April"},
               {"May", "May"},     {"June", "June"},    {"July", "July"},        {"Aug", "August"},
               {"Sept", "September"}, {"Oct", "October"}, {"Nov", "November"}, {"Dec", "December"}};

// The field as 8-bit characters, one per character: one beyond 255 reads
// as '?', which no check takes for a blank, a sign or a digit.
std::string EightBit(const QString& text)
{
    const QByteArray bytes = text.left(kExamined).toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void Tell(QMessageBox::Icon icon, const char* title, const QString& text, QWidget* owner)
{
    QMessageBox box(icon, QString::fromUtf8(title), text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace

// One coordinate field with its radio pair, its check and its message.
struct WmmDialog::Hemisphere {
    QLineEdit* edit;
    QRadioButton* positive;
    QRadioButton* negative;
    CoordinateEntry (WmmForm::*leave)(std::string_view);
    const char* message;
    const char* title;
};

WmmDialog::WmmDialog(std::function<void(const OutgoingRequest&)> send,
                     ReceiverRegistry* registry, QWidget* parent, QDate today, WaitTimer* timer)
    : QDialog(parent), send_(std::move(send)), registration_(registry), today_(today),
      // A coarse timer may give up early.
      ownTimer_(timer ? nullptr : std::make_unique<QtWaitTimer>(Qt::PreciseTimer)),
      replyTimer_(timer ? *timer : *ownTimer_)
{
    BuildDialog(*this, kTemplate);
    latitudeEdit_ = ControlOf<QLineEdit>(*this, kLatitudeId);
    north_ = ControlOf<QRadioButton>(*this, kNorthRadioId);
    south_ = ControlOf<QRadioButton>(*this, kSouthRadioId);
    longitudeEdit_ = ControlOf<QLineEdit>(*this, kLongitudeId);
    east_ = ControlOf<QRadioButton>(*this, kEastRadioId);
    west_ = ControlOf<QRadioButton>(*this, kWestRadioId);
    monthList_ = ControlOf<QComboBox>(*this, kMonthId);
    dayEdit_ = ControlOf<QLineEdit>(*this, kDayId);
    yearEdit_ = ControlOf<QLineEdit>(*this, kYearId);
    altitudeEdit_ = ControlOf<QLineEdit>(*this, kAltitudeId);
    submit_ = ControlOf<QPushButton>(*this, kSubmitId);

    // The template puts all radio buttons in one group; here they are two
    // pairs (a button joining a group leaves its former one).
    for (auto pair : {std::pair{north_, south_}, std::pair{east_, west_}}) {
        auto* group = new QButtonGroup(this);
        group->addButton(pair.first);
        group->addButton(pair.second);
    }

    latitudeEdit_->setMaxLength(kCoordinateLimit);
    longitudeEdit_->setMaxLength(kCoordinateLimit);
    altitudeEdit_->setMaxLength(kAltitudeLimit);
    const auto* digitsOnly = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* edit : {dayEdit_, yearEdit_}) {
        edit->setMaxLength(kDateLimit);
        edit->setValidator(digitsOnly);
    }
    for (QLineEdit* edit : {latitudeEdit_, longitudeEdit_, dayEdit_, yearEdit_, altitudeEdit_})
        edit->installEventFilter(this);
    for (const auto& month : kMonths) {
        monthList_->addItem(QString::fromLatin1(month.item));
        monthList_->setItemData(monthList_->count() - 1, QString::fromLatin1(month.heard), Qt::AccessibleTextRole);
    }
    connect(monthList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) form_.month = index;
    });

    connect(submit_, &QPushButton::clicked, this, &WmmDialog::Submit);
    connect(ControlOf<QPushButton>(*this, kCancelId), &QPushButton::clicked, this, &WmmDialog::reject);
}

void WmmDialog::setVisible(bool visible)
{
    // Each modal run opens the dialog afresh, as a new window would.
    if (visible && !isVisible()) {
        PlaceOnCreate(*this);
        Open();
    }
    if (!visible) {
        open_ = false;
        replyTimer_.Stop();
        registration_.Leave();
    }
    QDialog::setVisible(visible);
}

void WmmDialog::Open()
{
    const QDate today = today_.isValid() ? today_ : QDate::currentDate();
    form_ = WmmForm::Opening(today.year(), today.month(), today.day());
    replyTimer_.Stop();

    latitudeEdit_->clear();
    north_->setChecked(true);
    longitudeEdit_->clear();
    west_->setChecked(true);
    monthList_->setCurrentIndex(form_.month);
    dayEdit_->setText(QString::fromStdString(DayText(form_.day)));
    yearEdit_->setText(QString::fromStdString(YearText(form_.year)));
    altitudeEdit_->setText(QStringLiteral("0"));
    submit_->setEnabled(false);

    open_ = true;
    registration_.Enter(this, {MessageType::Wmm});
}

bool WmmDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::FocusOut || !open_ || checking_) return QDialog::eventFilter(watched, event);
    // Losing the focus to a message box or a popup is not leaving the field.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return QDialog::eventFilter(watched, event);

    // The edit finishes losing the focus first, so that a check that gives
    // it back leaves it focused with its text selected. A check's own focus
    // moves start no other check.
    watched->event(event);
    const QScopedValueRollback<bool> busy(checking_, true);
    if (watched == latitudeEdit_) {
        CheckCoordinate({latitudeEdit_, north_, south_, &WmmForm::LeaveLatitude,
                         "This latitude is out\nof this world.", "Tsk, Tsk"});
    } else if (watched == longitudeEdit_) {
        CheckCoordinate({longitudeEdit_, east_, west_, &WmmForm::LeaveLongitude,
                         "This longitude is out\nof this world.", "Tsk, Tsk!"});
    } else if (watched == altitudeEdit_) {
        CheckAltitude();
    } else if (watched == dayEdit_) {
        dayEdit_->setText(QString::fromStdString(form_.LeaveDay(EightBit(dayEdit_->text()))));
    } else if (watched == yearEdit_) {
        yearEdit_->setText(QString::fromStdString(form_.LeaveYear(EightBit(yearEdit_->text()))));
    }
    return true;
}

void WmmDialog::CheckCoordinate(const Hemisphere& field)
{
    const QString text = field.edit->text();
    const CoordinateEntry entry = (form_.*field.leave)(EightBit(text));
    if (entry.sign != 0) (entry.sign > 0 ? field.positive : field.negative)->setChecked(true);
    if (entry.outcome == EntryOutcome::Empty) {
        UpdateSubmit();
        return;
    }
    if (entry.start > 0) field.edit->setText(text.left(kExamined).mid(static_cast<qsizetype>(entry.start)));
    if (entry.outcome == EntryOutcome::NotANumber) TellNumbersOnly();
    if (entry.outcome == EntryOutcome::OutOfRange)
        Tell(QMessageBox::Critical, field.title, QString::fromLatin1(field.message), this);
    UpdateSubmit();
    if (entry.outcome != EntryOutcome::Valid) Refocus(field.edit);
}

void WmmDialog::CheckAltitude()
{
    const AltitudeEntry entry = form_.LeaveAltitude(EightBit(altitudeEdit_->text()));
    if (entry.outcome == EntryOutcome::NotANumber) TellNumbersOnly();
    if (entry.outcome == EntryOutcome::OutOfRange)
        Tell(QMessageBox::Critical, "C'mon, now!", QStringLiteral("You won't have the compass\nat this altitude."),
             this);
    UpdateSubmit();
    if (entry.outcome != EntryOutcome::Valid && entry.outcome != EntryOutcome::Empty) Refocus(altitudeEdit_);
}

void WmmDialog::Refocus(QLineEdit* edit)
{
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll(); // leaves the caret at the end, in view
}

void WmmDialog::UpdateSubmit() { submit_->setEnabled(form_.Complete()); }

void WmmDialog::Submit()
{
    if (!form_.Complete() || replyTimer_.Active()) return;
    if (send_) send_(form_.Request(south_->isChecked(), west_->isChecked()));
    replyTimer_.Start(kReplyTimeoutMs, [this] { ReplyTimedOut(); });
}

void WmmDialog::OnMessage(const DeviceMessage& message)
{
    if (!IsType(message, MessageType::Wmm) || !replyTimer_.Active()) return;
    const WmmResult result = Decode<WmmResult>(message);
    if (result.state != 1) return;
    replyTimer_.Stop();

    const double declination = SignedAngleDegrees(result.declination);
    char text[64];
    std::snprintf(text, sizeof text, "Magnetic declination has been\nset to %.2f (", declination);
    const QString whole = QString::fromLatin1(text) + QLatin1String(declination < 0 ? "west)." : "east).");
    Tell(QMessageBox::Information, "WMM Result", whole, this);
    registration_.Leave();
    accept();
}

void WmmDialog::ReplyTimedOut()
{
    replyTimer_.Stop();
    Tell(QMessageBox::Critical, "Silence", QStringLiteral("Compass failed to reply."), this);
    UpdateSubmit();
}

void WmmDialog::reject()
{
    if (replyTimer_.Active()) return;
    registration_.Leave();
    QDialog::reject();
}

} // namespace tolvane
