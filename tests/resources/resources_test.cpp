#include "resources/command_ids.h"
#include "resources/icons.h"
#include "resources/menu.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QRegularExpression>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsNull;
using ::testing::StrEq;

bool IsSeparator(const MenuEntry& e) { return e.text == nullptr; }
bool IsSubmenu(const MenuEntry& e) { return e.depth == 1 && e.text != nullptr && e.id == 0; }

const MenuEntry* FindCommand(int id)
{
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        if (kMenu[i].id == id)
            return &kMenu[i];
    }
    return nullptr;
}

TEST(MenuTable, TopLevelMenusInOrder)
{
    std::vector<std::string> menus;
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        if (kMenu[i].depth == 0)
            menus.emplace_back(kMenu[i].text);
    }
    EXPECT_THAT(menus, ElementsAre("&File", "&View", "&Compass", "C&ompensate", "&Help"));
}

TEST(MenuTable, RowsNestProperly)
{
    ASSERT_GT(kMenuCount, 0u);
    EXPECT_EQ(kMenu[0].depth, 0);
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        const MenuEntry& e = kMenu[i];
        SCOPED_TRACE(i);
        ASSERT_GE(e.depth, 0);
        ASSERT_LE(e.depth, 2);
        if (e.depth == 0) {
            EXPECT_NE(e.text, nullptr);
            EXPECT_EQ(e.id, 0);
            EXPECT_EQ(e.prompt, nullptr);
            // No empty menus.
            ASSERT_LT(i + 1, kMenuCount);
            EXPECT_EQ(kMenu[i + 1].depth, 1);
        }
        if (e.depth == 2) {
            // A submenu item follows its submenu row or a sibling.
            const MenuEntry& before = kMenu[i - 1];
            EXPECT_TRUE(IsSubmenu(before) || before.depth == 2);
        }
        if (IsSubmenu(e)) {
            ASSERT_LT(i + 1, kMenuCount);
            EXPECT_EQ(kMenu[i + 1].depth, 2);
        }
        if (e.depth >= 1 && !IsSeparator(e) && !IsSubmenu(e)) {
            EXPECT_NE(e.id, 0) << e.text;
        }
    }
}

TEST(MenuTable, SeparatorsOnlyBetweenItems)
{
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        const MenuEntry& e = kMenu[i];
        if (!IsSeparator(e))
            continue;
        SCOPED_TRACE(i);
        EXPECT_GE(e.depth, 1);
        EXPECT_EQ(e.id, 0);
        EXPECT_EQ(e.prompt, nullptr);
        ASSERT_GT(i, 0u);
        ASSERT_LT(i + 1, kMenuCount);
        // Not the first or last row of its menu, and never doubled.
        EXPECT_GE(kMenu[i - 1].depth, e.depth);
        EXPECT_FALSE(IsSeparator(kMenu[i - 1]));
        EXPECT_EQ(kMenu[i + 1].depth, e.depth);
        EXPECT_FALSE(IsSeparator(kMenu[i + 1]));
    }
}

TEST(MenuTable, CommandsAppearOnce)
{
    std::set<int> seen;
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        if (kMenu[i].id != 0) {
            EXPECT_TRUE(seen.insert(kMenu[i].id).second) << kMenu[i].id;
        }
    }
    // The toolbar has identifiers of its own.
    for (std::size_t i = 0; i < kToolbarButtonCount; ++i) {
        if (kToolbarButtons[i] != 0) {
            EXPECT_EQ(seen.count(kToolbarButtons[i]), 0u) << kToolbarButtons[i];
        }
    }
}

// Every item can be reached from the keyboard: one accelerator, distinct
// among the items of the same menu.
TEST(MenuTable, AcceleratorsAreDistinctWithinEachMenu)
{
    // The open menus' accelerators, by depth; a new menu at a depth clears
    // the deeper levels.
    std::map<int, std::set<char>> open;
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        const MenuEntry& e = kMenu[i];
        if (IsSeparator(e))
            continue;
        const std::string text = e.text;
        SCOPED_TRACE(text);
        const auto amp = text.find('&');
        ASSERT_NE(amp, std::string::npos);
        ASSERT_EQ(text.find('&', amp + 1), std::string::npos);
        ASSERT_LT(amp + 1, text.size());
        const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(text[amp + 1])));
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(key)));
        for (auto it = open.begin(); it != open.end();) {
            it = it->first > e.depth ? open.erase(it) : std::next(it);
        }
        EXPECT_TRUE(open[e.depth].insert(key).second) << "duplicate &" << key;
    }
}

TEST(MenuTable, Prompts)
{
    const std::map<int, const char*> prompts = {
        {kCmdNavConsole, "Graphic display of azimuth, pitch, and roll"},
        {kCmdCompensateRevert, "Restores factory calibration."},
        {kCmdCompensateStart, "Start vehicle magnetic anomaly correction routine."},
        {kCmdCompensateAbort, "Abort the vehicla magnetic compensation routine."},
        {kCmdCompensateStatus, "Gets vehicle calibration status."},
        {kCmdExit, "Quit the application"},
        {kCmdAbout, "Display program information, version number and copyright"},
        {kCmdToolbar, "Show or hide the toolbar"},
        {kCmdStatusBar, "Show or hide the status bar"},
    };
    for (const auto& [id, prompt] : prompts) {
        const MenuEntry* e = FindCommand(id);
        ASSERT_NE(e, nullptr) << id;
        EXPECT_THAT(e->prompt, StrEq(prompt)) << id;
    }
    for (std::size_t i = 0; i < kMenuCount; ++i) {
        if (kMenu[i].id != 0 && prompts.count(kMenu[i].id) == 0) {
            EXPECT_THAT(kMenu[i].prompt, IsNull()) << kMenu[i].id;
        }
    }
}

// The commands of the submenu with the given text, in order.
std::vector<int> SubmenuItems(const std::string& text)
{
    std::size_t i = 0;
    while (i < kMenuCount && !(IsSubmenu(kMenu[i]) && kMenu[i].text == text))
        ++i;
    std::vector<int> items;
    if (i == kMenuCount)
        return items;
    for (++i; i < kMenuCount && kMenu[i].depth == 2; ++i)
        items.push_back(kMenu[i].id);
    return items;
}

TEST(MenuTable, Submenus)
{
    EXPECT_THAT(SubmenuItems("&Log File"), ElementsAre(kCmdLogOpen, kCmdLogClose, kCmdLogBump));
    EXPECT_THAT(SubmenuItems("&Baud Rate"),
                ElementsAre(kCmdBaud4800, kCmdBaud9600, kCmdBaud19200, kCmdBaud38400));
}

TEST(Toolbar, ButtonsInOrder)
{
    const std::vector<int> buttons(kToolbarButtons, kToolbarButtons + kToolbarButtonCount);
    EXPECT_THAT(buttons, ElementsAre(32783, 0, 32841, 0, 32829, 32834, 0, 32812, 0, 32828));
}

TEST(Toolbar, EveryButtonHasItsOwnPicture)
{
    std::vector<QImage> pictures;
    for (std::size_t i = 0; i < kToolbarButtonCount; ++i) {
        const int id = kToolbarButtons[i];
        if (id == 0)
            continue;
        SCOPED_TRACE(id);
        const QPixmap pixmap = ToolbarPixmap(id);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(16, 15));
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) == 255;
        }
        // Something is drawn, and it does not fill the whole cell.
        EXPECT_GT(opaque, image.width() * image.height() / 5);
        EXPECT_LT(opaque, image.width() * image.height());
        for (const QImage& other : pictures)
            EXPECT_NE(image, other);
        pictures.push_back(image);
    }
}

TEST(Toolbar, NoPictureForMenuOnlyCommands)
{
    EXPECT_TRUE(ToolbarPixmap(kCmdComPort).isNull());
    EXPECT_TRUE(ToolbarPixmap(kCmdExit).isNull());
    EXPECT_TRUE(ToolbarPixmap(0).isNull());
}

TEST(StatusBar, IndicatorPanes)
{
    ASSERT_EQ(kIndicatorPaneCount, 3u);
    EXPECT_EQ(kIndicatorPanes[0].id, kPaneLogging);
    EXPECT_STREQ(kIndicatorPanes[0].text, "Not logging");
    EXPECT_EQ(kIndicatorPanes[0].width, 165);
    EXPECT_EQ(kIndicatorPanes[1].id, kPaneVersion);
    EXPECT_STREQ(kIndicatorPanes[1].text, "No version information available");
    EXPECT_EQ(kIndicatorPanes[1].width, 250);
    EXPECT_EQ(kIndicatorPanes[2].id, kPaneComPort);
    EXPECT_STREQ(kIndicatorPanes[2].text, "No COM Port Open");
    EXPECT_EQ(kIndicatorPanes[2].width, 0);
}

bool IsRed(QRgb c) { return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60; }

// Round, opaque in the middle, with north at the top in red.
TEST(AppIcon, ComesInEverySizeWithNorthUp)
{
    const QIcon icon = AppIcon();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QImage image =
            icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
        // Points on the arms a little off their axes, in a 256 pixel square.
        auto at = [&](int x, int y) {
            return image.pixel(size / 2 + x * size / 256, size / 2 + y * size / 256);
        };
        EXPECT_TRUE(IsRed(at(-8, -60)));
        EXPECT_FALSE(IsRed(at(-8, 60)));
        EXPECT_FALSE(IsRed(at(60, -8)));
        EXPECT_FALSE(IsRed(at(-60, -8)));
    }
}

TEST(AppIcon, RenderedForTheIconTheme)
{
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(TOLVANE_ICON_DIR "/%1x%1/apps/%2.png").arg(size).arg(kDesktopId);
        QImage image;
        ASSERT_TRUE(image.load(file)) << file.toStdString();
        EXPECT_EQ(image.size(), QSize(size, size));
    }
}

QString ReadDataFile(const QString& name)
{
    QFile file(QStringLiteral(TOLVANE_DATA_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The desktop entry, the metainfo and the icons find each other by name.
TEST(DesktopFiles, NamedByTheDesktopId)
{
    const QString id = QLatin1String(kDesktopId);
    const QString desktop = ReadDataFile(id + QStringLiteral(".desktop"));
    ASSERT_FALSE(desktop.isEmpty());
    EXPECT_TRUE(desktop.contains(QRegularExpression(QStringLiteral("^Icon=%1$").arg(id),
                                                    QRegularExpression::MultilineOption)));
    EXPECT_TRUE(desktop.contains(QRegularExpression(QStringLiteral("^Exec=tolvane$"),
                                                    QRegularExpression::MultilineOption)));

    const QString metainfo = ReadDataFile(id + QStringLiteral(".metainfo.xml"));
    ASSERT_FALSE(metainfo.isEmpty());
    EXPECT_TRUE(metainfo.contains(QStringLiteral("<id>%1</id>").arg(id)));
    EXPECT_TRUE(metainfo.contains(
        QStringLiteral("<launchable type=\"desktop-id\">%1.desktop</launchable>").arg(id)));

    EXPECT_TRUE(QFile::exists(QStringLiteral(TOLVANE_DATA_DIR "/icons/") + id + QStringLiteral(".svg")));
}

} // namespace
} // namespace tolvane
