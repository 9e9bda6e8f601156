// The dialogs' drop-down list: a combo box the user picks from but cannot
// type into. Screen readers hear its accessible name (say "Month") as its
// name and the item chosen (its Qt::AccessibleTextRole where it has one,
// "December" for "Dec") as its value and as the selected item of its list;
// Qt's own interface on Linux gives the item shown as the name too, which
// hides what the list is for, and selects an item only while the list is
// open.
#pragma once

#include <QComboBox>

namespace tolvane {

class DropDownList : public QComboBox {
    Q_OBJECT

public:
    explicit DropDownList(QWidget* parent = nullptr);
};

} // namespace tolvane
