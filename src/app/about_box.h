// "About Tolvane".
#pragma once

#include <QDialog>

namespace tolvane {

class CAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit CAboutBox(QWidget* parent = nullptr);
};

} // namespace tolvane
