// The two small windows of the message view's reading back: Find, which
// stays open beside the view while the user steps through the matches,
// and Filter, a check list of the message types seen so far.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

namespace tolvane {

class MessageFindDialog : public QDialog {
    Q_OBJECT

public:
    explicit MessageFindDialog(QWidget* parent = nullptr);

    QString Text() const;
    // Says under the field that nothing holds the text, or clears that.
    void ShowResult(bool found);

signals:
    void findRequested(bool forward);
    void textChanged();

private:
    QLineEdit* field_;
    QLabel* result_;
};

class MessageFilterDialog : public QDialog {
    Q_OBJECT

public:
    // One check box per mnemonic in `seen`, ticked when `shown` says so.
    MessageFilterDialog(const QStringList& seen, const std::function<bool(const QString&)>& shown,
                        QWidget* parent = nullptr);

    // Each mnemonic with whether its box is ticked, in the order given.
    std::vector<std::pair<QString, bool>> Choices() const;

private:
    QListWidget* list_;
};

} // namespace tolvane
