// rovanta-draw-skin: draws the main window's bitmaps, the application icon and
// the help page's pictures, and writes them as PNG files under a resources
// folder:
//
//   rovanta-draw-skin <resources-dir>
//
// writes <dir>/skin/bmp129.png ... bmp137.png, <dir>/icons/rovanta-*.png,
// <dir>/help/melody.png and <dir>/help/option-*.png. Everything is drawn from
// fixed numbers and fixed fonts, so a run on the same machine always gives the
// same bytes. The help pictures are not drawn by hand: the mirrored notes come
// out of the same pipeline that Play and Save use (HelpPictures.cpp).

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QString>
#include <QStringList>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "tools/Drawing.h"
#include "tools/HelpPictures.h"

using namespace rovanta::drawing;

namespace {

// The panel grey of the background; every face fills its corners with it so
// the round and pill-shaped buttons blend into the window.
const QColor kPanel(216, 216, 212);

// The window draws button captions in this colour over the faces; the faces
// are kept light enough behind it (contrast of at least 4.5 : 1).
const QColor kCaptionGreen(0, 100, 0);

// ---------------------------------------------------------------------------
// Background (131): a flat panel with a three-pixel bevel, light at the top
// and left, dark at the bottom and right. Only its top-left part shows.

QImage DrawBackground()
{
    constexpr int kWidth = 574;
    constexpr int kHeight = 696;
    QImage image = Canvas(kWidth, kHeight, kPanel);
    const QColor light[3] = {QColor(255, 255, 255), QColor(241, 241, 238), QColor(230, 230, 226)};
    const QColor dark[3] = {QColor(92, 92, 88), QColor(140, 140, 136), QColor(182, 182, 178)};
    QPainter p(&image);
    for (int i = 0; i < 3; ++i) {
        // Light edges first; the dark ones then take the two far corners.
        p.fillRect(i, i, kWidth - 2 * i, 1, light[i]);
        p.fillRect(i, i, 1, kHeight - 2 * i, light[i]);
        p.fillRect(i, kHeight - 1 - i, kWidth - 2 * i, 1, dark[i]);
        p.fillRect(kWidth - 1 - i, i, 1, kHeight - 2 * i, dark[i]);
        // The bottom-left and top-right corners meet on the diagonal.
        p.fillRect(i, kHeight - 1 - i, 1, 1, light[i]);
        p.fillRect(kWidth - 1 - i, i, 1, 1, light[i]);
    }
    return image;
}

// ---------------------------------------------------------------------------
// Pill-shaped push and toggle faces (132, 133, 137), 115 x 32. They carry no
// text: the window writes the captions over them. A toggle that is on (137)
// has a light green inside and a lit lamp; off, it shows the raised push face.

enum class PillFace { Raised, Pushed, On };

QPainterPath Pill(const QRectF& r)
{
    QPainterPath path;
    const qreal radius = r.height() / 2;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// The lit lamp of a toggle that is on: a green bar under the caption, with a
// glow around it. Its body is dark enough against the off face's light
// bottom (contrast of at least 3 : 1) that on and off differ at a glance,
// and it stays below the rows the caption takes.
const QRectF kLamp(22, 23.5, 71, 5);

void DrawLamp(QPainter& p)
{
    p.setPen(Qt::NoPen);
    // The glow: a few widening rings, fainter outwards.
    for (int ring = 3; ring >= 1; --ring) {
        const qreal grow = ring * 0.9;
        p.setBrush(QColor(60, 200, 60, 40 - ring * 8));
        p.drawRoundedRect(kLamp.adjusted(-grow * 1.6, -grow * 0.6, grow * 1.6, grow * 0.6), 2.5 + grow, 2.5 + grow);
    }
    QLinearGradient body(0, kLamp.top(), 0, kLamp.bottom());
    body.setColorAt(0.0, QColor(0, 150, 40));
    body.setColorAt(0.5, QColor(0, 120, 30));
    body.setColorAt(1.0, QColor(0, 100, 25));
    p.setBrush(body);
    p.drawRoundedRect(kLamp, 1.75, 1.75);
    // A thin highlight along its top, as on a lit lens.
    p.setBrush(QColor(170, 255, 160, 200));
    p.drawRoundedRect(QRectF(kLamp.left() + 3, kLamp.top() + 0.4, kLamp.width() - 6, 0.9), 0.45, 0.45);
}

QImage DrawPill(PillFace face)
{
    constexpr int kWidth = 115;
    constexpr int kHeight = 32;
    QImage image = Canvas(kWidth, kHeight, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(0.5, 0.5, kWidth - 1.0, kHeight - 1.0);
    const QRectF inner = outer.adjusted(1.25, 1.25, -1.25, -1.25);
    const QRectF edge = outer.adjusted(2.5, 2.5, -2.5, -2.5);

    // Rim.
    QColor rim = face == PillFace::Raised ? QColor(112, 112, 108) : QColor(94, 94, 90);
    if (face == PillFace::On) rim = QColor(86, 104, 80);
    p.setPen(Qt::NoPen);
    p.setBrush(rim);
    p.drawPath(Pill(outer));

    // Face.
    QLinearGradient fill(0, inner.top(), 0, inner.bottom());
    switch (face) {
    case PillFace::Raised:
        fill.setColorAt(0.0, QColor(253, 253, 251));
        fill.setColorAt(0.5, QColor(236, 236, 233));
        fill.setColorAt(1.0, QColor(208, 208, 204));
        break;
    case PillFace::Pushed:
        fill.setColorAt(0.0, QColor(190, 190, 186));
        fill.setColorAt(0.4, QColor(208, 208, 204));
        fill.setColorAt(1.0, QColor(218, 218, 214));
        break;
    case PillFace::On:
        // Light enough at the top for the caption that starts there.
        fill.setColorAt(0.0, QColor(204, 222, 196));
        fill.setColorAt(0.4, QColor(212, 228, 204));
        fill.setColorAt(1.0, QColor(216, 232, 208));
        break;
    }
    p.setBrush(fill);
    p.drawPath(Pill(inner));

    // Light and shade along the inside of the rim: a raised face catches the
    // light at the top; a pushed-in one lies in the shadow of its upper rim.
    const bool raised = face == PillFace::Raised;
    QLinearGradient shine(0, edge.top() - 1, 0, edge.bottom() + 1);
    if (raised) {
        shine.setColorAt(0.0, QColor(255, 255, 255, 240));
        shine.setColorAt(0.45, QColor(255, 255, 255, 0));
        shine.setColorAt(0.6, QColor(0, 0, 0, 0));
        shine.setColorAt(1.0, QColor(0, 0, 0, 70));
    } else {
        // Lighter on a toggle that is on: the caption starts in its shadow
        // at the rounded left end.
        shine.setColorAt(0.0, QColor(0, 0, 0, face == PillFace::On ? 40 : 110));
        shine.setColorAt(0.45, QColor(0, 0, 0, 0));
        shine.setColorAt(0.7, QColor(255, 255, 255, 0));
        shine.setColorAt(1.0, QColor(255, 255, 255, 150));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(shine), raised ? 1.5 : 2.0));
    p.drawPath(Pill(edge));

    if (face == PillFace::On) DrawLamp(p);
    return image;
}

double Luminance(const QColor& c)
{
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

// The lowest contrast between the caption colour and the face where caption
// text can fall (the middle rows, between the rounded ends).
double CaptionContrast(const QImage& face)
{
    const double ink = Luminance(kCaptionGreen) + 0.05;
    double lowest = 21.0;
    for (int y = 9; y <= 23; ++y)
        for (int x = 10; x <= 100; ++x) lowest = std::min(lowest, (Luminance(face.pixelColor(x, y)) + 0.05) / ink);
    return lowest;
}

// ---------------------------------------------------------------------------
// The round Power button (129 pressed, label in blue; 130 normal, label in
// black), 60 x 60.

QImage DrawPower(bool pressed)
{
    constexpr int kSize = 60;
    QImage image = Canvas(kSize, kSize, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QPointF centre(kSize / 2.0, kSize / 2.0);

    // Dark outline, then the bevelled ring: lit from the top left when up,
    // from the bottom right when pressed in.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(96, 96, 92));
    p.drawEllipse(centre, 29.5, 29.5);
    QLinearGradient ring(8, 8, 52, 52);
    ring.setColorAt(0.0, pressed ? QColor(140, 140, 136) : QColor(255, 255, 255));
    ring.setColorAt(1.0, pressed ? QColor(246, 246, 244) : QColor(132, 132, 128));
    p.setBrush(ring);
    p.drawEllipse(centre, 28.5, 28.5);

    // A fine groove separates the ring from the face.
    p.setBrush(QColor(120, 120, 116));
    p.drawEllipse(centre, 24.5, 24.5);

    // Face: convex when up, dished and darker when pressed.
    QRadialGradient face(pressed ? QPointF(34, 36) : QPointF(24, 22), 34);
    if (pressed) {
        face.setColorAt(0.0, QColor(222, 222, 218));
        face.setColorAt(1.0, QColor(176, 176, 172));
    } else {
        face.setColorAt(0.0, QColor(255, 255, 255));
        face.setColorAt(1.0, QColor(206, 206, 202));
    }
    p.setBrush(face);
    p.drawEllipse(centre, 23.5, 23.5);
    if (pressed) {
        // Shadow of the upper rim falling into the dish.
        QLinearGradient shade(0, 6, 0, 30);
        shade.setColorAt(0.0, QColor(0, 0, 0, 90));
        shade.setColorAt(1.0, QColor(0, 0, 0, 0));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QBrush(shade), 2.5));
        p.drawEllipse(centre, 22.2, 22.2);
    }

    // Label: the power symbol over the word; it sinks a pixel when pressed.
    const QColor ink = pressed ? QColor(0, 48, 208) : QColor(0, 0, 0);
    const qreal shift = pressed ? 1.0 : 0.0;
    p.translate(shift, shift);
    QPen symbol(ink, 2.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(symbol);
    p.setBrush(Qt::NoBrush);
    const QRectF arc(30 - 6.5, 22 - 6.5, 13, 13);
    p.drawArc(arc, 128 * 16, 284 * 16);  // open at the top
    p.drawLine(QPointF(30, 13.5), QPointF(30, 21));
    p.setFont(Font(10, true));
    p.drawText(QRectF(8, 31, 44, 13), Qt::AlignCenter, QStringLiteral("Power"));
    return image;
}

// ---------------------------------------------------------------------------
// Application icon: an eighth note and its mirror image about a vertical axis,
// on a rounded tile. Drawn on a 128-unit grid and scaled; the smaller sizes get
// heavier strokes so they stay legible.

QPainterPath EighthNote(qreal stemWidth, qreal headScale, bool withFlag)
{
    constexpr qreal kHeadX = 32;
    constexpr qreal kHeadY = 88;
    constexpr qreal kStemTop = 26;
    // Head, tilted like an engraved note head.
    QPainterPath head;
    head.addEllipse(QPointF(0, 0), 13.5 * headScale, 9.5 * headScale);
    QPainterPath note = QTransform().translate(kHeadX, kHeadY).rotate(-22).map(head);
    // Stem on the right of the head.
    const qreal stem = kHeadX + 12.0 * headScale;
    QPainterPath stemBar;
    stemBar.addRect(QRectF(stem - stemWidth, kStemTop, stemWidth, kHeadY - 2 - kStemTop));
    note = note.united(stemBar);
    if (!withFlag) return note;
    // Flag curling down to the right; it stops short of the mirror axis.
    QPainterPath flag;
    flag.moveTo(stem - stemWidth, kStemTop);
    flag.lineTo(stem, kStemTop);
    flag.cubicTo(stem + 1, kStemTop + 12, stem + 16, kStemTop + 18, stem + 15, kStemTop + 34);
    flag.cubicTo(stem + 14.5, kStemTop + 39, stem + 12.5, kStemTop + 43, stem + 10, kStemTop + 46);
    flag.cubicTo(stem + 12, kStemTop + 34, stem + 6, kStemTop + 26, stem - stemWidth, kStemTop + 22);
    flag.closeSubpath();
    return note.united(flag);
}

QImage DrawIcon(int size)
{
    QImage image = Canvas(size, size, Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal scale = size / 128.0;
    p.scale(scale, scale);
    const qreal onePixel = 1.0 / scale;  // one device pixel in grid units

    // Tile.
    const qreal inset = size <= 16 ? 0.0 : 4.0;
    const QRectF tile(inset, inset, 128 - 2 * inset, 128 - 2 * inset);
    QLinearGradient tileFill(0, 0, 128, 128);
    tileFill.setColorAt(0.0, QColor(52, 72, 160));
    tileFill.setColorAt(1.0, QColor(22, 132, 150));
    p.setPen(Qt::NoPen);
    p.setBrush(tileFill);
    p.drawRoundedRect(tile, 24, 24);

    // Mirror axis.
    QPen axis(QColor(255, 255, 255, 150), 3.0);
    if (size > 32) {
        axis.setDashPattern({3.0, 2.0});
        axis.setCapStyle(Qt::FlatCap);
    } else {
        // Two whole pixel columns rather than one smeared over two.
        axis = QPen(QColor(255, 255, 255, 110), 2 * onePixel);
    }
    p.setPen(axis);
    p.drawLine(QPointF(64, 14), QPointF(64, 114));

    // The note and its reflection.
    // At 16 pixels a flag is only a smudge: two bigger stemmed heads say enough.
    const bool tiny = size <= 16;
    const QPainterPath note = EighthNote(std::max<qreal>(5.0, 1.3 * onePixel), tiny ? 1.4 : 1.0, !tiny);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(note);
    p.setBrush(QColor(255, 214, 120));
    p.drawPath(QTransform(-1, 0, 0, 1, 128, 0).map(note));
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    // Drawing needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: rovanta-draw-skin <resources-dir>\n");
        return 2;
    }
    const QDir root(args.at(1));
    for (const char* sub : {"skin", "icons", "help"}) {
        if (!root.mkpath(QString::fromLatin1(sub))) {
            std::fprintf(stderr, "rovanta-draw-skin: cannot create %s/%s\n", qPrintable(root.path()), sub);
            return 1;
        }
    }
    const auto path = [&root](const char* name) { return root.filePath(QString::fromLatin1(name)); };

    bool ok = true;
    ok = WriteOpaque(DrawPower(true), path("skin/bmp129.png")) && ok;
    ok = WriteOpaque(DrawPower(false), path("skin/bmp130.png")) && ok;
    ok = WriteOpaque(DrawBackground(), path("skin/bmp131.png")) && ok;
    const std::pair<PillFace, const char*> pills[] = {
        {PillFace::Pushed, "skin/bmp132.png"}, {PillFace::Raised, "skin/bmp133.png"}, {PillFace::On, "skin/bmp137.png"}};
    for (const auto& [face, name] : pills) {
        const QImage image = DrawPill(face);
        if (const double contrast = CaptionContrast(image); contrast < 4.5) {
            std::fprintf(stderr, "rovanta-draw-skin: captions would be hard to read on %s (contrast %.2f)\n", name,
                         contrast);
            ok = false;
        }
        ok = WriteOpaque(image, path(name)) && ok;
    }

    for (int size : {128, 48, 32, 16}) {
        const QString name = QStringLiteral("icons/rovanta-%1.png").arg(size);
        ok = Write(DrawIcon(size).convertToFormat(QImage::Format_ARGB32), root.filePath(name)) && ok;
    }

    ok = WriteHelpPictures(root) && ok;
    return ok ? 0 : 1;
}
