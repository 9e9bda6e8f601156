#include "views/message_view_accessible.h"

#include <algorithm>

#include "views/message_view.h"

namespace tolvane {

namespace {

class MessageLineAccessible : public QAccessibleInterface {
public:
    MessageLineAccessible(MessageViewAccessible* list, int row) : list_(list), row_(row) {}

    bool isValid() const override { return list_->isValid() && row_ < list_->LineRowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_->window(); }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return list_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? list_->RowName(row_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override { return isValid() ? list_->RowScreenRect(row_) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !isValid();
        s.selectable = true;
        s.selected = isValid() && list_->RowSelected(row_);
        return s;
    }

    int Row() const { return row_; }

private:
    MessageViewAccessible* list_;
    int row_;
};

} // namespace

MessageViewAccessible::MessageViewAccessible(MessageView* view) : QAccessibleWidget(view, QAccessible::List) {}

MessageViewAccessible::~MessageViewAccessible()
{
    for (QAccessible::Id id : items_)
        QAccessible::deleteAccessibleInterface(id);
}

MessageView* MessageViewAccessible::View() const
{
    return static_cast<MessageView*>(widget());
}

int MessageViewAccessible::LineRowCount() const
{
    return View()->ShownLineCount();
}

QList<QWidget*> MessageViewAccessible::ChildWindows() const
{
    QList<QWidget*> windows;
    for (QObject* child : View()->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w != nullptr && !w->isWindow() && w->isVisible())
            windows.append(w);
    }
    return windows;
}

int MessageViewAccessible::childCount() const
{
    return LineRowCount() + static_cast<int>(ChildWindows().size());
}

QAccessibleInterface* MessageViewAccessible::child(int index) const
{
    const int rows = LineRowCount();
    if (index >= rows) {
        const QList<QWidget*> windows = ChildWindows();
        return index - rows < windows.size() ? QAccessible::queryAccessibleInterface(windows[index - rows]) : nullptr;
    }
    if (index < 0)
        return nullptr;
    while (static_cast<int>(items_.size()) <= index) {
        auto* item = new MessageLineAccessible(const_cast<MessageViewAccessible*>(this), static_cast<int>(items_.size()));
        items_.push_back(QAccessible::registerAccessibleInterface(item));
    }
    return QAccessible::accessibleInterface(items_[index]);
}

int MessageViewAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (child == nullptr)
        return -1;
    if (const auto* item = dynamic_cast<const MessageLineAccessible*>(child))
        return item->parent() == this && item->isValid() ? item->Row() : -1;
    const int at = static_cast<int>(ChildWindows().indexOf(qobject_cast<QWidget*>(child->object())));
    return at < 0 ? -1 : LineRowCount() + at;
}

QAccessibleInterface* MessageViewAccessible::childAt(int x, int y) const
{
    // A window lies over the rows; the topmost one under the point wins.
    const QList<QWidget*> windows = ChildWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (QRect((*it)->mapToGlobal(QPoint(0, 0)), (*it)->size()).contains(x, y))
            return QAccessible::queryAccessibleInterface(*it);
    }
    for (int row = 0; row < LineRowCount(); ++row) {
        if (RowScreenRect(row).contains(x, y))
            return child(row);
    }
    return nullptr;
}

QString MessageViewAccessible::RowName(int row) const
{
    return View()->ShownLineName(row);
}

bool MessageViewAccessible::RowSelected(int row) const
{
    return View()->RowSelected(row);
}

QRect MessageViewAccessible::RowScreenRect(int row) const
{
    const MessageView* view = View();
    const int lh = view->LineHeight();
    const QPoint topLeft = view->mapToGlobal(QPoint(0, lh / 2 + row * lh));
    return {topLeft, QSize(view->width(), lh)};
}

QAccessibleInterface* CreateMessageViewAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(MessageView::staticMetaObject.className()))
        return new MessageViewAccessible(static_cast<MessageView*>(object));
    return nullptr;
}

} // namespace tolvane
