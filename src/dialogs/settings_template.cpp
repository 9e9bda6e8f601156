#include "dialogs/settings_template.h"

#include <QLabel>

namespace tolvane {

void FinishSettingsDialog(QDialog& dialog)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    for (QLabel* label : dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) label->setWordWrap(true);
}

} // namespace tolvane
