#include "dialogs/dialog_template.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

#include "dialogs/drop_down_list.h"

namespace tolvane {
namespace {

int Px(int units, double perUnit)
{
    return static_cast<int>(std::lround(units * perUnit));
}

int FloorHalf(int v)
{
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

} // namespace

DialogUnits UnitsOf(const QFont& font)
{
    const QFontMetricsF fm(font);
    // The average over the Latin letters, as the template units are defined.
    const double average = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    return {average / 4.0, fm.height() / 8.0};
}

void BuildDialog(QDialog& dialog, const DialogLayout& layout)
{
    const DialogUnits u = UnitsOf(dialog.font());
    dialog.setWindowTitle(QString::fromUtf8(layout.title));
    dialog.setFixedSize(Px(layout.width, u.horizontal), Px(layout.height, u.vertical));
    QButtonGroup* radios = nullptr;
    for (const ControlLayout& c : layout.controls) {
        QWidget* w = nullptr;
        const QString text = QString::fromUtf8(c.text ? c.text : "");
        switch (c.kind) {
        case ControlKind::Static:
        case ControlKind::StaticCentred:
        case ControlKind::StaticSunken: {
            auto* label = new QLabel(text, &dialog);
            label->setTextFormat(Qt::PlainText);
            if (c.kind != ControlKind::Static) label->setAlignment(Qt::AlignCenter);
            if (c.kind == ControlKind::StaticSunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            w = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, &dialog);
            edit->setAlignment(Qt::AlignCenter);
            w = edit;
            break;
        }
        case ControlKind::ListBox: {
            auto* list = new QListWidget(&dialog);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            w = list;
            break;
        }
        case ControlKind::DropDownList: w = new DropDownList(&dialog); break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, &dialog);
            button->setAutoDefault(false);
            button->setDefault(c.kind == ControlKind::DefPushButton);
            w = button;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(text, &dialog);
            box->setLayoutDirection(Qt::RightToLeft); // the text on the left of the box
            w = box;
            break;
        }
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(text, &dialog);
            if (!radios) radios = new QButtonGroup(&dialog);
            radios->addButton(radio);
            w = radio;
            break;
        }
        case ControlKind::GroupBox: w = new QGroupBox(text, &dialog); break;
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(&dialog);
            bar->setTextVisible(false);
            w = bar;
            break;
        }
        }
        if (c.id >= 0) w->setObjectName(QString::number(c.id));
        if (c.name) w->setAccessibleName(QString::fromUtf8(c.name));
        w->setGeometry(Px(c.x, u.horizontal), Px(c.y, u.vertical), Px(c.w, u.horizontal), Px(c.h, u.vertical));
        if (c.kind == ControlKind::GroupBox) w->lower();
    }
}

void PlaceOnCreate(QDialog& dialog)
{
    QWidget* parent = dialog.parentWidget();
    if (!parent) return;
    const QRect client = parent->rect();
    const QSize frame = dialog.frameGeometry().size();
    const QPoint topLeft = parent->mapToGlobal(
        QPoint(FloorHalf(client.width() - frame.width()), FloorHalf(client.height() - frame.height())));
    dialog.move(topLeft);
}

} // namespace tolvane
