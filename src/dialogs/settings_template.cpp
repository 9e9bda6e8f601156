#include "dialogs/settings_template.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace tolvane {

void BuildSettingsDialog(QDialog& dialog, const DialogLayout& layout, const std::function<void()>& ok)
{
    BuildDialog(dialog, layout);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    for (QLabel* label : dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) label->setWordWrap(true);
    if (auto* button = ControlOf<QPushButton>(dialog, kSettingsOkId))
        QObject::connect(button, &QPushButton::clicked, &dialog, ok);
    if (auto* cancel = ControlOf<QPushButton>(dialog, kSettingsCancelId))
        QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
}

} // namespace tolvane
