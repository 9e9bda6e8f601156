#include "views/orientation_panel.h"

#include <QAccessible>
#include <QApplication>
#include <QDebug>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>

#include "views/captioned_child.h"
#include "views/child_placement.h"
#include "views/message_view.h"
#include "support/golden.h"
#include "support/golden_image.h"
#include "views_test_support.h"

namespace tolvane {
namespace {

using test::Drag;
using test::Settle;

Orientation At(std::int16_t roll, std::int16_t pitch, std::uint16_t azimuth)
{
    return {.roll = roll, .pitch = pitch, .azimuth = azimuth};
}

// Qt's own text for a value: QRect(100,80 240x120), Qt::SizeHorCursor.
template <typename T> std::string Said(const T& value)
{
    QString text;
    QDebug(&text).nospace().noquote() << value;
    return text.toStdString();
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
    bool Blank()
    {
        const QImage client = Client();
        QImage white(client.size(), client.format());
        white.fill(Qt::white);
        return client == white;
    }
    QString Heard(QAccessible::Text text = QAccessible::Description) const
    {
        return QAccessible::queryAccessibleInterface(panel.Window())->text(text);
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

// What the panel shows and a screen reader hears at each step, in
// views_panel_states.txt: blank until the first orientation, heard to one
// decimal; kept while hidden, forgotten on Clear; while no port is open the
// values stay under the reason (dimmed: PicturesOfItsRows).
TEST(OrientationPanel, BlankUntilDataKeptWhileHiddenStaleAndForgottenOnClear)
{
    Frame f;
    std::ostringstream out;
    const auto state = [&f, &out](const char* step) {
        out << step << ": ";
        if (f.panel.Window() == nullptr)
            return void(out << "no window\n");
        out << (f.panel.HasData() ? "data, " : "no data, ") << (f.Blank() ? "blank" : "inked")
            << ", heard '" << f.Heard(QAccessible::Name).toStdString() << "' '" << f.Heard().toStdString() << "'\n";
    };
    state("before it is shown");
    ASSERT_TRUE(f.panel.Show());
    EXPECT_EQ(f.Window()->parentWidget(), f.view);
    state("shown");
    f.panel.Update(At(-32768, 0, 0));
    state("roll -32768, pitch 0, azimuth 0");
    f.panel.Update(At(0, 2048, 2048));
    state("roll 0, pitch 2048, azimuth 2048 (11.25 rounds down)");
    f.panel.Update(At(91, -91, 1));
    state("roll 91, pitch -91, azimuth 1");
    f.panel.Hide();
    state("hidden");
    f.panel.Update(At(10, 20, 30));
    ASSERT_TRUE(f.panel.Show());
    state("updated to roll 10, pitch 20, azimuth 30 while hidden, shown");
    const QImage shown = f.Client();
    f.panel.Update(At(10, 20, 0xFFFF));
    EXPECT_NE(f.Client(), shown) << "an open panel follows";
    f.panel.Update(At(0, 0, 0xFFFF));
    f.panel.SetStale(QStringLiteral("COM1 Lost"));
    state("roll 0, pitch 0, azimuth 65535, COM1 Lost");
    f.panel.SetStale(QString());
    state("the port open again");
    f.panel.Clear();
    state("cleared");
    f.panel.SetStale(QStringLiteral("No COM Port Open"));
    state("no port open");
    test::ExpectGolden("views_panel_states.txt", out.str());
}

// Where the panel lies after each step, in views_panel_places.txt: made
// in the bottom-left corner, its client 27 characters by 5 lines of the
// font, and back there when shown again; it keeps that corner as the view
// and the font change, or the corner the user dragged it nearest (the
// view redrawn whole).
TEST(OrientationPanel, KeepsItsCornerOrTheUsersAsTheViewIsResized)
{
    Frame f;
    std::ostringstream out;
    const auto at = [&f, &out](const char* step) {
        out << step << ": " << Said(f.Window()->geometry()) << " in " << Said(f.view->size()) << ", client "
            << Said(f.Window()->ClientRect().size()) << ", characters of " << f.view->CharWidth() << " by "
            << f.view->LineHeight() << "\n";
    };
    ASSERT_TRUE(f.panel.Show());
    at("shown");
    ASSERT_TRUE(f.panel.Show()) << "already shown";
    EXPECT_EQ(f.view->findChildren<CaptionedChild*>().size(), 1);
    CaptionedChild* w = f.Window();
    w->move(30, 30);
    f.view->resize(600, 380);
    at("moved by the program to (30,30), the view resized");
    Settle(&f.window);
    test::PaintRecorder recorder(f.view); // the view redraws whole, not only the strip uncovered
    Drag(w, f.Caption(), QPoint(300, -200));
    at("dragged by its caption by (300,-200), nearest the top right");
    Settle(&f.window);
    EXPECT_EQ(recorder.painted + w->geometry(), QRegion(f.view->rect()));
    f.view->resize(700, 450);
    at("the view resized");
    Drag(w, QPoint(w->width() - 1, w->height() / 2), QPoint(40, 0));
    at("its right border dragged by 40");
    f.view->resize(710, 450);
    at("the view resized");
    f.panel.Hide();
    ASSERT_TRUE(f.panel.Show());
    at("hidden and shown again");
    f.view->SetDisplayFont(QFont(QStringLiteral("DejaVu Sans Mono"), 16));
    at("in a font of 16");
    test::ExpectGolden("views_panel_places.txt", out.str());
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
        changed.clear();
    }
    // Paints outside its client, which must not show.
    struct Probe : CaptionedChild {
        using CaptionedChild::CaptionedChild;
        void PaintClient(QPainter& painter, const QRect&) override { painter.fillRect(rect(), Qt::red); }
    };
    QWidget window;
    QWidget* parent = new QWidget(&window);
    CaptionedChild* child;
    QSignalSpy changed{child, &CaptionedChild::geometryChanged};
};

// The caption (taller than a line of text) and the border around a client
// that paints beyond its bounds in red, clipped.
TEST(CaptionedChild, PaintsACaptionAndBorderAroundAClippedClient)
{
    Host host(true);
    test::ExpectGoldenImage("views_captioned_child.png", host.child->grab().toImage());
}

// What the user's drags, the program's moves and the parent's changes do
// to a window, in views_captioned_child.txt. It pins: the cursor hovering
// over each border and corner grip (a corner's grip reaching along the
// edges it joins) and the resize it drags, within the parent; the caption
// moving the window; one that is not resizable moved by its top row, never
// resized; the client's top row doing neither; shrinking stopping short of
// the caption (still wide enough to grab) with the left and bottom edges
// kept; the program's moves and a shrinking parent keeping it inside, its
// left part shown when wider; the corner nearest to where the user left a
// window holding it at its offset as the parent changes size.
TEST(CaptionedChild, DragsMovesAndPlacementTranscript)
{
    std::ostringstream out;
    const auto result = [](Host& h) {
        const std::string text = Said(h.child->geometry()) + (h.changed.isEmpty() ? "" : " signalled");
        h.changed.clear();
        return text;
    };
    const struct {
        const char* name;
        QPoint press, delta; // on the 200 x 120 window at (100, 80)
    } drags[] = {
        {"right", {199, 60}, {40, 9}},
        {"top", {100, 0}, {0, -30}},
        {"top down", {100, 0}, {30, 30}},
        {"bottom left along the left", {1, 112}, {-10, 10}},
        {"top right, as far along the top as reached", {188, 1}, {10, -10}},
        {"top left, as far along the left as it reaches", {1, 11}, {-10, -10}},
        {"corner beyond the parent", {2, 119}, {-1000, 1000}},
        {"top beyond the parent", {100, 1}, {3, -1000}},
        {"caption", {100, 10}, {-1000, 20}},
    };
    for (const auto& d : drags) {
        out << d.name << ", " << Said(d.press) << " by " << Said(d.delta) << ":";
        for (const bool resizable : {true, false}) {
            Host host(resizable);
            const QPoint global = host.child->mapToGlobal(d.press);
            QMouseEvent hover(QEvent::MouseMove, d.press, global, Qt::NoButton, Qt::NoButton, {});
            QApplication::sendEvent(host.child, &hover);
            Drag(host.child, d.press, d.delta);
            out << (resizable ? " " : "; not resizable: ") << Said(host.child->cursor().shape()) << ", "
                << result(host);
        }
        out << "\n";
    }
    Host host(true);
    Drag(host.child, QPoint(100, host.child->ClientRect().top()), QPoint(30, 30));
    out << "the client's top row by (30,30): " << result(host) << "\n";
    Drag(host.child, QPoint(199, 60), QPoint(-1000, 0));
    Drag(host.child, QPoint(20, 1), QPoint(0, 1000));
    out << "shrunk by the right border, then the top: " << result(host) << ", client " << Said(host.child->ClientRect())
        << "\n";

    Host fixed(false);
    fixed.child->move(-50, 500);
    out << "moved by the program to (-50,500): " << result(fixed) << "\n";
    fixed.child->resize(250, 150);
    out << "grown past the bottom to 250x150: " << result(fixed) << "\n";
    fixed.parent->resize(220, 200);
    out << "the parent shrunk to 220x200: " << result(fixed) << "\n";

    const struct {
        const char* name;
        QRect window; // where the user left it
        QSize parent, newParent;
    } placements[] = {
        {"bottom left grows", {0, 299, 224, 101}, {640, 400}, {800, 600}},
        {"caption shows", {0, 299, 224, 101}, {640, 400}, {100, 50}},
        {"top right", {500, 0, 300, 200}, {800, 600}, {1000, 700}},
        {"too narrow", {290, 230, 100, 50}, {400, 300}, {105, 300}},
        {"bottom right", {290, 230, 100, 50}, {400, 300}, {500, 250}},
        {"bottom left", {5, 200, 100, 50}, {400, 300}, {200, 260}},
        {"top left", {30, 40, 100, 50}, {400, 300}, {50, 60}},
        {"centred", {150, 125, 100, 50}, {400, 300}, {400, 300}},
        {"larger than its parent", {0, 0, 500, 400}, {400, 300}, {600, 500}},
    };
    for (const auto& p : placements) {
        const ChildAnchor anchor = NearestAnchor(p.window, p.parent);
        EXPECT_EQ(PlacedAt(anchor, p.window.size(), p.parent), KeptInside(p.window, QRect(QPoint(), p.parent)))
            << p.name;
        out << p.name << ": " << Said(p.window) << " in " << Said(p.parent) << " held by the "
            << std::array{"top left", "top right", "bottom left", "bottom right"}[static_cast<int>(anchor.corner)]
            << " corner at " << Said(anchor.offset) << ", in " << Said(p.newParent) << " placed at "
            << Said(PlacedAt(anchor, p.window.size(), p.newParent)) << "\n";
    }
    test::ExpectGolden("views_captioned_child.txt", out.str());
}

} // namespace
} // namespace tolvane
