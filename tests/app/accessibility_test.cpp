// The program as a screen reader meets it: the accessibility tree walked
// from the main window and from each dialog, in process.
#include <QAccessible>
#include <QComboBox>
#include <QListWidget>
#include <QMetaEnum>
#include <QRegularExpression>

#include <map>
#include <set>

#include "app/about_box.h"
#include "app/display_font_dialog.h"
#include "dialogs/com_port_dialog.h"
#include "dialogs/serial_device_dialog.h"
#include "dialogs/compensation_dialog.h"
#include "dialogs/dialog_test_support.h"
#include "dialogs/initializations_dialog.h"
#include "dialogs/startup_defaults_dialog.h"
#include "dialogs/wmm_dialog.h"
#include "frame_fixture.h"
#include "logging/log_file_dialog.h"
#include "support/golden_image.h"
#include "views/message_dialogs.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

// Roles of what a user operates or reads a value from; each needs a name
// of its own.
bool IsControl(QAccessible::Role role)
{
    using A = QAccessible;
    static const QSet<A::Role> controls{A::PushButton, A::CheckBox, A::RadioButton, A::ComboBox, A::EditableText,
                                        A::List, A::ProgressBar, A::Dial, A::Indicator, A::Slider, A::SpinBox};
    return controls.contains(role);
}

// Qt's own parts that its accessible interfaces stand for rather than
// show: a scroll area's viewport and bar containers, a tool bar's
// overflow button, a status bar's size grip, a header (its sections are
// the column headers).
bool InnerPart(const QWidget* w)
{
    static const QSet<QString> names{"qt_scrollarea_viewport", "qt_scrollarea_hcontainer",
                                     "qt_scrollarea_vcontainer", "qt_toolbar_ext_button"};
    return names.contains(w->objectName()) || w->inherits("QSizeGrip") || w->inherits("QHeaderView");
}

// Heads each transcript of what is heard.
const QString kHeardLegend =
    "# role name = value (description) [the number of a value], each node indented under its parent\n";

struct Walk {
    std::set<const QObject*> reached;
    QStringList heard; // "role name = value (description) [number]" per node, indented by its depth
    QStringList faults;
};

void Visit(QAccessibleInterface* node, Walk& walk, std::map<QString, int>& controlNames, int depth = 0)
{
    if (node == nullptr || depth > 40 || node->state().invisible) return;
    if (node->object() != nullptr) walk.reached.insert(node->object());
    const QString name = node->text(QAccessible::Name);
    const QString value = node->text(QAccessible::Value);
    const QString description = node->text(QAccessible::Description);
    const char* role = QMetaEnum::fromType<QAccessible::Role>().valueToKey(node->role());
    // The number a reader takes from a value follows the line ("[nan]" would be a fault).
    const QVariant number = node->valueInterface() ? node->valueInterface()->currentValue() : QVariant();
    walk.heard << QString(2 * depth, ' ') + QString("%1 %2 = %3 (%4)").arg(role, name, value, description) +
                      (number.isValid() ? " [" + number.toString() + "]" : QString());
    if (IsControl(node->role())) {
        if (name.trimmed().isEmpty()) walk.faults << "unnamed control: " + walk.heard.back();
        ++controlNames[name];
    }
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (child && child->parent() && child->parent() != node && child->object() && node->object())
            walk.faults << "child does not name its parent: " + child->text(QAccessible::Name);
        Visit(child, walk, controlNames, depth + 1);
    }
}

// Walks `window` and reports every visible widget the walk never reached,
// every unnamed control and, for a dialog, names two controls share.
Walk WalkWindow(QWidget* window, bool namesUnique)
{
    Walk walk;
    std::map<QString, int> controlNames;
    Visit(QAccessible::queryAccessibleInterface(window), walk, controlNames);
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->isWindow() || InnerPart(w) || walk.reached.count(w)) continue;
        bool insidePart = false;
        for (QWidget* up = w->parentWidget(); up && up != window; up = up->parentWidget())
            insidePart = insidePart || InnerPart(up);
        if (!insidePart)
            walk.faults << QString("unreachable %1 \"%2\"").arg(w->metaObject()->className(), w->objectName());
    }
    if (namesUnique)
        for (const auto& [name, count] : controlNames)
            if (count > 1) walk.faults << QString("%1 controls named \"%2\"").arg(count).arg(name);
    return walk;
}

class AccessibilityTest : public MainFrameTest {};

// Every dialog: each control reached and named, no two alike; what is heard
// in each is pinned in app_dialogs_heard.txt (a list named for what it
// holds with the item shown as its value, fields with their text, the
// compensation sectors' bars, the About box's version).
TEST_F(AccessibilityTest, EveryDialogIsReachableAndNamed)
{
    test::FrameStub stub;
    link = std::make_unique<SerialLink>();
    log = std::make_unique<LogFile>(dir.path().toStdString(), LogFile::LocalTime{});
    QtSessionTimers timers;
    SessionHost nobody;
    CompassSession session(*link, *log, timers, nobody);
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(std::make_unique<InitializationsDialog>(1.5f, 2.5f, -3.5f, 4.5f, 145, stub.Sender(),
                                                              &stub.registry, nullptr));
    dialogs.push_back(std::make_unique<StartupDefaultsDialog>(stub.Sender(), &stub.registry, nullptr));
    dialogs.push_back(std::make_unique<CompensationDialog>(stub.Sender(), &stub.registry, nullptr));
    dialogs.push_back(std::make_unique<WmmDialog>(stub.Sender(), &stub.registry, nullptr, QDate(2026, 12, 7)));
    dialogs.push_back(std::make_unique<ComPortDialog>(
        session, *settings, nullptr, nullptr,
        [](int port) { return port == 3 ? ProbeResult::Free : ProbeResult::Missing; }));
    dialogs.push_back(std::make_unique<CAboutBox>(nullptr));
    dialogs.push_back(std::make_unique<DisplayFontDialog>(QApplication::font(), nullptr));
    dialogs.push_back(std::make_unique<SerialDeviceDialog>(PortMap(), 3));
    dialogs.push_back(std::make_unique<LogFileDialog>(*log, nullptr, dir.path().toStdString(), "CompassLog01.dta"));
    dialogs.push_back(std::make_unique<MessageFindDialog>());
    dialogs.push_back(std::make_unique<MessageFilterDialog>(QStringList{"NMEA", "DORIENT"},
                                                            [](const QString& m) { return m == "NMEA"; }));
    QString heard = kHeardLegend;
    QApplication::setCursorFlashTime(0); // a text cursor that stays, for the pictures
    for (auto& dialog : dialogs) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        const Walk walk = WalkWindow(dialog.get(), true);
        EXPECT_TRUE(walk.faults.isEmpty()) << walk.faults.join("\n").toStdString();
        // Each dialog's layout as a picture, but for what the machine or the
        // release draws (fonts, places, the version) and the devices it lists.
        if (!dynamic_cast<DisplayFontDialog*>(dialog.get()) && !dynamic_cast<LogFileDialog*>(dialog.get()) &&
            !dynamic_cast<CAboutBox*>(dialog.get())) {
            if (dynamic_cast<SerialDeviceDialog*>(dialog.get())) dialog->findChild<QListWidget*>()->clear();
            const QString name =
                dialog->windowTitle().toLower().replace(QRegularExpression("[^a-z]+"), "_").remove(QRegularExpression("_$"));
            test::ExpectGoldenImage(("app_dialog_" + name + ".png").toStdString(), dialog->grab().toImage());
        }
        // The items of lists the machine fills (installed fonts, serial
        // devices, the file dialog's places) are left out.
        int skipDeeperThan = -1;
        for (const QString& line : walk.heard) {
            const int depth = static_cast<int>(line.indexOf(QRegularExpression("\\S")));
            if (skipDeeperThan >= 0 && depth > skipDeeperThan) continue;
            static const QRegularExpression machineLists("^ *List (Font|Font style|Serial devices present|Sidebar) ");
            skipDeeperThan = line.contains(machineLists) ? depth : -1;
            heard += line + "\n";
        }
        heard += "\n";
        dialog->hide();
    }
    heard.replace(dir.path(), "<the test's folder>");
    test::ExpectGolden("app_dialogs_heard.txt", heard.toStdString());
}

TEST_F(AccessibilityTest, MainWindowReadsTheLinesThePanelAndEveryInstrument)
{
    MakeFrameAndCancelPortDialog();
    frame->RunCommand(kCmdStatusView);
    frame->RunCommand(kCmdNavConsole);
    frame->RunCommand(kCmdOrientationPlot);
    // Roll -12.7, pitch -180 (dashes on its readout), azimuth a hair under 360.
    frame->Session().OnDeviceMessage(
        {.type = TypeByte(MessageType::Orientation), .length = 6, .payload = {0x00, 0xF7, 0, 0x80, 0xFF, 0xFF}});

    // What is heard, pinned in app_main_window_heard.txt: the menus, the
    // view's lines, the panes (the port is closed, so the panel and the
    // console say so) and each instrument's name and reading.
    const Walk walk = WalkWindow(frame.get(), false);
    EXPECT_TRUE(walk.faults.isEmpty()) << walk.faults.join("\n").toStdString();
    test::ExpectGolden("app_main_window_heard.txt", (kHeardLegend + walk.heard.join("\n") + "\n").toStdString());
}

// The WMM dialog's month list: the month chosen, by its whole name, is its
// value and the selected item of its list, also after the user changes it.
TEST_F(AccessibilityTest, MonthListSaysTheMonthChosen)
{
    test::FrameStub stub;
    WmmDialog dialog(stub.Sender(), &stub.registry, nullptr, QDate(2026, 12, 7));
    dialog.show();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(dialog.findChild<QComboBox*>("1014"));
    for (const char* month : {"December", "November"}) {
        const QList<QAccessibleInterface*> selected = list->child(0)->tableInterface()->selectedCells();
        EXPECT_TRUE(list->text(QAccessible::Value) == month && selected.size() == 1 &&
                    selected[0]->text(QAccessible::Name) == month) << month;
        QTest::keyClick(static_cast<QWidget*>(list->object()), Qt::Key_Up);
    }
}

// The view's context menu, opened twice: what assistive technology finds
// in it is the entry on screen, belonging to the menu on screen.
TEST_F(AccessibilityTest, ContextMenuOpenedAgainShowsItsOwnEntry)
{
    MakeFrameAndCancelPortDialog();
    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening);
        QStringList entries;
        const auto look = [&entries] {
            QWidget* popup = QApplication::activePopupWidget();
            if (popup == nullptr) return;
            QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(popup);
            for (int i = 0; i < menu->childCount(); ++i) {
                QAccessibleInterface* entry = menu->child(i);
                entries << entry->text(QAccessible::Name) + (entry->parent() == menu ? "" : " (of another menu)");
            }
            popup->close();
        };
        // The frame's activation after the start-up dialog may close the
        // first popup before it is looked at; it is opened again then.
        for (int attempt = 0; attempt < 5 && entries.isEmpty(); ++attempt) {
            QTimer::singleShot(0, look);
            emit frame->View()->customContextMenuRequested(QPoint(10, 10));
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(entries.join("|").toStdString(), "Show NMEA Sentences||Pause|Copy||Find...|Find Next|Find Previous|"
                                                   "Filter...||Clear");
    }
}

} // namespace
} // namespace tolvane
