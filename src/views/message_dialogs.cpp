#include "views/message_dialogs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace tolvane {

MessageFindDialog::MessageFindDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Find in Messages");
    setModal(false);
    auto* label = new QLabel("Find &what:", this);
    field_ = new QLineEdit(this);
    field_->setAccessibleName("Find what");
    label->setBuddy(field_);
    result_ = new QLabel(this);
    result_->setTextFormat(Qt::PlainText);
    auto* next = new QPushButton("Find &Next", this);
    auto* previous = new QPushButton("Find &Previous", this);
    auto* close = new QPushButton("Close", this);
    next->setDefault(true);
    connect(next, &QPushButton::clicked, this, [this] { emit findRequested(true); });
    connect(previous, &QPushButton::clicked, this, [this] { emit findRequested(false); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(field_, &QLineEdit::textChanged, this, [this] {
        ShowResult(true);
        emit textChanged();
    });
    // The main window's keys, here too.
    for (const auto& [keys, forward] : {std::pair("F3", true), std::pair("Shift+F3", false)})
        connect(new QShortcut(QKeySequence(keys), this), &QShortcut::activated, this,
                [this, forward] { emit findRequested(forward); });

    auto* field = new QHBoxLayout;
    field->addWidget(label);
    field->addWidget(field_, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(field);
    left->addWidget(result_);
    left->addStretch();
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {next, previous, close}) buttons->addWidget(b);
    auto* row = new QHBoxLayout(this);
    row->addLayout(left, 1);
    row->addLayout(buttons);
}

QString MessageFindDialog::Text() const
{
    return field_->text();
}

void MessageFindDialog::ShowResult(bool found)
{
    result_->setText(found ? QString() : QString("No line holds \"%1\".").arg(field_->text()));
}

MessageFilterDialog::MessageFilterDialog(const QStringList& seen, const std::function<bool(const QString&)>& shown,
                                         QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("Filter Messages");
    auto* label = new QLabel(seen.isEmpty() ? "No messages received yet." : "&Show these message types:", this);
    list_ = new QListWidget(this);
    list_->setAccessibleName("Message types");
    label->setBuddy(list_);
    for (const QString& name : seen) {
        auto* item = new QListWidgetItem(name, list_);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(shown(name) ? Qt::Checked : Qt::Unchecked);
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* all = box->addButton("Show &All", QDialogButtonBox::ResetRole);
    connect(all, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < list_->count(); ++i) list_->item(i)->setCheckState(Qt::Checked);
    });
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addWidget(label);
    column->addWidget(list_, 1);
    column->addWidget(box);
}

std::vector<std::pair<QString, bool>> MessageFilterDialog::Choices() const
{
    std::vector<std::pair<QString, bool>> choices;
    for (int i = 0; i < list_->count(); ++i)
        choices.emplace_back(list_->item(i)->text(), list_->item(i)->checkState() == Qt::Checked);
    return choices;
}

} // namespace tolvane
