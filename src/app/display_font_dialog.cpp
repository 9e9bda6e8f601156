#include "app/display_font_dialog.h"

#include <QMessageBox>

namespace tolvane {

DisplayFontDialog::DisplayFontDialog(const QFont& initial, QWidget* parent) : QFontDialog(initial, parent)
{
    setOption(QFontDialog::DontUseNativeDialog);
    setWindowTitle("Font");
}

void DisplayFontDialog::done(int result)
{
    const int size = currentFont().pointSize();
    if (result == QDialog::Accepted && (size < kSmallest || size > kLargest)) {
        QMessageBox::warning(this, "Font", "Please choose a size from 8 to 20 points.");
        return;
    }
    QFontDialog::done(result);
}

} // namespace tolvane
