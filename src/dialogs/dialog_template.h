// Dialogs built from templates: a table of controls in dialog units, as
// the program's dialogs are described. One horizontal unit is a quarter of
// the dialog font's average character width, one vertical unit an eighth of
// its height. Every control's objectName is its identifier.
#pragma once

#include <QDialog>
#include <QString>

#include <span>

namespace tolvane {

enum class ControlKind {
    Static,        // left-aligned text
    StaticCentred, // centred text
    StaticSunken,  // centred text in a sunken frame (a result line)
    Edit,          // one-line edit, centred text, bordered
    ListBox,
    DropDownList,  // a combo box the user cannot type into
    PushButton,
    DefPushButton, // the default button: Enter presses it
    CheckBox,      // automatic, text on the left of the box
    RadioButton,   // automatic; radio buttons of one dialog form one group
    GroupBox,
    ProgressBar,
};

struct ControlLayout {
    int id; // -1 for a control nobody addresses (labels, frames)
    ControlKind kind;
    const char* text; // '&' marks the accelerator
    int x, y, w, h;   // dialog units
    // What screen readers call a control whose text does not name it (an
    // edit, a list, a progress bar, one of several "Load" boxes). Null:
    // the control's text is its name and follows every change of it.
    const char* name = nullptr;
};

struct DialogLayout {
    const char* title;
    int width, height; // client size, dialog units
    std::span<const ControlLayout> controls;
};

// Pixels per dialog unit of `font`.
struct DialogUnits {
    double horizontal;
    double vertical;
};
DialogUnits UnitsOf(const QFont& font);

// Sizes `dialog` and creates its controls. Controls with an id get it as
// objectName, and those with a `name` that accessible name.
void BuildDialog(QDialog& dialog, const DialogLayout& layout);

template <typename Widget>
Widget* ControlOf(const QDialog& dialog, int id)
{
    return dialog.findChild<Widget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

// Centres `dialog` in its parent's client area (rounding toward minus
// infinity), in the parent's coordinates, as the configuration dialogs
// place themselves when created.
void PlaceOnCreate(QDialog& dialog);

} // namespace tolvane
