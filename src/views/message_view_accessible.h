// Screen readers see the message view as a list whose items are the lines
// on screen, top to bottom, each named "MNEMONIC text", followed by the
// windows shown inside the view (the orientation panel, the Nav Console).
// Its description is the view's mark ("Paused" while paused); the lines
// selected are its selected items.
#pragma once

#include <QAccessibleWidget>

#include <vector>

namespace tolvane {

class MessageView;

class MessageViewAccessible : public QAccessibleWidget {
public:
    explicit MessageViewAccessible(MessageView* view);
    ~MessageViewAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    // The lines on screen; the child windows come after them.
    int LineRowCount() const;
    // For the items: the line shown on `row`, and where that row is on screen.
    QString RowName(int row) const;
    bool RowSelected(int row) const;
    QRect RowScreenRect(int row) const;

private:
    MessageView* View() const;
    // The view's child windows on show, in stacking order.
    QList<QWidget*> ChildWindows() const;

    // Items are made on demand and kept, one per row, as Qt's own item views do.
    mutable std::vector<QAccessible::Id> items_;
};

// The factory given to QAccessible::installFactory.
QAccessibleInterface* CreateMessageViewAccessible(const QString& className, QObject* object);

} // namespace tolvane
