#include "views/orientation_panel.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "views/captioned_child.h"
#include "views/child_placement.h"
#include "views/message_view.h"

namespace tolvane {
namespace {

DeviceMessage Orientation(std::int16_t roll, std::int16_t pitch, std::uint16_t azimuth, std::uint16_t type = 0x70)
{
    DeviceMessage m;
    m.type = type;
    m.length = 6;
    const std::uint16_t fields[] = {static_cast<std::uint16_t>(roll), static_cast<std::uint16_t>(pitch), azimuth};
    for (int i = 0; i < 3; ++i) {
        m.payload[2 * i] = static_cast<std::uint8_t>(fields[i] & 0xFF);
        m.payload[2 * i + 1] = static_cast<std::uint8_t>(fields[i] >> 8);
    }
    return m;
}

// Paints what Qt has pending, now.
void Settle(QWidget* window)
{
    QCoreApplication::processEvents();
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &request);
}

// A user's drag from `from` (window coordinates); the window may move under the mouse.
void Drag(QWidget* w, QPoint from, QPoint delta)
{
    const QPoint start = w->mapToGlobal(from);
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = w->mapFromGlobal(start + delta * step / 4);
        ASSERT_FALSE(at.isNull()) << "QTest would take (0, 0) for the centre";
        QTest::mouseMove(w, at);
    }
    QTest::mouseRelease(w, Qt::LeftButton, {}, w->mapFromGlobal(start + delta));
}

bool Ink(const QImage& image, const QRect& area)
{
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                return true;
        }
    }
    return false;
}

struct PaintRecorder : QObject {
    explicit PaintRecorder(QWidget* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

// A view filling a 640 x 400 window, and the panel on it.
struct Frame {
    Frame()
    {
        view->SetDisplayFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
        window.resize(640, 400);
        view->setGeometry(0, 0, 640, 400);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    CaptionedChild* Window() const { return static_cast<CaptionedChild*>(panel.Window()); }
    QPoint Caption() const { return {Window()->width() / 2, Window()->ClientRect().top() / 2}; }
    // The client area as painted on screen (the backing store).
    QImage Client()
    {
        Settle(&window);
        const QImage all = window.screen()->grabWindow(window.winId()).toImage();
        return all.copy(Window()->ClientRect().translated(Window()->mapTo(&window, QPoint())))
            .convertToFormat(QImage::Format_RGB32);
    }
    QString Description() const
    {
        return QAccessible::queryAccessibleInterface(panel.Window())->text(QAccessible::Description);
    }
    void ExpectBottomLeft() const
    {
        ASSERT_NE(Window(), nullptr);
        EXPECT_EQ(Window()->geometry().bottomLeft(), QPoint(0, view->height() - 1));
        EXPECT_EQ(Window()->ClientRect().size(), QSize(27 * view->CharWidth(), 5 * view->LineHeight()));
    }

    QWidget window;
    MessageView* view = new MessageView(&window);
    OrientationPanel panel{view};
};

struct Reading {
    std::int16_t roll;
    std::int16_t pitch;
    std::uint16_t azimuth;
    const char* texts; // as a screen reader gets them
};

class Readings : public testing::TestWithParam<Reading> {};

TEST_P(Readings, AreShownToOneDecimal)
{
    const Reading& r = GetParam();
    Frame f;
    f.panel.Update(Orientation(r.roll, r.pitch, r.azimuth));
    EXPECT_EQ(f.panel.Azimuth(), r.azimuth * 0.0054931640625);
    ASSERT_TRUE(f.panel.Show());
    EXPECT_EQ(f.Description(), QString::fromLatin1(r.texts));
}

INSTANTIATE_TEST_SUITE_P(OrientationPanel, Readings,
                         testing::Values(Reading{0, 0, 0xFFFF, "Compass: Azim: 360.0 Pitch: 0.0 Roll: 0.0"},
                                         Reading{-32768, 0, 0, "Compass: Azim: 0.0 Pitch: 0.0 Roll: -180.0"},
                                         // 11.25 exactly: the C library rounds it down.
                                         Reading{0, 2048, 2048, "Compass: Azim: 11.2 Pitch: 11.2 Roll: 0.0"},
                                         Reading{-1, 32767, 49389, "Compass: Azim: 271.3 Pitch: 180.0 Roll: -0.0"},
                                         Reading{91, -91, 1, "Compass: Azim: 0.0 Pitch: -0.5 Roll: 0.5"}));

TEST(OrientationPanel, PaintsEachTextOnItsRow)
{
    // The widest values, also in a font whose texts run wider than its average
    // character width says: the panel is made wide enough for them.
    QFont spaced(QStringLiteral("DejaVu Sans Mono"), 10);
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 8);
    for (const QFont& font : {QFont(QStringLiteral("DejaVu Sans Mono"), 10), spaced}) {
        Frame f;
        f.view->SetDisplayFont(font);
        ASSERT_TRUE(f.panel.Show());
        f.panel.Update(Orientation(-32768, -32768, 0xFFFF));
        const QImage client = f.Client();
        const int cw = f.view->CharWidth();
        const int lh = f.view->LineHeight();
        const int h = lh / 2;
        const int w = client.width();
        EXPECT_FALSE(Ink(client, QRect(0, 0, w, h))) << "top margin";
        // "Compass:" from cw, the values from 5 cw (a pixel of slack for glyph sides).
        EXPECT_FALSE(Ink(client, QRect(0, h, cw - 1, lh)));
        EXPECT_TRUE(Ink(client, QRect(cw, h, 4 * cw, lh)));
        for (int row = 1; row <= 3; ++row) {
            EXPECT_FALSE(Ink(client, QRect(0, h + row * lh, 5 * cw - 1, lh))) << row;
            EXPECT_TRUE(Ink(client, QRect(5 * cw, h + row * lh, w, lh))) << row;
        }
        EXPECT_FALSE(Ink(client, QRect(0, h + 4 * lh, w, lh))) << "below the last row";
        EXPECT_FALSE(Ink(client, QRect(w - cw + 1, 0, cw, 5 * lh))) << "a text is cut";
    }
}

TEST(OrientationPanel, BlankUntilDataKeptWhileHiddenAndForgottenOnClear)
{
    Frame f;
    EXPECT_EQ(f.panel.Window(), nullptr);
    ASSERT_TRUE(f.panel.Show());
    EXPECT_EQ(f.Window()->parentWidget(), f.view);
    EXPECT_FALSE(Ink(f.Client(), QRect(0, 0, 1000, 1000)));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(f.Window())->text(QAccessible::Name), QStringLiteral("Status"));
    EXPECT_EQ(f.Description(), QString());
    f.panel.Hide();
    EXPECT_EQ(f.panel.Window(), nullptr);
    f.panel.Update(Orientation(10, 20, 30));
    ASSERT_TRUE(f.panel.Show());
    const QImage shown = f.Client();
    EXPECT_TRUE(Ink(shown, shown.rect()));
    EXPECT_TRUE(f.Description().contains(QStringLiteral("Azim: 0.2")));

    f.panel.Update(Orientation(10, 20, 0xFFFF)); // an open panel follows
    EXPECT_NE(f.Client(), shown);

    f.panel.Clear();
    EXPECT_FALSE(f.panel.HasData());
    EXPECT_EQ(f.Description(), QString());
    EXPECT_FALSE(Ink(f.Client(), shown.rect()));
    f.panel.Update(Orientation(1, 2, 3));
    EXPECT_TRUE(Ink(f.Client(), shown.rect()));
}

// While no port is open the values stay, dimmed under the reason.
TEST(OrientationPanel, StaleValuesAreDimmedUnderTheReason)
{
    Frame f;
    ASSERT_TRUE(f.panel.Show());
    f.panel.SetStale(QStringLiteral("No COM Port Open"));
    EXPECT_EQ(f.Description(), QStringLiteral("No COM Port Open"));
    f.panel.Update(Orientation(0, 0, 0xFFFF));
    f.panel.SetStale(QStringLiteral("COM1 Lost"));
    EXPECT_EQ(f.Description(), QStringLiteral("COM1 Lost Azim: 360.0 Pitch: 0.0 Roll: 0.0"));
    const auto dark = [](const QImage& image, const QRect& area) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 80) return true;
        return false;
    };
    const int lh = f.view->LineHeight();
    const QRect reasonRow(0, lh / 2, 1000, lh);
    const QRect valueRows(0, lh / 2 + lh, 1000, 3 * lh);
    EXPECT_TRUE(dark(f.Client(), reasonRow));
    EXPECT_FALSE(dark(f.Client(), valueRows));
    f.panel.SetStale(QString());
    EXPECT_EQ(f.Description(), QStringLiteral("Compass: Azim: 360.0 Pitch: 0.0 Roll: 0.0"));
    EXPECT_TRUE(dark(f.Client(), valueRows));
}

class OtherTypes : public testing::TestWithParam<std::uint16_t> {};

TEST_P(OtherTypes, ChangeNothing)
{
    Frame f;
    f.panel.Update(Orientation(5, 5, 5, GetParam()));
    EXPECT_FALSE(f.panel.HasData());
    f.panel.Update(Orientation(100, 200, 300));
    f.panel.Update(Orientation(-7, -8, 9, GetParam()));
    EXPECT_EQ(f.panel.Texts().join(QLatin1Char(' ')),
              QStringLiteral("Compass: Azim: 1.6 Pitch: 1.1 Roll: 0.5"));
}

INSTANTIATE_TEST_SUITE_P(OrientationPanel, OtherTypes, testing::Values(0x00, 0x20, 0x50, 0x71, 0x170));

TEST(OrientationPanel, CreatedInTheBottomLeftCornerSizedByTheFont)
{
    Frame f;
    ASSERT_TRUE(f.panel.Show());
    f.ExpectBottomLeft();
    ASSERT_TRUE(f.panel.Show()) << "already shown";
    EXPECT_EQ(f.view->findChildren<CaptionedChild*>().size(), 1);

    // An open panel follows the font, keeping its corner.
    const QSize before = f.Window()->size();
    f.view->SetDisplayFont(QFont(QStringLiteral("DejaVu Sans Mono"), 16));
    f.ExpectBottomLeft();
    EXPECT_GT(f.Window()->height(), before.height());
    f.panel.Hide();
    ASSERT_TRUE(f.panel.Show());
    f.ExpectBottomLeft();
}

TEST(OrientationPanel, KeepsItsCornerOrTheUsersAsTheViewIsResized)
{
    Frame f;
    ASSERT_TRUE(f.panel.Show());
    CaptionedChild* w = f.Window();
    f.view->resize(100, 50); // smaller than the panel: its caption shows
    EXPECT_EQ(w->pos(), QPoint(0, 0));
    f.view->resize(640, 400);
    f.ExpectBottomLeft();
    w->move(30, 30); // a move by the program leaves the corner as it was
    f.view->resize(600, 380);
    f.ExpectBottomLeft();

    Drag(w, f.Caption(), QPoint(300, -200)); // nearest the top-right corner now
    QRect g = w->geometry();
    f.view->resize(700, 450);
    EXPECT_EQ(w->geometry(), g.translated(100, 0));
    Drag(w, QPoint(w->width() - 1, w->height() / 2), QPoint(40, 0)); // as is a resize by the border
    g = w->geometry();
    f.view->resize(710, 450);
    EXPECT_EQ(w->geometry(), g.translated(10, 0));
}

TEST(OrientationPanel, DraggedByItsCaptionWithinTheViewAndBackToTheCornerWhenShownAgain)
{
    Frame f;
    ASSERT_TRUE(f.panel.Show());
    CaptionedChild* w = f.Window();
    const QPoint start = w->pos();
    Settle(&f.window);
    QSignalSpy changed(w, &CaptionedChild::geometryChanged);
    PaintRecorder recorder(f.view); // the view redraws whole, not only the strip uncovered
    Drag(w, f.Caption(), QPoint(50, -60));
    EXPECT_EQ(w->pos(), start + QPoint(50, -60));
    Settle(&f.window);
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(recorder.painted + w->geometry(), QRegion(f.view->rect()));
    Drag(w, f.Caption(), QPoint(5000, -5000));
    EXPECT_EQ(w->geometry().topRight(), QPoint(f.view->width() - 1, 0));
    Drag(w, f.Caption(), QPoint(-5000, 5000));
    EXPECT_EQ(w->geometry().bottomLeft(), QPoint(0, f.view->height() - 1));

    Drag(w, f.Caption(), QPoint(120, -150));
    f.panel.Hide();
    ASSERT_TRUE(f.panel.Show());
    f.ExpectBottomLeft();
}

TEST(OrientationPanel, NeverKeepsTheFocus)
{
    Frame f;
    auto* edit = new QLineEdit(&f.window);
    edit->show();
    QApplication::setActiveWindow(&f.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
    edit->setFocus();
    ASSERT_TRUE(f.panel.Show());
    QTest::mouseClick(f.Window(), Qt::LeftButton, {}, f.Window()->ClientRect().center());
    EXPECT_TRUE(edit->hasFocus());
    f.Window()->setFocus();
    EXPECT_TRUE(edit->hasFocus());
}

TEST(OrientationPanel, OutlivesAViewDestroyedFirst)
{
    Frame f;
    ASSERT_TRUE(f.panel.Show());
    delete f.view;
    EXPECT_FALSE(f.panel.Shown());
    f.panel.Hide();
    EXPECT_FALSE(f.panel.Show());
}

// The window class itself, as the Nav Console uses it too: a 200 x 120
// window at (100, 80) in a 400 x 300 child widget.
struct Host {
    explicit Host(bool resizable) : child(new Probe(QStringLiteral("Nav"), resizable, parent))
    {
        window.resize(500, 400);
        parent->setGeometry(20, 10, 400, 300);
        child->setGeometry(100, 80, 200, 120);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // Paints outside its client, which must not show.
    struct Probe : CaptionedChild {
        using CaptionedChild::CaptionedChild;
        void PaintClient(QPainter& painter, const QRect&) override { painter.fillRect(rect(), Qt::red); }
    };
    QWidget window;
    QWidget* parent = new QWidget(&window);
    CaptionedChild* child;
};

TEST(CaptionedChild, PaintsACaptionAndBorderAroundAClippedClient)
{
    Host host(true);
    const QImage image = host.child->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect client = host.child->ClientRect();
    EXPECT_EQ(image.pixel(client.center()), qRgb(255, 0, 0));
    EXPECT_NE(image.pixel(1, client.center().y()), qRgb(255, 0, 0)) << "border overpainted";
    const int y = client.top() / 2;
    const QRgb bar = image.pixel(client.right(), y);
    EXPECT_NE(bar, qRgb(255, 0, 0));
    EXPECT_NE(bar, qRgb(255, 255, 255));
    bool text = false;
    for (int x = client.left(); x < client.right(); ++x)
        text |= image.pixel(x, y) != bar;
    EXPECT_TRUE(text) << "no caption text";
}

struct BorderDrag {
    const char* name;
    QPoint press; // on the 200 x 120 window
    QPoint delta;
    QRect expected; // in the parent
    Qt::CursorShape cursor;
};

class BorderDragging : public testing::TestWithParam<BorderDrag> {};

TEST_P(BorderDragging, ResizesWithinTheParent)
{
    const BorderDrag& d = GetParam();
    Host host(true);
    QMouseEvent hover(QEvent::MouseMove, d.press, host.child->mapToGlobal(d.press), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(host.child, &hover);
    EXPECT_EQ(host.child->cursor().shape(), d.cursor);
    QSignalSpy changed(host.child, &CaptionedChild::geometryChanged);
    Drag(host.child, d.press, d.delta);
    EXPECT_EQ(host.child->geometry(), d.expected);
    EXPECT_GE(changed.count(), 1);

    Host fixed(false);
    Drag(fixed.child, d.press, d.delta);
    EXPECT_EQ(fixed.child->size(), QSize(200, 120)) << "not resizable";
}

INSTANTIATE_TEST_SUITE_P(
    CaptionedChild, BorderDragging,
    testing::Values(BorderDrag{"Right", {199, 60}, {40, 9}, {100, 80, 240, 120}, Qt::SizeHorCursor},
                    BorderDrag{"Left", {1, 60}, {-30, 5}, {70, 80, 230, 120}, Qt::SizeHorCursor},
                    BorderDrag{"Bottom", {100, 118}, {7, 25}, {100, 80, 200, 145}, Qt::SizeVerCursor},
                    BorderDrag{"Top", {100, 0}, {0, -30}, {100, 50, 200, 150}, Qt::SizeVerCursor},
                    BorderDrag{"BottomRight", {199, 119}, {30, 20}, {100, 80, 230, 140}, Qt::SizeFDiagCursor},
                    BorderDrag{"TopLeft", {1, 1}, {-10, -10}, {90, 70, 210, 130}, Qt::SizeFDiagCursor},
                    // A corner grip reaches along the edges it joins.
                    BorderDrag{"TopRightAlongTheTop", {192, 1}, {10, -10}, {100, 70, 210, 130}, Qt::SizeBDiagCursor},
                    BorderDrag{"BottomLeftAlongTheLeft", {1, 112}, {-10, 10}, {90, 80, 210, 130}, Qt::SizeBDiagCursor},
                    BorderDrag{"RightBeyondTheParent", {199, 60}, {1000, 0}, {100, 80, 300, 120}, Qt::SizeHorCursor},
                    BorderDrag{"CornerBeyondTheParent", {2, 119}, {-1000, 1000}, {0, 80, 300, 220}, Qt::SizeBDiagCursor},
                    BorderDrag{"TopBeyondTheParent", {100, 1}, {3, -1000}, {100, 0, 200, 200}, Qt::SizeVerCursor},
                    BorderDrag{"CaptionMoves", {100, 10}, {-1000, 20}, {0, 100, 200, 120}, Qt::ArrowCursor}),
    [](const testing::TestParamInfo<BorderDrag>& p) { return std::string(p.param.name); });

TEST(CaptionedChild, ShrinkingByTheBorderStopsShortOfTheCaption)
{
    Host host(true);
    Drag(host.child, QPoint(199, 60), QPoint(-1000, 0));
    Drag(host.child, QPoint(20, 1), QPoint(0, 1000));
    const QRect g = host.child->geometry();
    EXPECT_EQ(g.topLeft() + QPoint(0, g.height() - 1), QPoint(100, 199)) << "left and bottom edges stay";
    EXPECT_LT(g.width(), 200);
    EXPECT_LT(g.height(), 120);
    EXPECT_GE(g.width(), host.child->ClientRect().top()) << "too narrow to grab again";
    EXPECT_GT(host.child->ClientRect().height(), 0);
}

struct Placement {
    const char* name;
    QRect window; // where the user left it
    QSize parent;
    ChildAnchor anchor; // that holds it
    QSize newParent;
    QRect placed;
};

class Placing : public testing::TestWithParam<Placement> {};

TEST_P(Placing, KeepsTheOffsetFromTheNearestCornerAndStaysInside)
{
    const Placement& p = GetParam();
    const ChildAnchor anchor = NearestAnchor(p.window, p.parent);
    EXPECT_EQ(anchor.corner, p.anchor.corner);
    EXPECT_EQ(anchor.offset, p.anchor.offset);
    EXPECT_EQ(PlacedAt(p.anchor, p.window.size(), p.parent), KeptInside(p.window, QRect(QPoint(), p.parent)));
    EXPECT_EQ(PlacedAt(p.anchor, p.window.size(), p.newParent), p.placed);
}

INSTANTIATE_TEST_SUITE_P(
    CaptionedChild, Placing,
    testing::Values(
        Placement{"BottomLeftGrows", {0, 299, 224, 101}, {640, 400}, {Corner::kBottomLeft, {}},
                  {800, 600}, {0, 499, 224, 101}},
        Placement{"SmallerThanTheWindowShowsTheCaption", {0, 299, 224, 101}, {640, 400}, {Corner::kBottomLeft, {}},
                  {100, 50}, {0, 0, 224, 101}},
        Placement{"TopRight", {500, 0, 300, 200}, {800, 600}, {Corner::kTopRight, {}},
                  {1000, 700}, {700, 0, 300, 200}},
        Placement{"TopRightNarrower", {500, 0, 300, 200}, {800, 600}, {Corner::kTopRight, {}},
                  {250, 700}, {0, 0, 300, 200}},
        Placement{"BottomRight", {290, 230, 100, 50}, {400, 300}, {Corner::kBottomRight, {10, 20}},
                  {500, 250}, {390, 180, 100, 50}},
        Placement{"BottomRightTooNarrowForTheOffset", {290, 230, 100, 50}, {400, 300}, {Corner::kBottomRight, {10, 20}},
                  {105, 300}, {0, 230, 100, 50}},
        Placement{"TopLeft", {30, 40, 100, 50}, {400, 300}, {Corner::kTopLeft, {30, 40}},
                  {50, 60}, {0, 10, 100, 50}},
        Placement{"BottomLeft", {5, 200, 100, 50}, {400, 300}, {Corner::kBottomLeft, {5, 50}},
                  {200, 260}, {5, 160, 100, 50}},
        Placement{"CentredTakesTheTopLeft", {150, 125, 100, 50}, {400, 300}, {Corner::kTopLeft, {150, 125}},
                  {400, 300}, {150, 125, 100, 50}},
        Placement{"LargerThanItsParent", {0, 0, 500, 400}, {400, 300}, {Corner::kTopLeft, {}},
                  {600, 500}, {0, 0, 500, 400}}),
    [](const testing::TestParamInfo<Placement>& p) { return std::string(p.param.name); });

TEST(CaptionedChild, ProgramMovesAndParentShrinkingAreKeptInside)
{
    Host host(false);
    QSignalSpy changed(host.child, &CaptionedChild::geometryChanged);
    host.child->move(-50, 500);
    EXPECT_EQ(host.child->pos(), QPoint(0, 180));
    EXPECT_GE(changed.count(), 1);
    host.child->resize(250, 150); // growing past the bottom edge
    EXPECT_EQ(host.child->geometry(), QRect(0, 150, 250, 150));
    changed.clear();
    host.parent->resize(220, 200);
    EXPECT_EQ(host.child->geometry(), QRect(0, 50, 250, 150)) << "wider than the parent: its left part shows";
    EXPECT_GE(changed.count(), 1);
}

} // namespace
} // namespace tolvane
