// The Font command's chooser: only sizes from 8 to 20 points are taken.
#pragma once

#include <QFontDialog>

namespace tolvane {

class DisplayFontDialog : public QFontDialog {
    Q_OBJECT

public:
    static constexpr int kSmallest = 8;
    static constexpr int kLargest = 20;

    DisplayFontDialog(const QFont& initial, QWidget* parent);
    // Refuses an accepted size outside the range, keeping the dialog open.
    void done(int result) override;
};

} // namespace tolvane
