// Draws the form's background picture, background.png: 1024 x 768 pixels,
// 24-bit colour, over a pale paper tone.
//
// The form draws the picture centred (from its top-left corner where the
// form is smaller) and lays its controls over it by fixed margins: the port
// choice and the exit button 36 pixels above the page sheet, the sheet 169
// pixels from the top and 104 from the sides, its tab strip transparent
// beside the tabs. So at 1024 x 768 the picture's top 133 rows, its sides
// and its bottom rows show; at 1280 x 1024 only its top 62 rows, between the
// port choice (left) and the exit button (right); at 1920 x 1080 only its
// top 34 rows. Everything drawn keeps to those places, whole:
//  - a title ribbon in rows 0 to 27, between x 200 and 824, visible at
//    every size and clear of every control;
//  - rows 28 to 63 plain, where the sheet's top edge falls at the larger sizes;
//  - the subtitle in rows 64 to 126 and the shelves of book spines at the
//    sides from row 190 down, shown at 1024 x 768 only and hidden whole under
//    the sheet at the larger sizes;
//  - the bottom rows plain: the form's notes show there at 1024 x 768.
//
//   cmake --build build --target tagging_background
//   QT_QPA_PLATFORM=offscreen build/bin/tagging_background tagging/resources/background.png
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
// The title ribbon.
constexpr int kRibbonLeft = 200;
constexpr int kRibbonRight = kWidth - kRibbonLeft;
constexpr int kRibbonHeight = 28;

const QColor kInk(0x1d, 0x3b, 0x53);
const QColor kTeal(0x1f, 0x6f, 0x78);
const QColor kGold(0xd9, 0xa4, 0x41);
const QColor kPaper(0xf7, 0xf4, 0xec);

// White at the top, where the picture meets the form's white margins at the
// larger sizes, then paper.
void drawPaper(QPainter& p)
{
    QLinearGradient paper(0, 0, 0, kHeight);
    paper.setColorAt(0.0, Qt::white);
    paper.setColorAt(0.12, Qt::white);
    paper.setColorAt(0.35, kPaper);
    paper.setColorAt(1.0, QColor(0xee, 0xf2, 0xef));
    p.fillRect(0, 0, kWidth, kHeight, paper);
}

// An open book with reader waves rising from it: the program's sign, at a third of its size.
void drawSign(QPainter& p, QPointF at)
{
    p.save();
    p.translate(at);
    p.scale(0.36, 0.36);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255, 40));
    QPainterPath left;
    left.moveTo(0, 10);
    left.cubicTo(-14, 2, -30, 2, -40, 8);
    left.lineTo(-40, 40);
    left.cubicTo(-30, 34, -14, 34, 0, 42);
    left.closeSubpath();
    p.drawPath(left);
    p.drawPath(QTransform::fromScale(-1, 1).map(left));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const qreal r = 10.0 * i;
        p.setPen(QPen(QColor(255, 255, 255, 255 - 55 * i), 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(-r, -r + 4, 2 * r, 2 * r), 40 * 16, 100 * 16);
    }
    p.restore();
}

// The ribbon hanging from the top edge, with the sign and the title.
void drawRibbon(QPainter& p)
{
    const QRectF ribbon(kRibbonLeft, -8, kRibbonRight - kRibbonLeft, kRibbonHeight + 8);
    QLinearGradient band(ribbon.topLeft(), ribbon.topRight());
    band.setColorAt(0.0, kInk);
    band.setColorAt(1.0, kTeal);
    QPainterPath shape;
    shape.addRoundedRect(ribbon.adjusted(0, 0, 0, -2), 8, 8);
    p.fillPath(shape, band);
    // A thin gold rule along its lower edge.
    p.setPen(QPen(kGold, 2));
    p.drawLine(QPointF(kRibbonLeft + 8, kRibbonHeight - 1), QPointF(kRibbonRight - 8, kRibbonHeight - 1));

    QFont title(QStringLiteral("WenQuanYi Micro Hei"));
    title.setPixelSize(18);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(title);
    p.setPen(Qt::white);
    const QRectF text(kRibbonLeft, 0, kRibbonRight - kRibbonLeft, kRibbonHeight - 3);
    const QString caption = QStringLiteral("图书馆 RFID 标签加工");
    p.drawText(text, Qt::AlignCenter, caption);
    const qreal half = QFontMetricsF(title).horizontalAdvance(caption) / 2;
    drawSign(p, QPointF(kWidth / 2.0 - half - 28, 9));
    drawSign(p, QPointF(kWidth / 2.0 + half + 28, 9));
}

// The subtitle and a rule of reader waves under it.
void drawSubtitle(QPainter& p)
{
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(14);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    p.setFont(sub);
    p.setPen(kTeal);
    p.drawText(QRectF(0, 70, kWidth, 22), Qt::AlignCenter, QStringLiteral("LIBRARY TAG PROGRAMMING WORKSTATION"));

    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        const qreal y = 104 + i * 5;
        wave.moveTo(kWidth / 2.0 - 220, y);
        wave.cubicTo(kWidth / 2.0 - 80, y - 8, kWidth / 2.0 + 80, y + 8, kWidth / 2.0 + 220, y);
        p.setPen(QPen(QColor(0x1f, 0x6f, 0x78, 150 - 40 * i), 1.5));
        p.drawPath(wave);
    }
}

// Book spines standing on a shelf, filling a strip at the side.
void drawShelf(QPainter& p, int x0, int x1, int baseY, std::uint32_t seed)
{
    const QColor spines[] = {QColor(0x8c, 0x3b, 0x3b), QColor(0x2f, 0x5d, 0x62), QColor(0xc2, 0x8b, 0x3a),
                             QColor(0x4a, 0x4e, 0x69), QColor(0x6b, 0x8f, 0x71), QColor(0x9a, 0x6a, 0x4f)};
    int x = x0;
    std::uint32_t n = seed;
    while (x < x1 - 6) {
        n = n * 1664525u + 1013904223u;
        const int w = std::min(8 + static_cast<int>((n >> 24) % 9), x1 - x);
        const int h = 58 + static_cast<int>((n >> 16) % 34);
        const QColor c = spines[(n >> 8) % 6];
        p.fillRect(QRect(x, baseY - h, w - 1, h), c);
        p.fillRect(QRect(x + 1, baseY - h + 8, w - 3, 3), c.lighter(140));
        p.fillRect(QRect(x + 1, baseY - 14, w - 3, 2), c.lighter(130));
        x += w;
    }
    p.fillRect(QRect(x0 - 6, baseY, x1 - x0 + 12, 6), QColor(0x7a, 0x5c, 0x43));
}

// Four shelves a side, from row 190 down to row 686, 12 pixels clear of the sheet.
void drawSides(QPainter& p)
{
    for (int shelf = 0; shelf < 4; ++shelf) {
        const int base = 290 + shelf * 130;
        drawShelf(p, 10, 90, base, 7u + shelf * 13u);
        drawShelf(p, kWidth - 90, kWidth - 10, base, 101u + shelf * 17u);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s background.png\n", argv[0]);
        return 2;
    }
    QImage picture(kWidth, kHeight, QImage::Format_RGB888);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        drawPaper(p);
        drawSides(p);
        drawRibbon(p);
        drawSubtitle(p);
    }
    return picture.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
