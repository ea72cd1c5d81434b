// Draws the program's own pictures into the resources folder:
//   makeart <resources folder>
// Every picture is made from code here (wood from periodic noise, text in
// WenQuanYi Micro Hei) with fixed seeds, so a rerun gives the same files.

#include "Noise.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgRenderer>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The skin's colours, so the pictures sit well on its windows.
const QColor kCream(0xf6, 0xf1, 0xe4);
const QColor kPaper(0xfb, 0xf5, 0xe6);
const QColor kInkGreen(0x3a, 0x7d, 0x44);
const QColor kDeepGreen(0x2a, 0x5e, 0x33);
const QColor kLeafGreen(0x6a, 0xa8, 0x5a);
const QColor kInk(0x3b, 0x2a, 0x1a);
const QColor kSealRed(0xb0, 0x3a, 0x2e);

constexpr double kPi = 3.14159265358979323846;

QColor mix(const QColor& a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QColor scaled(const QColor& c, double factor)
{
    return QColor::fromRgbF(static_cast<float>(std::clamp(c.redF() * factor, 0.0, 1.0)),
                            static_cast<float>(std::clamp(c.greenF() * factor, 0.0, 1.0)),
                            static_cast<float>(std::clamp(c.blueF() * factor, 0.0, 1.0)));
}

QFont cjkFont(int pixelSize, bool bold = false)
{
    QFont font(u"WenQuanYi Micro Hei"_s);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

bool save(const QImage& image, const QString& path, const char* format = nullptr, int quality = -1)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, format, quality)) {
        std::fprintf(stderr, "makeart: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
    return true;
}

// Horizontal wood grain: wavy growth lines and fine fibres, periodic across
// the picture's width and height so it tiles.
QColor woodAt(const TileNoise& waves, const TileNoise& fibres, double x, double y, double lineSpacing,
              const QColor& light, const QColor& dark, double warp = 5.0)
{
    const double w = waves.at(x, y);
    const double t = y / lineSpacing + warp * w;
    const double ring = 0.5 + 0.5 * std::sin(2 * kPi * t);
    const double line = std::pow(ring, 9.0);
    const double fibre = fibres.at(x, y);
    return mix(light, dark, 0.2 + 0.36 * line + 0.45 * (fibre - 0.5) + 0.3 * (w - 0.5));
}

// --- the shelf tile -------------------------------------------------------

// 756 × 139: the back boards of a bookcase with one shelf board at the foot.
// It repeats in both directions, so the shadow cast by the board fades out at
// the top of the tile below, and the board joints fall on whole-board widths.
QImage shelfTile()
{
    constexpr int W = 756;
    constexpr int H = 139;
    constexpr int boardTop = 112; // top face of the shelf board
    constexpr int edgeTop = 119;  // its front edge
    constexpr int edgeBottom = 134;
    constexpr int boardWidth = W / 2;

    const QColor backLight(0xc3, 0x93, 0x63);
    const QColor backDark(0x8e, 0x5f, 0x3a);
    const QColor frontLight(0xd4, 0xa5, 0x70);
    const QColor frontDark(0xa0, 0x6c, 0x40);

    const TileNoise backWaves[2] = {TileNoise(11, W, H, 3, 2, 3), TileNoise(23, W, H, 3, 2, 3)};
    const TileNoise backFibres(37, W, H, 12, 90, 2);
    const TileNoise frontWaves(41, W, H, 3, 1, 3);
    const TileNoise frontFibres(53, W, H, 14, 60, 2);

    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            QColor c;
            if (y < boardTop) {
                const int board = x / boardWidth;
                c = woodAt(backWaves[board], backFibres, x, y, 10.0, backLight, backDark, 3.2);
                const int inBoard = x % boardWidth;
                if (inBoard == 0)
                    c = scaled(c, 0.62); // the joint between two back boards
                else if (inBoard == 1)
                    c = scaled(c, 1.10);
                else if (inBoard == boardWidth - 1)
                    c = scaled(c, 0.88);
                // The shelf board above casts a soft shadow onto the back boards.
                const double shade = std::min(1.0, 0.58 + 0.42 * std::pow(y / 14.0, 0.8));
                c = scaled(c, shade);
                // A little darker just above the board, where books stand.
                if (y >= boardTop - 6)
                    c = scaled(c, 0.92 + 0.08 * (boardTop - y) / 6.0);
            } else if (y < edgeTop) {
                // Top face of the board, seen slightly from above: lit.
                c = woodAt(frontWaves, frontFibres, x, y * 2.0, 14.0, frontLight, frontDark);
                c = scaled(c, 1.10 - 0.03 * (y - boardTop));
                if (y == boardTop)
                    c = scaled(c, 0.80);
            } else if (y <= edgeBottom) {
                c = woodAt(frontWaves, frontFibres, x, y, 5.0, frontLight, frontDark);
                if (y == edgeTop)
                    c = mix(c, QColor(0xf0, 0xd2, 0xa4), 0.55); // rounded front edge catches the light
                else if (y == edgeTop + 1)
                    c = mix(c, QColor(0xf0, 0xd2, 0xa4), 0.25);
                else if (y >= edgeBottom - 2)
                    c = scaled(c, 0.85 - 0.08 * (y - (edgeBottom - 2)));
            } else {
                // Underside of the board in its own shadow.
                const QColor under(0x4a, 0x30, 0x1c);
                c = mix(under, QColor(0x2e, 0x1d, 0x11), (y - edgeBottom) / 4.0);
            }
            image.setPixel(x, y, c.rgb());
        }
    }
    return image;
}

// --- strips ---------------------------------------------------------------

// 17 × 1000: a stalk of bamboo, shaded as a cylinder, with nodes at uneven steps.
QImage leftStrip()
{
    constexpr int W = 17;
    constexpr int H = 1000;
    const QColor bambooLight(0xa9, 0xb8, 0x74);
    const QColor bambooDark(0x5e, 0x74, 0x3c);
    const TileNoise fibres(61, W, H, 17, 6, 2);
    const TileNoise tone(67, W, H, 1, 8, 2);

    QList<int> nodes;
    QRandomGenerator random(71);
    for (int y = 40 + random.bounded(30); y < H; y += 120 + random.bounded(50))
        nodes.append(y);

    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const double across = (x + 0.5) / W;
            // Light from the upper left: the bright band sits left of centre.
            const double round = std::sin(kPi * across);
            const double lit = 0.55 * round + 0.45 * std::exp(-std::pow((across - 0.36) / 0.16, 2.0));
            QColor c = mix(bambooDark, bambooLight, lit + 0.25 * (fibres.at(x, y) - 0.5) + 0.2 * (tone.at(x, y) - 0.5));
            for (int node : nodes) {
                const int d = y - node;
                if (d == 0)
                    c = scaled(c, 0.55);
                else if (d == 1 || d == -1)
                    c = scaled(c, 0.78);
                else if (d == 2 || d == -3)
                    c = mix(c, QColor(0xdc, 0xe2, 0xb0), 0.35); // the ring swells and catches the light
                else if (d == 3 || d == -2)
                    c = mix(c, QColor(0xdc, 0xe2, 0xb0), 0.2);
            }
            image.setPixel(x, y, c.rgb());
        }
    }
    return image;
}

// 1600 × 25: a pale wooden lintel with a faint fret band and a dark lower edge.
QImage topStrip()
{
    constexpr int W = 1600;
    constexpr int H = 25;
    const QColor light(0xe8, 0xd6, 0xb4);
    const QColor dark(0xcc, 0xb0, 0x84);
    const TileNoise waves(83, W, H, 16, 1, 3);
    const TileNoise fibres(89, W, H, 40, 12, 2);

    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            QColor c = woodAt(waves, fibres, x, y, 7.0, light, dark);
            if (y == 0)
                c = mix(c, Qt::white, 0.35);
            else if (y == H - 3)
                c = mix(c, kInkGreen, 0.55);
            else if (y >= H - 2)
                c = scaled(c, 0.62);
            image.setPixel(x, y, c.rgb());
        }
    }

    // A key-fret (回纹) band, barely darker than the wood.
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    QColor fret = scaled(dark, 0.88);
    fret.setAlpha(120);
    p.setPen(QPen(fret, 1));
    constexpr int top = 6;
    constexpr int bottom = 17;
    for (int x = 6; x + 12 < W; x += 14) {
        QPolygon spiral;
        spiral << QPoint(x, bottom) << QPoint(x, top) << QPoint(x + 10, top) << QPoint(x + 10, bottom - 3)
               << QPoint(x + 3, bottom - 3) << QPoint(x + 3, top + 3) << QPoint(x + 7, top + 3)
               << QPoint(x + 7, bottom - 6);
        p.drawPolyline(spiral);
        p.drawLine(x, bottom, x + 14, bottom);
    }
    return image;
}

// 33 × 1000: an upright post of darker wood with vertical grain.
QImage sideStrip()
{
    constexpr int W = 33;
    constexpr int H = 1000;
    const QColor light(0xb0, 0x7c, 0x4c);
    const QColor dark(0x7a, 0x4e, 0x2c);
    const TileNoise waves(97, H, W, 6, 3, 3); // built on the transposed picture: grain runs down
    const TileNoise fibres(101, H, W, 30, 33, 2);

    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            QColor c = woodAt(waves, fibres, y, x, 6.0, light, dark);
            const double across = (x + 0.5) / W;
            c = scaled(c, 0.86 + 0.2 * std::sin(kPi * across));
            if (x == 0)
                c = scaled(c, 0.7);
            else if (x == 1)
                c = mix(c, QColor(0xe8, 0xc8, 0x98), 0.4);
            else if (x == W - 1)
                c = scaled(c, 0.62);
            else if (x == W - 2)
                c = scaled(c, 0.82);
            image.setPixel(x, y, c.rgb());
        }
    }
    return image;
}

// --- small drawings -------------------------------------------------------

// A closed book standing face on: green cloth cover, page block at the side
// and foot, a red ribbon and a little grain emblem. Drawn in a 32 × 38 box
// scaled by `s`.
void drawClosedBook(QPainter& p, double s)
{
    p.save();
    p.scale(s, s);
    // Page block, peeking out right and below.
    p.setPen(QPen(QColor(0x9c, 0x86, 0x5e), 0.6));
    p.setBrush(QColor(0xf4, 0xea, 0xd2));
    p.drawRoundedRect(QRectF(8.0, 5.0, 21.0, 29.0), 1.2, 1.2);
    p.setPen(QPen(QColor(0xcf, 0xbf, 0x9a), 0.4));
    for (double y = 9.0; y < 33.0; y += 1.6)
        p.drawLine(QPointF(27.4, y), QPointF(28.6, y));
    for (double x = 11.0; x < 28.0; x += 1.6)
        p.drawLine(QPointF(x, 32.4), QPointF(x, 33.6));
    // Ribbon.
    p.setPen(Qt::NoPen);
    p.setBrush(kSealRed);
    QPainterPath ribbon;
    ribbon.moveTo(19.0, 30.0);
    ribbon.lineTo(22.0, 30.0);
    ribbon.lineTo(22.0, 37.5);
    ribbon.lineTo(20.5, 36.0);
    ribbon.lineTo(19.0, 37.5);
    ribbon.closeSubpath();
    p.drawPath(ribbon);
    // Cover.
    QLinearGradient cloth(QPointF(3, 0), QPointF(27, 0));
    cloth.setColorAt(0.0, kDeepGreen);
    cloth.setColorAt(0.25, kInkGreen);
    cloth.setColorAt(1.0, QColor(0x33, 0x70, 0x3d));
    p.setBrush(cloth);
    p.setPen(QPen(QColor(0x1f, 0x45, 0x26), 0.7));
    p.drawRoundedRect(QRectF(3.0, 2.0, 24.0, 30.5), 1.6, 1.6);
    // Spine hinge.
    p.setPen(QPen(QColor(0x1f, 0x45, 0x26, 160), 0.8));
    p.drawLine(QPointF(6.2, 2.6), QPointF(6.2, 31.9));
    // Label with a grain ear.
    p.setPen(QPen(QColor(0xd8, 0xc0, 0x7a), 0.6));
    p.setBrush(QColor(0xf1, 0xe3, 0xbd));
    p.drawRoundedRect(QRectF(10.0, 7.0, 13.0, 10.0), 0.8, 0.8);
    p.setPen(QPen(kInkGreen, 0.9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16.5, 15.5), QPointF(16.5, 9.0));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xb8, 0x8a, 0x2e));
    for (int i = 0; i < 3; ++i) {
        p.drawEllipse(QPointF(15.2, 10.0 + 1.8 * i), 1.0, 0.75);
        p.drawEllipse(QPointF(17.8, 10.6 + 1.8 * i), 1.0, 0.75);
    }
    p.restore();
}

QImage sideIcon()
{
    constexpr int S = 8;
    QImage big(32 * S, 38 * S, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    // Soft shadow on the post.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(QRectF(5 * S, 4 * S, 25 * S, 31 * S), 2 * S, 2 * S);
    drawClosedBook(p, S);
    p.end();
    return big.scaled(32, 38, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// A stack of three books lying flat, spines to the viewer, on cream.
QImage loginDeco()
{
    constexpr int S = 8;
    constexpr int W = 49;
    constexpr int H = 40;
    QImage big(W * S, H * S, QImage::Format_RGB32);
    big.fill(kCream);
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(S, S);

    // Shadow on the table.
    QRadialGradient shadow(QPointF(24.5, 36.5), 22);
    shadow.setColorAt(0.0, QColor(0x6b, 0x55, 0x38, 90));
    shadow.setColorAt(1.0, QColor(0x6b, 0x55, 0x38, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QRectF(3, 33.5, 43, 5));

    struct Book
    {
        QRectF rect;
        QColor cloth;
    };
    const Book books[] = {
        {QRectF(5.0, 26.0, 39.0, 9.0), QColor(0x7a, 0x4a, 0x26)},
        {QRectF(8.0, 18.0, 35.0, 8.0), kInkGreen},
        {QRectF(6.0, 11.0, 33.0, 7.0), QColor(0x9a, 0x3b, 0x2f)},
    };
    for (const Book& b : books) {
        // Page edges show at the right end.
        p.setPen(QPen(QColor(0xb0, 0x9a, 0x70), 0.3));
        p.setBrush(QColor(0xf6, 0xec, 0xd4));
        p.drawRect(b.rect.adjusted(b.rect.width() - 4.0, 0.6, 0.0, -0.6));
        QLinearGradient spine(b.rect.topLeft(), b.rect.bottomLeft());
        spine.setColorAt(0.0, scaled(b.cloth, 1.25));
        spine.setColorAt(0.35, b.cloth);
        spine.setColorAt(1.0, scaled(b.cloth, 0.7));
        p.setPen(QPen(scaled(b.cloth, 0.55), 0.4));
        p.setBrush(spine);
        p.drawRoundedRect(b.rect.adjusted(0, 0, -3.4, 0), 1.2, 1.2);
        // Two gilt bands near each end of the spine.
        p.setPen(QPen(QColor(0xd9, 0xb8, 0x62), 0.5));
        const double x0 = b.rect.left() + 3.0;
        const double x1 = b.rect.right() - 7.5;
        for (double x : {x0, x0 + 1.2, x1, x1 + 1.2})
            p.drawLine(QPointF(x, b.rect.top() + 0.8), QPointF(x, b.rect.bottom() - 0.8));
    }
    // A sprig of green grain leaning on the top book.
    p.setPen(QPen(kDeepGreen, 0.7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath stem;
    stem.moveTo(33.0, 11.0);
    stem.cubicTo(34.0, 6.0, 37.0, 3.5, 41.5, 3.0);
    p.drawPath(stem);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8a, 0xa8, 0x45));
    const QPointF grains[] = {{35.0, 6.6}, {36.6, 4.8}, {38.5, 3.6}, {36.6, 7.4}, {38.4, 5.6}, {40.3, 4.4}};
    for (const QPointF& g : grains)
        p.drawEllipse(g, 1.0, 0.7);
    p.setBrush(kLeafGreen);
    QPainterPath leaf;
    leaf.moveTo(33.6, 9.0);
    leaf.cubicTo(30.0, 6.5, 28.0, 6.0, 25.5, 6.8);
    leaf.cubicTo(28.5, 8.5, 31.0, 9.6, 33.6, 9.0);
    p.drawPath(leaf);
    p.end();
    return big.scaled(W, H, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// --- banners --------------------------------------------------------------

// Cream paper with faint fibres and a slightly darker rim.
QImage paper(int w, int h, quint32 seed)
{
    const TileNoise fibres(seed, w, h, 24, 40, 2);
    const TileNoise mottle(seed + 1, w, h, 3, 3, 3);
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double dx = (x + 0.5) / w - 0.5;
            const double dy = (y + 0.5) / h - 0.5;
            const double rim = std::clamp(1.0 - 0.10 * std::pow(4.0 * (dx * dx + dy * dy), 1.5), 0.0, 1.0);
            QColor c = scaled(kPaper, rim * (0.985 + 0.03 * (fibres.at(x, y) - 0.5) + 0.03 * (mottle.at(x, y) - 0.5)));
            image.setPixel(x, y, c.rgb());
        }
    }
    return image;
}

void drawFrame(QPainter& p, int w, int h)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInkGreen, 1.6));
    p.drawRect(QRectF(4.5, 4.5, w - 9.0, h - 9.0));
    p.setPen(QPen(QColor(0x3a, 0x7d, 0x44, 150), 0.8));
    p.drawRect(QRectF(7.5, 7.5, w - 15.0, h - 15.0));
    // Small squares at the corners, as on a scroll mount.
    p.setPen(Qt::NoPen);
    p.setBrush(kInkGreen);
    for (QPointF c : {QPointF(6, 6), QPointF(w - 6, 6), QPointF(6, h - 6), QPointF(w - 6, h - 6)})
        p.drawRect(QRectF(c.x() - 2.5, c.y() - 2.5, 5, 5));
}

// A red seal with two characters stacked, the way a name seal is cut.
void drawSeal(QPainter& p, const QRectF& box, const QString& top, const QString& bottom)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kSealRed);
    p.drawRoundedRect(box, 2.0, 2.0);
    p.setPen(QPen(kPaper, 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(1.6, 1.6, -1.6, -1.6), 1.2, 1.2);
    p.setFont(cjkFont(static_cast<int>(box.height() * 0.36), true));
    p.setPen(kPaper);
    const QRectF upper(box.left(), box.top() + 1.5, box.width(), box.height() / 2 - 1.5);
    const QRectF lower(box.left(), box.center().y(), box.width(), box.height() / 2 - 1.5);
    p.drawText(upper, Qt::AlignCenter, top);
    p.drawText(lower, Qt::AlignCenter, bottom);
}

// A drooping ear of young grain (禾) on a curved stem with two long leaves.
void drawGrainStalk(QPainter& p, QPointF base, double scale)
{
    p.save();
    p.translate(base);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath stem;
    stem.moveTo(0, 0);
    stem.cubicTo(1, -30, 4, -55, 16, -70);
    p.setPen(QPen(kDeepGreen, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stem);

    // The ear: grains along a curve that bends over to the right.
    QPainterPath ear;
    ear.moveTo(16, -70);
    ear.cubicTo(26, -80, 38, -72, 42, -50);
    p.setPen(QPen(kDeepGreen, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(ear);
    p.setPen(QPen(QColor(0x5b, 0x7a, 0x2a), 0.6));
    for (int i = 1; i <= 9; ++i) {
        const double t = i / 10.0;
        const QPointF at = ear.pointAtPercent(t);
        const double angle = ear.angleAtPercent(t);
        for (int side : {-1, 1}) {
            p.save();
            p.translate(at);
            p.rotate(-angle + side * 35.0);
            p.setBrush(mix(QColor(0x9c, 0xb8, 0x4a), QColor(0xc9, 0xb0, 0x4e), t * 0.8));
            const double size = 4.2 - 1.6 * t;
            p.drawEllipse(QPointF(size * 0.9, 0), size, size * 0.5);
            p.restore();
        }
    }

    // Two leaves.
    p.setPen(Qt::NoPen);
    p.setBrush(kLeafGreen);
    QPainterPath leftLeaf;
    leftLeaf.moveTo(0.5, -22);
    leftLeaf.cubicTo(-10, -34, -20, -38, -30, -36);
    leftLeaf.cubicTo(-20, -31, -9, -25, 0.8, -16);
    leftLeaf.closeSubpath();
    p.drawPath(leftLeaf);
    p.setBrush(kInkGreen);
    QPainterPath rightLeaf;
    rightLeaf.moveTo(2.5, -38);
    rightLeaf.cubicTo(12, -44, 22, -44, 30, -38);
    rightLeaf.cubicTo(20, -39, 11, -36, 3.2, -31);
    rightLeaf.closeSubpath();
    p.drawPath(rightLeaf);
    p.restore();
}

void drawCentredText(QPainter& p, const QRectF& box, const QString& text, const QFont& font, const QColor& colour,
                     double letterSpacing = 0)
{
    QFont f = font;
    if (letterSpacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    p.setFont(f);
    p.setPen(colour);
    // Letter spacing adds room after the last character too; shift it back.
    p.drawText(box.translated(letterSpacing / 2, 0), Qt::AlignCenter, text);
}

QImage banner1()
{
    constexpr int W = 198;
    constexpr int H = 161;
    QImage image = paper(W, H, 131);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawFrame(p, W, H);
    drawGrainStalk(p, QPointF(40, H - 9.0), 1.0);
    drawCentredText(p, QRectF(78, 24, 110, 34), u"青禾书屋"_s, cjkFont(24, true), kDeepGreen, 1);
    p.setPen(QPen(QColor(0x3a, 0x7d, 0x44, 120), 0.8));
    p.drawLine(QPointF(92, 63), QPointF(174, 63));
    drawCentredText(p, QRectF(78, 70, 110, 22), u"读书使人充实"_s, cjkFont(14), kInk, 0.5);
    drawSeal(p, QRectF(152, 112, 24, 24), u"青"_s, u"禾"_s);
    p.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage banner2(const QString& iconSvg)
{
    constexpr int W = 198;
    constexpr int H = 161;
    QImage image = paper(W, H, 137);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawFrame(p, W, H);
    QSvgRenderer icon(iconSvg);
    icon.render(&p, QRectF(64, 14, 70, 70));
    drawCentredText(p, QRectF(10, 86, W - 20, 30), u"家庭图书管理"_s, cjkFont(21, true), kDeepGreen, 1.5);
    drawCentredText(p, QRectF(10, 118, W - 20, 22), u"好书常伴"_s, cjkFont(14), kInk, 4);
    p.setPen(QPen(QColor(0x3a, 0x7d, 0x44, 120), 0.8));
    p.drawLine(QPointF(40, 129), QPointF(66, 129));
    p.drawLine(QPointF(W - 66, 129), QPointF(W - 40, 129));
    p.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

// The skin's drop-down arrow, 10 × 6, drawn large and reduced.
QImage downArrow(const QColor& colour)
{
    constexpr int S = 8;
    QImage big(10 * S, 6 * S, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({QPointF(0.5 * S, 0.5 * S), QPointF(9.5 * S, 0.5 * S), QPointF(5.0 * S, 5.5 * S)}));
    p.end();
    return big.scaled(10, 6, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
}

QImage renderIcon(const QString& svgPath, int size)
{
    QSvgRenderer renderer(svgPath);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeart <resources folder>\n");
        return 2;
    }
    if (!QFontDatabase::families().contains(u"WenQuanYi Micro Hei"_s)) {
        std::fprintf(stderr, "makeart: the font \"WenQuanYi Micro Hei\" (fonts-wqy-microhei) is needed\n");
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString svg = out.filePath(u"icons/hicolor/scalable/apps/qinghe.svg"_s);
    if (!QSvgRenderer(svg).isValid()) {
        std::fprintf(stderr, "makeart: cannot read the icon %s\n", qPrintable(svg));
        return 1;
    }

    bool ok = true;
    ok &= save(shelfTile(), out.filePath(u"pictures/shug.png"_s));
    ok &= save(banner1(), out.filePath(u"pictures/banner1.png"_s));
    ok &= save(banner2(svg), out.filePath(u"pictures/banner2.png"_s));
    ok &= save(leftStrip(), out.filePath(u"pictures/leftstrip.jpg"_s), "JPG", 92);
    ok &= save(topStrip(), out.filePath(u"pictures/topstrip.png"_s));
    ok &= save(sideStrip(), out.filePath(u"pictures/sidestrip.png"_s));
    ok &= save(sideIcon(), out.filePath(u"pictures/sideicon.png"_s));
    ok &= save(loginDeco(), out.filePath(u"pictures/logindeco.jpg"_s), "JPG", 95);
    ok &= save(downArrow(kInkGreen), out.filePath(u"skin/arrow-down.png"_s));
    ok &= save(downArrow(QColor(0xa8, 0xa0, 0x8c)), out.filePath(u"skin/arrow-down-disabled.png"_s));
    for (int size : {48, 128, 256})
        ok &= save(renderIcon(svg, size), out.filePath(u"icons/hicolor/%1x%1/apps/qinghe.png"_s.arg(size)));
    return ok ? 0 : 1;
}
