#include "views/orientation_panel.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "views/captioned_child.h"
#include "views/child_placement.h"
#include "views/message_view.h"
#include "support/golden_image.h"
#include "views_test_support.h"

namespace tolvane {
namespace {

using test::Drag;
using test::Ink;
using test::Settle;

Orientation At(std::int16_t roll, std::int16_t pitch, std::uint16_t azimuth)
{
    return {.roll = roll, .pitch = pitch, .azimuth = azimuth};
}

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
    QString Heard(QAccessible::Text text = QAccessible::Description) const
    {
        return QAccessible::queryAccessibleInterface(panel.Window())->text(text);
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

// The widest values, also in a font whose texts run wider than its average
// character width says (the panel is made wide enough for them), and dimmed
// under the reason while no port is open: "Compass:" from one character in,
// the values from five, a row each below half a line of margin.
TEST(OrientationPanel, PicturesOfItsRows)
{
    const QFont mono(QStringLiteral("DejaVu Sans Mono"), 10);
    QFont spaced = mono;
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 8);
    const struct {
        QFont font;
        const char* stale;
        const char* file;
    } pictures[] = {{mono, "", "views_panel_widest.png"},
                    {spaced, "", "views_panel_widest_spaced.png"},
                    {mono, "COM1 Lost", "views_panel_stale.png"}};
    for (const auto& p : pictures) {
        Frame f;
        f.view->SetDisplayFont(p.font);
        ASSERT_TRUE(f.panel.Show());
        f.panel.Update(At(-32768, -32768, 0xFFFF));
        f.panel.SetStale(QString::fromLatin1(p.stale));
        test::ExpectGoldenImage(p.file, f.Window()->grab().toImage());
    }
}

// Blank until the first orientation, which a screen reader hears to one
// decimal; kept while hidden, forgotten on Clear. While no port is open the
// values stay under the reason (dimmed: PicturesOfItsRows).
TEST(OrientationPanel, BlankUntilDataKeptWhileHiddenStaleAndForgottenOnClear)
{
    const struct {
        std::int16_t roll, pitch;
        std::uint16_t azimuth;
        const char* heard;
    } rows[] = {{-32768, 0, 0, "Compass: Azim: 0.0 Pitch: 0.0 Roll: -180.0"},
                {0, 2048, 2048, "Compass: Azim: 11.2 Pitch: 11.2 Roll: 0.0"}, // 11.25 rounds down
                {91, -91, 1, "Compass: Azim: 0.0 Pitch: -0.5 Roll: 0.5"}};
    Frame f;
    EXPECT_EQ(f.panel.Window(), nullptr);
    ASSERT_TRUE(f.panel.Show());
    EXPECT_EQ(f.Window()->parentWidget(), f.view);
    EXPECT_FALSE(Ink(f.Client(), QRect(0, 0, 1000, 1000)));
    EXPECT_EQ(f.Heard(QAccessible::Name) + "|" + f.Heard(), QStringLiteral("Status|"));
    EXPECT_FALSE(f.panel.HasData());
    for (const auto& r : rows) {
        f.panel.Update(At(r.roll, r.pitch, r.azimuth));
        EXPECT_EQ(f.Heard(), QString::fromLatin1(r.heard)) << r.azimuth;
    }
    f.panel.Hide();
    EXPECT_EQ(f.panel.Window(), nullptr);
    f.panel.Update(At(10, 20, 30));
    ASSERT_TRUE(f.panel.Show());
    const QImage shown = f.Client();
    EXPECT_TRUE(Ink(shown, shown.rect()));
    EXPECT_TRUE(f.Heard().contains(QStringLiteral("Azim: 0.2")));
    f.panel.Update(At(10, 20, 0xFFFF)); // an open panel follows
    EXPECT_NE(f.Client(), shown);

    f.panel.Update(At(0, 0, 0xFFFF));
    f.panel.SetStale(QStringLiteral("COM1 Lost"));
    EXPECT_EQ(f.Heard(), QStringLiteral("COM1 Lost Azim: 360.0 Pitch: 0.0 Roll: 0.0"));
    f.panel.SetStale(QString());
    EXPECT_EQ(f.Heard(), QStringLiteral("Compass: Azim: 360.0 Pitch: 0.0 Roll: 0.0"));

    f.panel.Clear();
    EXPECT_FALSE(f.panel.HasData());
    EXPECT_EQ(f.Heard(), QString());
    EXPECT_FALSE(Ink(f.Client(), shown.rect()));
    f.panel.SetStale(QStringLiteral("No COM Port Open"));
    EXPECT_EQ(f.Heard(), QStringLiteral("No COM Port Open"));
}

// Made in the bottom-left corner, sized by the font, and back there when
// shown again; it keeps that corner as the view and the font change, or
// the corner the user dragged it nearest (the view redrawn whole).
TEST(OrientationPanel, KeepsItsCornerOrTheUsersAsTheViewIsResized)
{
    Frame f;
    ASSERT_TRUE(f.panel.Show());
    f.ExpectBottomLeft();
    ASSERT_TRUE(f.panel.Show()) << "already shown";
    EXPECT_EQ(f.view->findChildren<CaptionedChild*>().size(), 1);
    CaptionedChild* w = f.Window();
    w->move(30, 30); // a move by the program leaves the corner as it was
    f.view->resize(600, 380);
    f.ExpectBottomLeft();

    Settle(&f.window);
    const QPoint start = w->pos();
    test::PaintRecorder recorder(f.view); // the view redraws whole, not only the strip uncovered
    Drag(w, f.Caption(), QPoint(300, -200)); // nearest the top-right corner now
    EXPECT_EQ(w->pos(), start + QPoint(300, -200));
    Settle(&f.window);
    EXPECT_EQ(recorder.painted + w->geometry(), QRegion(f.view->rect()));
    QRect g = w->geometry();
    f.view->resize(700, 450);
    EXPECT_EQ(w->geometry(), g.translated(100, 0));
    Drag(w, QPoint(w->width() - 1, w->height() / 2), QPoint(40, 0)); // as is a resize by the border
    g = w->geometry();
    f.view->resize(710, 450);
    EXPECT_EQ(w->geometry(), g.translated(10, 0));

    f.panel.Hide();
    ASSERT_TRUE(f.panel.Show());
    f.ExpectBottomLeft();
    f.view->SetDisplayFont(QFont(QStringLiteral("DejaVu Sans Mono"), 16));
    f.ExpectBottomLeft();
}

// Neither the view nor the panel keeps the focus: they hand it back, or
// let it go when there is nothing to hand it to.
TEST(OrientationPanel, NeitherItNorTheViewKeepsTheFocusAndItOutlivesTheView)
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
    f.view->setFocus();
    EXPECT_TRUE(edit->hasFocus());
    edit->hide();
    f.view->setFocus();
    EXPECT_FALSE(f.view->hasFocus());

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

// The caption (taller than a line of text) and the border around a client
// that paints beyond its bounds in red, clipped.
TEST(CaptionedChild, PaintsACaptionAndBorderAroundAClippedClient)
{
    Host host(true);
    test::ExpectGoldenImage("views_captioned_child.png", host.child->grab().toImage());
}

// Hovering shows the border's cursor; dragging it resizes within the
// parent, a window that is not resizable only by its caption.
TEST(CaptionedChild, BorderDraggingResizesWithinTheParent)
{
    const struct {
        const char* name;
        QPoint press, delta; // on the 200 x 120 window
        QRect expected;      // in the parent
        Qt::CursorShape cursor;
    } drags[] = {
        {"right", {199, 60}, {40, 9}, {100, 80, 240, 120}, Qt::SizeHorCursor},
        {"top", {100, 0}, {0, -30}, {100, 50, 200, 150}, Qt::SizeVerCursor},
        // A corner grip reaches along the edges it joins.
        {"bottom left along the left", {1, 112}, {-10, 10}, {90, 80, 210, 130}, Qt::SizeBDiagCursor},
        {"top right, as far along the top as reached", {188, 1}, {10, -10}, {100, 70, 210, 130}, Qt::SizeBDiagCursor},
        {"top left, as far along the left as it reaches", {1, 11}, {-10, -10}, {90, 70, 210, 130}, Qt::SizeFDiagCursor},
        {"corner beyond the parent", {2, 119}, {-1000, 1000}, {0, 80, 300, 220}, Qt::SizeBDiagCursor},
        {"top beyond the parent", {100, 1}, {3, -1000}, {100, 0, 200, 200}, Qt::SizeVerCursor},
        {"caption moves", {100, 10}, {-1000, 20}, {0, 100, 200, 120}, Qt::ArrowCursor},
    };
    for (const auto& d : drags) {
        SCOPED_TRACE(d.name);
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
    Host host(true); // the client's top row is not caption
    Drag(host.child, QPoint(100, host.child->ClientRect().top()), QPoint(30, 30));
    EXPECT_EQ(host.child->geometry(), QRect(100, 80, 200, 120));
    Host fixed(false); // without a border to resize by, the top row is caption
    Drag(fixed.child, QPoint(100, 0), QPoint(30, 30));
    EXPECT_EQ(fixed.child->geometry(), QRect(130, 110, 200, 120));
}

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

// The corner nearest to where the user left a window holds it at its
// offset as the parent changes size; it always stays inside.
TEST(CaptionedChild, PlacedFromTheNearestCornerAndInside)
{
    using enum Corner;
    const struct {
        const char* name;
        QRect window; // where the user left it
        QSize parent;
        ChildAnchor anchor; // that holds it
        QSize newParent;
        QRect placed;
    } rows[] = {
        {"bottom left grows", {0, 299, 224, 101}, {640, 400}, {kBottomLeft, {}}, {800, 600}, {0, 499, 224, 101}},
        {"caption shows", {0, 299, 224, 101}, {640, 400}, {kBottomLeft, {}}, {100, 50}, {0, 0, 224, 101}},
        {"top right", {500, 0, 300, 200}, {800, 600}, {kTopRight, {}}, {1000, 700}, {700, 0, 300, 200}},
        {"too narrow", {290, 230, 100, 50}, {400, 300}, {kBottomRight, {10, 20}}, {105, 300}, {0, 230, 100, 50}},
        {"bottom right", {290, 230, 100, 50}, {400, 300}, {kBottomRight, {10, 20}}, {500, 250}, {390, 180, 100, 50}},
        {"bottom left", {5, 200, 100, 50}, {400, 300}, {kBottomLeft, {5, 50}}, {200, 260}, {5, 160, 100, 50}},
        {"top left", {30, 40, 100, 50}, {400, 300}, {kTopLeft, {30, 40}}, {50, 60}, {0, 10, 100, 50}},
        {"centred: top left", {150, 125, 100, 50}, {400, 300}, {kTopLeft, {150, 125}}, {400, 300}, {150, 125, 100, 50}},
        {"larger than its parent", {0, 0, 500, 400}, {400, 300}, {kTopLeft, {}}, {600, 500}, {0, 0, 500, 400}},
    };
    for (const auto& p : rows) {
        EXPECT_EQ(NearestAnchor(p.window, p.parent), p.anchor) << p.name;
        EXPECT_EQ(PlacedAt(p.anchor, p.window.size(), p.parent), KeptInside(p.window, QRect(QPoint(), p.parent)))
            << p.name;
        EXPECT_EQ(PlacedAt(p.anchor, p.window.size(), p.newParent), p.placed) << p.name;
    }
}

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
