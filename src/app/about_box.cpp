#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include "resources/icons.h"

namespace tolvane {

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("100");
    setWindowTitle("About Tolvane");

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    char version[48];
    std::snprintf(version, sizeof version, "Tolvane Version %d.%02d", 1, 4);
    auto* line1 = new QLabel(version, this);
    line1->setObjectName("1000");
    auto* line2 = new QLabel("Host program for digital compass and orientation modules", this);
    line2->setObjectName("1001");
    auto* maker = new QLabel("Kelvaro Corporation", this);
    auto* line3 = new QLabel(QString(), this);
    line3->setObjectName("1002");
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    for (QLabel* label : {line1, line2, maker, line3}) texts->addWidget(label);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
    setLayout(row);

    // 220 by 63 dialog units of the dialog font.
    const QFontMetrics fm(font());
    setMinimumSize(220 * fm.averageCharWidth() / 4, 63 * fm.height() / 8);
}

} // namespace tolvane
