#include "resources/icons.h"

#include "resources/command_ids.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tolvane {
namespace {

const QColor kInk(0x2b, 0x2f, 0x36);
const QColor kPaper(0xfd, 0xfd, 0xfb);
const QColor kTextLine(0x7a, 0x85, 0x94);
const QColor kMetalLight(0xd4, 0xdb, 0xe4);
const QColor kMetalDark(0x93, 0xa0, 0xb0);
const QColor kBlue(0x2f, 0x6d, 0xb5);
const QColor kRed(0xd2, 0x3c, 0x2c);
const QColor kGreen(0x2e, 0x9a, 0x3e);
const QColor kGold(0xf0, 0xc8, 0x5a);

// A one-pixel pen along the centres of the border pixels of the cell
// rectangle x..x+w-1, y..y+h-1, so antialiased outlines stay sharp.
QRectF Outline(int x, int y, int w, int h)
{
    return QRectF(x + 0.5, y + 0.5, w - 1, h - 1);
}

void SetInkPen(QPainter& p)
{
    QPen pen(kInk, 1.0);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
}

// A page with a folded corner, its text lines, in the cells from x to x+w-1.
void DrawDocument(QPainter& p, int x, int w)
{
    const qreal l = x + 0.5;
    const qreal r = x + w - 0.5;
    const qreal fold = 3.0;
    const QPolygonF page{{l, 0.5}, {r - fold, 0.5}, {r, 0.5 + fold}, {r, 14.5}, {l, 14.5}};
    SetInkPen(p);
    p.setBrush(kPaper);
    p.drawPolygon(page);
    p.setBrush(kMetalLight);
    p.drawPolygon(QPolygonF{{r - fold, 0.5}, {r - fold, 0.5 + fold}, {r, 0.5 + fold}});

    // Lines of uneven length read as text rather than as a grid.
    const int lengths[] = {w - 4, w - 6, w - 4, w - 7};
    int y = 6;
    for (int length : lengths) {
        p.fillRect(QRect(x + 2, y, length, 1), kTextLine);
        y += 2;
    }
}

// A nine-pin serial connector seen from the front.
void DrawSerialConnector(QPainter& p)
{
    SetInkPen(p);
    QLinearGradient shell(0, 2, 0, 13);
    shell.setColorAt(0, kMetalLight);
    shell.setColorAt(1, kMetalDark);
    p.setBrush(shell);
    p.drawPolygon(QPolygonF{{0.5, 2.5}, {14.5, 2.5}, {12.5, 12.5}, {2.5, 12.5}});

    p.setBrush(kInk);
    p.drawPolygon(QPolygonF{{2.5, 4.5}, {12.5, 4.5}, {11.5, 10.5}, {3.5, 10.5}});

    for (int i = 0; i < 5; ++i)
        p.fillRect(QRect(3 + 2 * i, 6, 1, 1), kGold);
    for (int i = 0; i < 4; ++i)
        p.fillRect(QRect(4 + 2 * i, 8, 1, 1), kGold);
}

// Pixel art rows: '#' is ink, 'o' metal, anything else stays clear.
void DrawPixelArt(QPainter& p, const char* const rows[], int count)
{
    QLinearGradient metal(0, 0, 15, 15);
    metal.setColorAt(0, kMetalLight);
    metal.setColorAt(1, kMetalDark);
    for (int y = 0; y < count; ++y) {
        for (int x = 0; rows[y][x] != '\0'; ++x) {
            if (rows[y][x] == '#')
                p.fillRect(QRect(x, y, 1, 1), kInk);
            else if (rows[y][x] == 'o')
                p.fillRect(QRect(x, y, 1, 1), metal);
        }
    }
}

void DrawGear(QPainter& p)
{
    // A smooth gear turns to mush at 16 pixels; there it is drawn by hand.
    if (p.device()->devicePixelRatio() < 2) {
        static const char* const rows[] = {
            "......###......",
            ".##..##o##..##.",
            ".#o##ooooo##o#.",
            ".##ooooooooo##.",
            "..#ooooooooo#..",
            ".#oooo###oooo#.",
            "##ooo#...#ooo##",
            "#oooo#...#oooo#",
            "##ooo#...#ooo##",
            ".#oooo###oooo#.",
            "..#ooooooooo#..",
            ".##ooooooooo##.",
            ".#o##ooooo##o#.",
            ".##..##o##..##.",
            "......###......",
        };
        DrawPixelArt(p, rows, static_cast<int>(std::size(rows)));
        return;
    }

    const QPointF centre(7.5, 7.5);
    QPainterPath body;
    body.addEllipse(centre, 5.0, 5.0);
    const int teeth = 8;
    for (int i = 0; i < teeth; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-1.4, -7.2, 2.8, 3.0));
        QTransform t;
        t.translate(centre.x(), centre.y());
        t.rotate(i * 360.0 / teeth + 22.5);
        body = body.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(centre, 2.0, 2.0);
    body = body.subtracted(hole);

    SetInkPen(p);
    QLinearGradient metal(0, 0, 15, 15);
    metal.setColorAt(0, kMetalLight);
    metal.setColorAt(1, kMetalDark);
    p.setBrush(metal);
    p.drawPath(body.simplified());
}

void DrawDocumentWithPlus(QPainter& p)
{
    DrawDocument(p, 1, 10);

    // The plus sits on an ink border so it stands out over the page.
    const QRect horizontal(9, 10, 6, 2);
    const QRect vertical(11, 8, 2, 6);
    p.fillRect(horizontal.adjusted(-1, -1, 1, 1), kInk);
    p.fillRect(vertical.adjusted(-1, -1, 1, 1), kInk);
    p.fillRect(horizontal, kGreen);
    p.fillRect(vertical, kGreen);
}

// A recording to play: the page with a play triangle on an ink border.
void DrawDocumentWithPlay(QPainter& p)
{
    DrawDocument(p, 1, 10);
    SetInkPen(p);
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF{{8.5, 6.5}, {15.5, 10.5}, {8.5, 14.5}});
}

// Ticks and needle are whole pixels: at 16 pixels a smooth needle blurs.
void DrawDial(QPainter& p)
{
    SetInkPen(p);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(7.5, 7.5), 6.0, 6.0);

    p.fillRect(QRect(7, 3, 1, 2), kInk);
    p.fillRect(QRect(7, 11, 1, 2), kInk);
    p.fillRect(QRect(3, 7, 2, 1), kInk);
    p.fillRect(QRect(11, 7, 2, 1), kInk);

    for (int i = 1; i <= 3; ++i) {
        p.fillRect(QRect(7 + i, 7 - i, 1, 1), kRed);
        p.fillRect(QRect(7 + i, 8 - i, 1, 1), kRed);
    }
    p.fillRect(QRect(6, 8, 1, 1), kInk);
    p.fillRect(QRect(5, 9, 1, 1), kInk);
    p.fillRect(QRect(7, 7, 1, 1), kInk);
}

// A small window with a caption bar and label/value lines.
void DrawPanel(QPainter& p)
{
    SetInkPen(p);
    p.setBrush(kPaper);
    p.drawRect(Outline(0, 1, 15, 13));
    p.fillRect(QRect(1, 2, 13, 3), kBlue);
    for (int row = 0; row < 3; ++row) {
        const int y = 7 + 2 * row;
        p.fillRect(QRect(3, y, 4, 1), kTextLine);
        p.fillRect(QRect(8, y, 4 - row % 2, 1), kInk);
    }
}

// A chart on paper: a stepping blue trace above, green and red below,
// each a pixel wide on whole cells.
void DrawStripChart(QPainter& p)
{
    SetInkPen(p);
    p.setBrush(kPaper);
    p.drawRect(Outline(0, 1, 16, 14));
    const int heading[] = {6, 5, 4, 4, 3, 3, 4, 5, 6, 6, 5, 4, 4};
    const int pitch[] = {10, 10, 9, 9, 9, 10, 10, 11, 11, 11, 10, 10, 9};
    const int roll[] = {12, 12, 12, 11, 11, 12, 12, 12, 13, 12, 12, 11, 11};
    for (int x = 0; x < 13; ++x) {
        p.fillRect(QRect(2 + x, heading[x], 1, 1), kBlue);
        p.fillRect(QRect(2 + x, pitch[x], 1, 1), kGreen);
        p.fillRect(QRect(2 + x, roll[x], 1, 1), kRed);
    }
}

// Draws the rose in a square of side s at the origin; small sizes leave
// out the details that would only blur.
void DrawCompassRose(QPainter& p, int s)
{
    const qreal unit = s / 256.0;
    p.save();
    p.translate(s / 2.0, s / 2.0);
    p.scale(unit, unit);

    const QColor navy(0x1f, 0x3a, 0x5f);
    const QColor cream(0xee, 0xe9, 0xdc);
    const QColor slate(0x3a, 0x4a, 0x5e);
    const QColor white(0xff, 0xff, 0xff);
    const QColor redLight(0xd9, 0x3a, 0x2f);
    const QColor redDark(0x9e, 0x1f, 0x1b);
    const QColor greyLight(0xa9, 0xb6, 0xc6);
    const QColor greyDark(0x5d, 0x6f, 0x86);

    // Below 32 pixels the ring is kept at least 1.5 pixels wide.
    const qreal ring = std::max(14.0, 1.5 / unit);
    p.setPen(Qt::NoPen);
    p.setBrush(navy);
    p.drawEllipse(QPointF(0, 0), 120.0, 120.0);
    p.setBrush(cream);
    p.drawEllipse(QPointF(0, 0), 120.0 - ring, 120.0 - ring);

    if (s >= 48) {
        QPen tick(navy, 4.0);
        tick.setCapStyle(Qt::FlatCap);
        p.setPen(tick);
        for (int i = 0; i < 32; ++i) {
            const qreal length = i % 4 == 0 ? 14.0 : 7.0;
            p.drawLine(QPointF(0, -(106.0 - length)), QPointF(0, -106.0));
            p.rotate(360.0 / 32);
        }

        // Outlines part the light arms from the face where there are
        // pixels enough to show them.
        QPen edge(navy, 2.0);
        edge.setJoinStyle(Qt::RoundJoin);
        p.setPen(edge);
    }

    // One arm of the star, lit from the left: a light and a dark half.
    auto arm = [&p](qreal angle, qreal length, qreal halfWidth, const QColor& light,
                    const QColor& dark) {
        p.save();
        p.rotate(angle);
        p.setBrush(light);
        p.drawPolygon(QPolygonF{{0, 0}, {0, -length}, {-halfWidth, -halfWidth}});
        p.setBrush(dark);
        p.drawPolygon(QPolygonF{{0, 0}, {0, -length}, {halfWidth, -halfWidth}});
        p.restore();
    };

    if (s >= 32) {
        for (int i = 0; i < 4; ++i)
            arm(45.0 + 90.0 * i, 72.0, 16.0, greyLight, greyDark);
    }
    arm(0.0, 98.0, 24.0, redLight, redDark);
    for (int i = 1; i < 4; ++i)
        arm(90.0 * i, 98.0, 24.0, white, slate);

    if (s >= 24) {
        p.setPen(Qt::NoPen);
        p.setBrush(navy);
        p.drawEllipse(QPointF(0, 0), 11.0, 11.0);
        p.setBrush(cream);
        p.drawEllipse(QPointF(0, 0), 4.5, 4.5);
    }
    p.restore();
}

} // namespace

QPixmap ToolbarPixmap(int commandId)
{
    void (*draw)(QPainter&) = nullptr;
    switch (commandId) {
    case kCmdComPortToolbar: draw = DrawSerialConnector; break;
    case kCmdInitializeToolbar: draw = DrawGear; break;
    case kCmdLogOpenToolbar: draw = [](QPainter& p) { DrawDocument(p, 3, 10); }; break;
    case kCmdLogBumpToolbar: draw = DrawDocumentWithPlus; break;
    case kCmdOpenCaptureToolbar: draw = DrawDocumentWithPlay; break;
    case kCmdNavConsoleToolbar: draw = DrawDial; break;
    case kCmdOrientationPlotToolbar: draw = DrawStripChart; break;
    case kCmdStatusViewToolbar: draw = DrawPanel; break;
    default: return QPixmap();
    }

    // Drawn at a whole multiple of the screen's ratio so the pixel grid
    // the pictures are designed on stays sharp.
    const qreal screenRatio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const int scale = std::max(1, static_cast<int>(std::ceil(screenRatio)));
    QPixmap pixmap(16 * scale, 15 * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return pixmap;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        DrawCompassRose(painter, size);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tolvane
