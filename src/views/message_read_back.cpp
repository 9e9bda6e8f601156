#include "views/message_read_back.h"

#include <QStatusBar>

#include "views/message_dialogs.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

// The mnemonic of NMEA sentences' lines, as the view's filter lists it.
const QString kNmeaMnemonic = QStringLiteral("NMEA");

} // namespace

MessageReadBack::MessageReadBack(MessageView& view, QWidget* owner, QStatusBar* status,
                                 std::function<bool()> nmeaShown, std::function<void()> toggleNmea)
    : QObject(owner), view_(view), owner_(owner), status_(status), nmeaShown_(std::move(nmeaShown)),
      toggleNmea_(std::move(toggleNmea))
{
}

void MessageReadBack::Find()
{
    if (findDialog_ == nullptr) {
        findDialog_ = new MessageFindDialog(owner_);
        connect(findDialog_, &MessageFindDialog::findRequested, this, &MessageReadBack::FindNext);
        connect(findDialog_, &MessageFindDialog::textChanged, this, &MessageReadBack::changed);
    }
    findDialog_->show();
    findDialog_->raise();
    findDialog_->activateWindow();
}

void MessageReadBack::FindNext(bool forward)
{
    if (!HasFindText()) return Find();
    const bool found = view_.Find(findDialog_->Text(), forward);
    findDialog_->ShowResult(found);
    if (!found) status_->showMessage(QString("No line holds \"%1\".").arg(findDialog_->Text()), 5000);
    emit changed();
}

bool MessageReadBack::HasFindText() const { return findDialog_ != nullptr && !findDialog_->Text().isEmpty(); }

void MessageReadBack::Filter()
{
    // Sentences show only where both the tick and the switch say so, and
    // either sets the other.
    const auto shown = [this](const QString& m) {
        return view_.MnemonicShown(m) && (m != kNmeaMnemonic || nmeaShown_());
    };
    MessageFilterDialog dialog(view_.MnemonicsSeen(), shown, owner_);
    if (dialog.exec() != QDialog::Accepted) return;
    for (const auto& [mnemonic, on] : dialog.Choices()) {
        view_.SetMnemonicShown(mnemonic, on);
        if (mnemonic == kNmeaMnemonic && on != nmeaShown_()) toggleNmea_();
    }
}

void MessageReadBack::NmeaSwitched()
{
    if (nmeaShown_()) view_.SetMnemonicShown(kNmeaMnemonic, true);
}

} // namespace tolvane
