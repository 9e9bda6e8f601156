// Icons the program draws itself, so no icon theme is needed.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tolvane {

// The 16 by 15 toolbar picture of a command; a null pixmap for a command
// without a button.
QPixmap ToolbarPixmap(int commandId);

// The program's icon (a compass rose), at any size.
QIcon AppIcon();

} // namespace tolvane
