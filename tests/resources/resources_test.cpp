// The menu and toolbar tables as the frame reads them, the drawn icons and
// the desktop files that name them.
#include "resources/command_ids.h"
#include "resources/icons.h"
#include "resources/menu.h"
#include "support/golden_image.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tolvane {
namespace {

bool Opens(const MenuEntry& e) { return e.text != nullptr && e.id == 0; } // a menu or submenu

// The frame builds menus, submenus, items and separators from the rows in
// order: a row is at most one deeper than the row before, and only under a
// row that opens a menu, which is never empty; separators sit between
// items; every item has a command of its own and one accelerator, distinct
// within its menu.
TEST(MenuTable, NestsAsTheFrameReadsItAndEachItemHasItsOwnAccelerator)
{
    std::map<int, std::set<char>> keys; // of the menus open, by depth
    std::set<int> ids;
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        const MenuEntry& e = kMenu[i];
        const int before = i > 0 ? kMenu[i - 1].depth : -1, after = i + 1 < kMenuCount ? kMenu[i + 1].depth : -1;
        SCOPED_TRACE(e.text ? e.text : "separator");
        EXPECT_TRUE(e.depth == 0 ? Opens(e) : e.depth == 1 || (e.depth == 2 && !Opens(e)));
        EXPECT_TRUE(e.depth <= before || (e.depth == before + 1 && (i == 0 || Opens(kMenu[i - 1]))));
        EXPECT_TRUE(!Opens(e) || after == e.depth + 1);
        if (!e.text) {
            EXPECT_TRUE(e.id == 0 && before >= e.depth && after == e.depth && kMenu[i - 1].text && kMenu[i + 1].text);
            continue;
        }
        EXPECT_TRUE(Opens(e) || ids.insert(e.id).second);
        const std::string text = e.text;
        const auto amp = text.find('&');
        ASSERT_TRUE(amp + 1 < text.size() && text.find('&', amp + 1) == std::string::npos);
        const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(text[amp + 1])));
        keys.erase(keys.upper_bound(e.depth), keys.end());
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(key)) && keys[e.depth].insert(key).second) << key;
    }
}

// Side by side on a transparent sheet, a pixel apart, pixels as they are.
QImage Sheet(const std::vector<QImage>& pictures)
{
    int width = 0, height = 0;
    for (const QImage& p : pictures) {
        width += p.width() + 1;
        height = std::max(height, p.height());
    }
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Qt::transparent);
    QPainter painter(&sheet);
    int x = 0;
    for (QImage p : pictures) {
        p.setDevicePixelRatio(1.0);
        painter.drawImage(x, 0, p);
        x += p.width() + 1;
    }
    return sheet;
}

// Each button runs a command of the menu and is its own command; other
// commands run themselves and have no picture. The buttons' pictures in
// table order, 16 by 15, drawn on the pixel grid (at twice the size too:
// the Toolbar.AtTwiceTheScale run), pin every pixel of their drawing.
TEST(Toolbar, ButtonsRunTheirMenuTwinsAndTheirPictures)
{
    std::set<int> menu;
    for (std::size_t i = 0; i < kMenuCount; ++i) menu.insert(kMenu[i].id);
    std::vector<QImage> pictures;
    for (std::size_t i = 0; i < kToolbarButtonCount; ++i) {
        const ToolbarButton& b = kToolbarButtons[i];
        SCOPED_TRACE(b.id);
        EXPECT_EQ(MenuTwinOf(b.id), b.id == 0 ? 0 : b.menuTwin);
        if (b.id == 0) continue;
        EXPECT_TRUE(menu.count(b.menuTwin) == 1 && menu.count(b.id) == 0);
        const QPixmap pixmap = ToolbarPixmap(b.id);
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(16, 15));
        pictures.push_back(pixmap.toImage());
    }
    const int ratio = static_cast<int>(qGuiApp->devicePixelRatio());
    test::ExpectGoldenImage(ratio == 1 ? "resources_toolbar.png" : "resources_toolbar_x2.png", Sheet(pictures));
    EXPECT_EQ(MenuTwinOf(kCmdExit), kCmdExit);
    for (int id : {int{kCmdComPort}, int{kCmdExit}, 0}) EXPECT_TRUE(ToolbarPixmap(id).isNull()) << id;
}

// Drawn (not scaled) at every size of the icon theme's folders: the sheet
// from 16 to 256 pixels pins the rose, north in red at the top; the
// desktop entry, the metainfo and the icons find each other by the
// desktop id.
TEST(Icons, AppIconAtEverySizeNamedByTheDesktopId)
{
    const QIcon icon = AppIcon();
    std::vector<QImage> sizes;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        sizes.push_back(icon.pixmap(QSize(size, size), 1.0).toImage());
        EXPECT_EQ(QImage(QStringLiteral(TOLVANE_ICON_DIR "/%1x%1/apps/%2.png").arg(size).arg(kDesktopId)).size(),
                  QSize(size, size));
    }
    test::ExpectGoldenImage("resources_app_icon.png", Sheet(sizes));
    const QString id = QLatin1String(kDesktopId), dir = QStringLiteral(TOLVANE_DATA_DIR "/");
    QFile desktop(dir + id + ".desktop"), metainfo(dir + id + ".metainfo.xml");
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly) && metainfo.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll()), info = QString::fromUtf8(metainfo.readAll());
    EXPECT_TRUE(entry.contains("\nIcon=" + id + "\n") && entry.contains("\nExec=tolvane\n"));
    EXPECT_TRUE(info.contains("<launchable type=\"desktop-id\">" + id + ".desktop</launchable>"));
    EXPECT_TRUE(QFile::exists(dir + "icons/" + id + ".svg"));
}

} // namespace
} // namespace tolvane
