// Draws the form's background picture, background.png: 1024 x 768 pixels,
// 24-bit colour. A banner with the program's name across the top, shelves of
// book spines down the sides and reader waves, over a pale paper tone.
//
//   cmake --build build --target tagging_background
//   QT_QPA_PLATFORM=offscreen build/bin/tagging_background tagging/resources/background.png
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kBanner = 112;

const QColor kInk(0x1d, 0x3b, 0x53);
const QColor kTeal(0x1f, 0x6f, 0x78);
const QColor kPaper(0xf7, 0xf4, 0xec);

void drawPaper(QPainter& p)
{
    QLinearGradient paper(0, 0, 0, kHeight);
    paper.setColorAt(0.0, kPaper);
    paper.setColorAt(1.0, QColor(0xe9, 0xef, 0xee));
    p.fillRect(0, 0, kWidth, kHeight, paper);
}

void drawBanner(QPainter& p)
{
    QLinearGradient band(0, 0, kWidth, 0);
    band.setColorAt(0.0, kInk);
    band.setColorAt(1.0, kTeal);
    QPainterPath shape;
    shape.moveTo(0, 0);
    shape.lineTo(kWidth, 0);
    shape.lineTo(kWidth, kBanner - 18);
    shape.cubicTo(kWidth * 0.7, kBanner + 12, kWidth * 0.3, kBanner - 30, 0, kBanner);
    shape.closeSubpath();
    p.fillPath(shape, band);

    // A thin gold rule following the banner's lower edge.
    QPainterPath rule;
    rule.moveTo(0, kBanner + 6);
    rule.cubicTo(kWidth * 0.3, kBanner - 24, kWidth * 0.7, kBanner + 18, kWidth, kBanner - 12);
    p.setPen(QPen(QColor(0xd9, 0xa4, 0x41), 2.5));
    p.drawPath(rule);
}

// An open book with reader waves rising from it: the program's sign.
void drawSign(QPainter& p, QPointF at)
{
    p.save();
    p.translate(at);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255, 40));
    QPainterPath left, right;
    left.moveTo(0, 10);
    left.cubicTo(-14, 2, -30, 2, -40, 8);
    left.lineTo(-40, 40);
    left.cubicTo(-30, 34, -14, 34, 0, 42);
    left.closeSubpath();
    right = QTransform::fromScale(-1, 1).map(left);
    p.drawPath(left);
    p.drawPath(right);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const qreal r = 10.0 * i;
        p.setPen(QPen(QColor(255, 255, 255, 255 - 55 * i), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(-r, -r + 4, 2 * r, 2 * r), 40 * 16, 100 * 16);
    }
    p.restore();
}

void drawTitle(QPainter& p)
{
    QFont title(QStringLiteral("WenQuanYi Micro Hei"));
    title.setPixelSize(34);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(150, 18, 700, 46), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("图书馆 RFID 标签加工"));

    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(15);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(sub);
    p.setPen(QColor(0xcf, 0xe3, 0xe4));
    p.drawText(QRect(152, 64, 700, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("LIBRARY TAG PROGRAMMING WORKSTATION"));
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

void drawSides(QPainter& p)
{
    for (int shelf = 0; shelf < 4; ++shelf) {
        const int base = 290 + shelf * 130;
        drawShelf(p, 10, 92, base, 7u + shelf * 13u);
        drawShelf(p, kWidth - 92, kWidth - 10, base, 101u + shelf * 17u);
    }
}

// Soft glow and waves near the bottom.
void drawFooter(QPainter& p)
{
    QRadialGradient glow(kWidth / 2.0, kHeight + 120, 520);
    glow.setColorAt(0.0, QColor(0x1f, 0x6f, 0x78, 70));
    glow.setColorAt(1.0, QColor(0x1f, 0x6f, 0x78, 0));
    p.fillRect(0, 0, kWidth, kHeight, glow);

    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        const qreal y = kHeight - 26 + i * 7;
        wave.moveTo(0, y);
        wave.cubicTo(kWidth * 0.33, y - 18, kWidth * 0.66, y + 18, kWidth, y - 4);
        p.setPen(QPen(QColor(0x1f, 0x6f, 0x78, 110 - 30 * i), 2));
        p.drawPath(wave);
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
        drawFooter(p);
        drawSides(p);
        drawBanner(p);
        drawSign(p, QPointF(92, 44));
        drawTitle(p);
    }
    return picture.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
