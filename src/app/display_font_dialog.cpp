#include "app/display_font_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QValidator>
#include <QVBoxLayout>

namespace tolvane {

namespace {

// Selects the row whose text is `text` (letter case aside); false when none is.
bool SelectText(QListWidget* list, const QString& text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text().compare(text, Qt::CaseInsensitive) == 0) {
            list->setCurrentRow(row);
            return true;
        }
    }
    return false;
}

// The size field takes whole numbers up to the largest size; one below the
// smallest stays as typed (it may be the start of a larger one), and OK
// refuses it.
class SizeValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        if (input.isEmpty())
            return Intermediate;
        if (input.size() > 2 || input.front() == QLatin1Char('0'))
            return Invalid;
        for (QChar c : input)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        const int size = input.toInt();
        if (size > DisplayFontDialog::kLargest)
            return Invalid;
        return size >= DisplayFontDialog::kSmallest ? Acceptable : Intermediate;
    }
};

} // namespace

DisplayFontDialog::DisplayFontDialog(const QFont& initial, QWidget* parent)
    : QDialog(parent), families_(new QListWidget(this)), styles_(new QListWidget(this)), size_(new QLineEdit(this)),
      sizes_(new QListWidget(this)), sample_(new QLabel(QStringLiteral("AaBbYyZz"), this))
{
    setWindowTitle("Font");
    families_->setObjectName("family");
    styles_->setObjectName("style");
    size_->setObjectName("size");
    sizes_->setObjectName("sizes");
    // Qt names an edit after its label, but not a list.
    families_->setAccessibleName("Font");
    styles_->setAccessibleName("Font style");
    sizes_->setAccessibleName("Sizes"); // the Size label names the field above it
    sample_->setObjectName("sample");

    // Fonts a screen shows upright: no private families and no vertical ("@") ones.
    for (const QString& family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family) && !family.startsWith(QLatin1Char('@')))
            families_->addItem(family);
    // The size list is fixed: whatever the family, these are the sizes offered.
    for (int size = kSmallest; size <= kLargest; ++size)
        sizes_->addItem(QString::number(size));
    size_->setValidator(new SizeValidator(size_));

    connect(families_, &QListWidget::currentRowChanged, this, [this] {
        FillStyles();
        ShowSample();
    });
    connect(styles_, &QListWidget::currentRowChanged, this, &DisplayFontDialog::ShowSample);
    connect(sizes_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && size_->text() != sizes_->item(row)->text())
            size_->setText(sizes_->item(row)->text());
        ShowSample();
    });
    connect(size_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!SelectText(sizes_, text))
            sizes_->setCurrentRow(-1);
        ShowSample();
    });

    const QFontMetrics fm(font());
    const int cw = fm.averageCharWidth();
    families_->setMinimumWidth(24 * cw);
    styles_->setMinimumWidth(14 * cw);
    size_->setMaximumWidth(8 * cw);
    sizes_->setMaximumWidth(8 * cw);
    sample_->setAlignment(Qt::AlignCenter);
    // Room for the largest size without the dialog changing its size.
    QFont largest = font();
    largest.setPointSize(kLargest);
    sample_->setMinimumHeight(2 * QFontMetrics(largest).height());

    auto* grid = new QGridLayout;
    const struct {
        const char* text;
        QWidget* buddy;
    } labels[] = {{"&Font:", families_}, {"Font st&yle:", styles_}, {"&Size:", size_}};
    for (int column = 0; column < 3; ++column) {
        auto* label = new QLabel(labels[column].text, this);
        label->setBuddy(labels[column].buddy);
        grid->addWidget(label, 0, column);
    }
    grid->addWidget(families_, 1, 0, 2, 1);
    grid->addWidget(styles_, 1, 1, 2, 1);
    grid->addWidget(size_, 1, 2);
    grid->addWidget(sizes_, 2, 2);

    auto* sampleBox = new QGroupBox("Sample", this);
    auto* sampleLayout = new QVBoxLayout(sampleBox);
    sampleLayout->addWidget(sample_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(sampleBox);
    layout->addWidget(buttons);

    setCurrentFont(initial);
}

void DisplayFontDialog::setCurrentFont(const QFont& font)
{
    const QFontInfo info(font);
    if (!SelectText(families_, info.family()) && !SelectText(families_, font.family()))
        families_->setCurrentRow(0);
    if (!SelectText(styles_, QFontDatabase::styleString(info)))
        styles_->setCurrentRow(0);
    const int points = font.pointSize() > 0 ? font.pointSize() : info.pointSize();
    size_->setText(QString::number(points));
    if (!SelectText(sizes_, size_->text()))
        sizes_->setCurrentRow(-1);
    ShowSample();
}

QFont DisplayFontDialog::currentFont() const
{
    const QListWidgetItem* family = families_->currentItem();
    const QListWidgetItem* style = styles_->currentItem();
    // A new font from the family and style alone: no effects come along.
    QFont font = QFontDatabase::font(family ? family->text() : QString(), style ? style->text() : QString(), kSmallest);
    if (Size() > 0)
        font.setPointSize(Size());
    return font;
}

void DisplayFontDialog::done(int result)
{
    if (result == QDialog::Accepted) {
        const int size = Size();
        if (size < kSmallest || size > kLargest) {
            QMessageBox::warning(this, "Font", "Please choose a size from 8 to 20 points.");
            return;
        }
        selected_ = currentFont();
    }
    QDialog::done(result);
}

int DisplayFontDialog::Size() const
{
    bool ok = false;
    const int size = size_->text().toInt(&ok);
    return ok ? size : 0;
}

void DisplayFontDialog::FillStyles()
{
    const QString kept = styles_->currentItem() ? styles_->currentItem()->text() : QString();
    const QSignalBlocker quiet(styles_);
    styles_->clear();
    if (families_->currentItem() != nullptr)
        styles_->addItems(QFontDatabase::styles(families_->currentItem()->text()));
    if (!SelectText(styles_, kept))
        styles_->setCurrentRow(0);
}

void DisplayFontDialog::ShowSample()
{
    if (Size() > 0)
        sample_->setFont(currentFont());
}

} // namespace tolvane
