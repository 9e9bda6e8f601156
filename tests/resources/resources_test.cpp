// The menu and toolbar tables as the frame reads them, the drawn icons and
// the desktop files that name them.
#include "resources/command_ids.h"
#include "resources/icons.h"
#include "resources/menu.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

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

// Each button runs a command of the menu and is its own command, drawn in
// a picture of its own that does not fill the 16 by 15 cell; other commands
// run themselves and have no picture.
TEST(Toolbar, ButtonsRunTheirMenuTwinsAndLookUnlike)
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
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) == 255;
        EXPECT_TRUE(opaque > image.width() * image.height() / 5 && opaque < image.width() * image.height()) << opaque;
        for (const QImage& other : pictures) EXPECT_NE(image, other);
        pictures.push_back(image);
    }
    EXPECT_EQ(MenuTwinOf(kCmdExit), kCmdExit);
    for (int id : {int{kCmdComPort}, int{kCmdExit}, 0}) EXPECT_TRUE(ToolbarPixmap(id).isNull()) << id;
}

bool IsRed(QRgb c) { return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60; }

// Drawn (not scaled) at every size of the icon theme's folders, round,
// opaque in the middle, north at the top in red; the desktop entry, the
// metainfo and the icons find each other by the desktop id.
TEST(Icons, AppIconAtEverySizeWithNorthUpNamedByTheDesktopId)
{
    const QIcon icon = AppIcon();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)) + qAlpha(image.pixel(size - 1, size - 1)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
        // Points on the arms a little off their axes, in a 256 pixel square.
        auto at = [&](int x, int y) { return image.pixel(size / 2 + x * size / 256, size / 2 + y * size / 256); };
        EXPECT_TRUE(IsRed(at(-8, -60)) && !IsRed(at(-8, 60)) && !IsRed(at(60, -8)) && !IsRed(at(-60, -8)));
        EXPECT_EQ(QImage(QStringLiteral(TOLVANE_ICON_DIR "/%1x%1/apps/%2.png").arg(size).arg(kDesktopId)).size(),
                  QSize(size, size));
    }
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
