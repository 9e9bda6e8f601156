#include "dialogs/drop_down_list.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QItemSelectionModel>

namespace tolvane {
namespace {

class DropDownListAccessible : public QAccessibleWidget {
public:
    explicit DropDownListAccessible(DropDownList* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) {
            const QString heard = List()->currentData(Qt::AccessibleTextRole).toString();
            return heard.isEmpty() ? List()->currentText() : heard;
        }
        return QAccessibleWidget::text(t);
    }

    // The item list, as Qt's own combo box interface offers it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(List()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child != nullptr && child->object() == List()->view() ? 0 : -1;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (action == showMenuAction()) List()->showPopup();
        else QAccessibleWidget::doAction(action);
    }

private:
    DropDownList* List() const { return static_cast<DropDownList*>(widget()); }
};

QAccessibleInterface* CreateDropDownListAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(DropDownList::staticMetaObject.className()))
        return new DropDownListAccessible(static_cast<DropDownList*>(object));
    return nullptr;
}

} // namespace

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(&CreateDropDownListAccessible);
        return true;
    }();
    (void)accessibleInstalled;
    // The item chosen is the selected one of the list, open or not; the
    // change is announced with what is now heard.
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QModelIndex item = model()->index(index, modelColumn(), rootModelIndex());
        view()->selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
        if (!QAccessible::isActive()) return;
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
        QAccessibleValueChangeEvent event(this, list->text(QAccessible::Value));
        QAccessible::updateAccessibility(&event);
    });
}

} // namespace tolvane
