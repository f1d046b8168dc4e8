// The emoticon pictures, drawn here at their 21 x 21 size: yellow faces with
// a dark outline (readable on light and dark backgrounds alike), a heart,
// lips and a cup of coffee.
#include "client/ui/conversation/emoticons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <array>

namespace parlo::client {
namespace {

const QColor kOutline(96, 60, 0);
const QColor kFace(255, 212, 40);
const QColor kFeature(60, 35, 0);

QPen Line(const QColor& colour, qreal width = 1.4) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Face(QPainter& p, const QColor& fill = kFace, QRectF disc = QRectF(1.5, 1.5, 18, 18)) {
    p.setPen(Line(kOutline, 1.2));
    p.setBrush(fill);
    p.drawEllipse(disc);
}

void Eye(QPainter& p, qreal x, qreal y) {
    p.setPen(Qt::NoPen);
    p.setBrush(kFeature);
    p.drawEllipse(QRectF(x - 1.2, y - 1.8, 2.4, 3.6));
}

void Eyes(QPainter& p, qreal y = 8) {
    Eye(p, 7.5, y);
    Eye(p, 13.5, y);
}

// A curve from (x0, y) to (x1, y) through (middle, y + depth).
void Mouth(QPainter& p, qreal x0, qreal x1, qreal y, qreal depth, qreal width = 1.5) {
    QPainterPath path(QPointF(x0, y));
    path.quadTo(QPointF((x0 + x1) / 2, y + 2 * depth), QPointF(x1, y));
    p.setPen(Line(kFeature, width));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Smile(QPainter& p) {
    Eyes(p);
    Mouth(p, 6, 15, 12.5, 2.5);
}

void Neutral(QPainter& p) {
    Eyes(p);
    p.setPen(Line(kFeature, 1.5));
    p.drawLine(QPointF(6.5, 14), QPointF(14.5, 14));
}

void Crying(QPainter& p) {
    Eyes(p, 7.5);
    Mouth(p, 6.5, 14.5, 15.5, -2);
    p.setPen(Line(QColor(20, 80, 170), 0.8));
    p.setBrush(QColor(90, 170, 255));
    for (const qreal x : {6.0, 15.0}) {
        QPainterPath tear(QPointF(x, 9.5));
        tear.cubicTo(QPointF(x + 2.2, 12.5), QPointF(x + 1.4, 14.2), QPointF(x, 14.2));
        tear.cubicTo(QPointF(x - 1.4, 14.2), QPointF(x - 2.2, 12.5), QPointF(x, 9.5));
        p.drawPath(tear);
    }
}

void Embarrassed(QPainter& p) {
    // Eyes looking down, red cheeks, a small wavy mouth.
    p.setPen(Line(kFeature, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5.5, 6, 4, 3), 180 * 16, 180 * 16);
    p.drawArc(QRectF(11.5, 6, 4, 3), 180 * 16, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 80, 90, 200));
    p.drawEllipse(QRectF(3.5, 10, 4, 3));
    p.drawEllipse(QRectF(13.5, 10, 4, 3));
    QPainterPath mouth(QPointF(7.5, 14.5));
    mouth.cubicTo(QPointF(9, 13), QPointF(9.5, 16), QPointF(10.5, 14.5));
    mouth.cubicTo(QPointF(11.5, 13), QPointF(12, 16), QPointF(13.5, 14.5));
    p.setPen(Line(kFeature, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mouth);
}

void Cool(QPainter& p) {
    p.setPen(Line(QColor(10, 10, 10), 1.2));
    p.setBrush(QColor(25, 25, 35));
    p.drawRoundedRect(QRectF(3.5, 6, 6, 4.5), 1.5, 1.5);
    p.drawRoundedRect(QRectF(11.5, 6, 6, 4.5), 1.5, 1.5);
    p.drawLine(QPointF(2, 7), QPointF(19, 7));
    p.setPen(Line(QColor(230, 230, 255), 0.9));
    p.drawLine(QPointF(5, 7.5), QPointF(6.5, 7.5));
    p.drawLine(QPointF(13, 7.5), QPointF(14.5, 7.5));
    Mouth(p, 6.5, 14.5, 13.5, 2);
}

void Angry(QPainter& p) {
    Eyes(p, 9);
    p.setPen(Line(kFeature, 1.6));
    p.drawLine(QPointF(5, 5.5), QPointF(9.5, 7.5));
    p.drawLine(QPointF(16, 5.5), QPointF(11.5, 7.5));
    Mouth(p, 6.5, 14.5, 15.5, -2);
}

void Angel(QPainter& p) {
    p.setPen(Line(QColor(150, 110, 0), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 0.5, 11, 3.5));
    p.setPen(Line(QColor(255, 250, 200), 0.8));
    p.drawEllipse(QRectF(5.7, 1.1, 9.6, 2.3));
    Face(p, kFace, QRectF(2.5, 3.5, 16, 16));
    Eye(p, 8, 10);
    Eye(p, 13, 10);
    Mouth(p, 7, 14, 14, 1.8);
}

void Heart(QPainter& p) {
    QPainterPath heart(QPointF(10.5, 18.5));
    heart.cubicTo(QPointF(3, 13), QPointF(0.5, 9), QPointF(2, 5.5));
    heart.cubicTo(QPointF(3.5, 2), QPointF(8.5, 1.5), QPointF(10.5, 6));
    heart.cubicTo(QPointF(12.5, 1.5), QPointF(17.5, 2), QPointF(19, 5.5));
    heart.cubicTo(QPointF(20.5, 9), QPointF(18, 13), QPointF(10.5, 18.5));
    p.setPen(Line(QColor(120, 0, 20), 1.2));
    p.setBrush(QColor(225, 25, 50));
    p.drawPath(heart);
    p.setPen(Line(QColor(255, 170, 180), 1.3));
    p.drawArc(QRectF(4, 4.5, 5, 5), 100 * 16, 70 * 16);
}

void Lips(QPainter& p) {
    QPainterPath upper(QPointF(1.5, 11));
    upper.cubicTo(QPointF(4, 7), QPointF(7, 5), QPointF(10.5, 8));
    upper.cubicTo(QPointF(14, 5), QPointF(17, 7), QPointF(19.5, 11));
    upper.cubicTo(QPointF(14, 12), QPointF(7, 12), QPointF(1.5, 11));
    QPainterPath lower(QPointF(1.5, 11));
    lower.cubicTo(QPointF(7, 12.5), QPointF(14, 12.5), QPointF(19.5, 11));
    lower.cubicTo(QPointF(16, 17.5), QPointF(5, 17.5), QPointF(1.5, 11));
    p.setPen(Line(QColor(110, 0, 30), 1.1));
    p.setBrush(QColor(220, 20, 70));
    p.drawPath(lower);
    p.drawPath(upper);
    p.setPen(Line(QColor(255, 160, 190), 1.1));
    p.drawLine(QPointF(7, 14.5), QPointF(10, 15));
}

void Grin(QPainter& p) {
    Eyes(p, 7.5);
    QPainterPath mouth(QPointF(5, 11.5));
    mouth.lineTo(QPointF(16, 11.5));
    mouth.quadTo(QPointF(15.5, 17.5), QPointF(10.5, 17.5));
    mouth.quadTo(QPointF(5.5, 17.5), QPointF(5, 11.5));
    p.setPen(Line(kFeature, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(mouth);
    p.setPen(Line(kFeature, 0.8));
    p.drawLine(QPointF(5.5, 13.5), QPointF(15.5, 13.5));
}

void Surprised(QPainter& p) {
    // Raised brows, wide eyes, a round open mouth.
    p.setPen(Line(kFeature, 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5, 3.5, 5, 3), 30 * 16, 120 * 16);
    p.drawArc(QRectF(11, 3.5, 5, 3), 30 * 16, 120 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(kFeature);
    p.drawEllipse(QRectF(6, 6.5, 3, 4));
    p.drawEllipse(QRectF(12, 6.5, 3, 4));
    p.setPen(Line(kFeature, 1.2));
    p.setBrush(QColor(120, 30, 10));
    p.drawEllipse(QRectF(8, 12, 5, 6));
}

void Tongue(QPainter& p) {
    Eyes(p);
    p.setPen(Line(QColor(150, 20, 40), 1.0));
    p.setBrush(QColor(255, 100, 120));
    p.drawRoundedRect(QRectF(9, 12.5, 5, 6.5), 2.5, 2.5);
    p.setPen(Line(kFeature, 1.5));
    p.drawLine(QPointF(6, 13), QPointF(15.5, 13));
}

void Wink(QPainter& p) {
    Eye(p, 13.5, 8);
    p.setPen(Line(kFeature, 1.5));
    p.setBrush(Qt::NoBrush);
    Mouth(p, 5.5, 9.5, 8.5, -1.2);
    Mouth(p, 6, 15, 12.5, 2.5);
}

void Sad(QPainter& p) {
    Eyes(p);
    Mouth(p, 6.5, 14.5, 15.5, -2.2);
}

void Confused(QPainter& p) {
    Eyes(p);
    QPainterPath mouth(QPointF(5.5, 14.5));
    mouth.cubicTo(QPointF(7.5, 11), QPointF(9.5, 17), QPointF(11, 14));
    mouth.cubicTo(QPointF(12.5, 11), QPointF(14, 15.5), QPointF(15.5, 12.5));
    p.setPen(Line(kFeature, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mouth);
}

void Coffee(QPainter& p) {
    // Steam, the cup with its handle, and the coffee seen from above.
    p.setPen(Line(QColor(150, 150, 160), 1.0));
    p.setBrush(Qt::NoBrush);
    for (const qreal x : {7.0, 11.0}) {
        QPainterPath steam(QPointF(x, 6));
        steam.cubicTo(QPointF(x - 1.5, 4.5), QPointF(x + 1.5, 3), QPointF(x, 1));
        p.drawPath(steam);
    }
    p.setPen(Line(QColor(70, 40, 20), 1.2));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(14, 9.5, 5, 5));
    QPainterPath cup(QPointF(2.5, 8));
    cup.lineTo(QPointF(15.5, 8));
    cup.lineTo(QPointF(14.5, 16));
    cup.quadTo(QPointF(14, 18.5), QPointF(11.5, 18.5));
    cup.lineTo(QPointF(6.5, 18.5));
    cup.quadTo(QPointF(4, 18.5), QPointF(3.5, 16));
    cup.closeSubpath();
    p.drawPath(cup);
    p.setBrush(QColor(120, 65, 25));
    p.drawEllipse(QRectF(2.5, 6.5, 13, 3));
}

}  // namespace

QPixmap EmoticonPicture(int bitmap, qreal pixel_ratio) {
    using Drawing = void (*)(QPainter&);
    Drawing draw = nullptr;
    bool face = true;
    switch (bitmap) {
        case 142:
            draw = Smile;
            break;
        case 143:
            draw = Neutral;
            break;
        case 144:
            draw = Crying;
            break;
        case 145:
            draw = Embarrassed;
            break;
        case 146:
            draw = Cool;
            break;
        case 147:
            draw = Angry;
            break;
        case 148:
            draw = Angel;
            face = false;
            break;
        case 149:
            draw = Heart;
            face = false;
            break;
        case 150:
            draw = Lips;
            face = false;
            break;
        case 151:
            draw = Grin;
            break;
        case 152:
            draw = Surprised;
            break;
        case 153:
            draw = Tongue;
            break;
        case 154:
            draw = Wink;
            break;
        case 155:
            draw = Sad;
            break;
        case 156:
            draw = Confused;
            break;
        case 159:
            draw = Coffee;
            face = false;
            break;
        default:
            return {};
    }
    const int side = qCeil(kEmoticonSize * pixel_ratio);
    QPixmap picture(side, side);
    picture.setDevicePixelRatio(pixel_ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    if (face) {
        Face(painter, bitmap == 147 ? QColor(250, 110, 60) : kFace);
    }
    draw(painter);
    return picture;
}

QIcon EmoticonIcon(int bitmap) {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(EmoticonPicture(bitmap, ratio));
    }
    return icon;
}

std::span<const EmoticonMenuItem> EmoticonMenuItems() {
    static constexpr std::array<EmoticonMenuItem, 16> kItems{{
        {":)", 142, "Sourire"},
        {":D", 151, "Grand sourire"},
        {";)", 154, "Clin d'œil"},
        {":O", 152, "Étonnement"},
        {":P", 153, "Langue tirée"},
        {":$", 145, "Gêne"},
        {":A", 148, "Ange"},
        {":'(", 144, "Larmes"},
        {":(", 155, "Tristesse"},
        {":|", 143, "Indifférence"},
        {":S", 156, "Perplexité"},
        {":@", 147, "Colère"},
        {":8", 146, "Lunettes de soleil"},
        {"(C)", 159, "Café"},
        {"(K)", 150, "Bisou"},
        {"(L)", 149, "Cœur"},
    }};
    return kItems;
}

}  // namespace parlo::client
