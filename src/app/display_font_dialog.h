// The Font command's chooser: a family, a style and a size from 8 to 20
// points, and nothing else (no effects, colour or writing system), so the
// font it gives is always plain.
#pragma once

#include <QDialog>
#include <QFont>

class QLabel;
class QLineEdit;
class QListWidget;

namespace tolvane {

class DisplayFontDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kSmallest = 8;
    static constexpr int kLargest = 20;

    DisplayFontDialog(const QFont& initial, QWidget* parent);

    // Selects the font's family, style and size, as far as they are offered;
    // the size is set even outside the range (OK then refuses it).
    void setCurrentFont(const QFont& font);
    // The family, style and size chosen now; while the size field holds no
    // number the size is the smallest offered.
    QFont currentFont() const;
    // The font taken by OK.
    QFont selectedFont() const { return selected_; }

    // Refuses an accepted size outside the range, keeping the dialog open.
    void done(int result) override;

private:
    int Size() const;
    void FillStyles();
    void ShowSample();

    QListWidget* families_;
    QListWidget* styles_;
    QLineEdit* size_;
    QListWidget* sizes_;
    QLabel* sample_;
    QFont selected_;
};

} // namespace tolvane
