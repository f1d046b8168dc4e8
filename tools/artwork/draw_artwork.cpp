// parlo-client-artwork DIR: paints the client's pictures into DIR as PNG files
// (the files listed in artwork.qrc, and the programs' icons for the desktop's
// menu, app-*.png, installed by the packages). Run it again after changing a
// drawing:
//   build/bin/parlo-client-artwork client/ui/shell/artwork
//
// Every picture has a dark outline and a light fill or rim, so it reads on
// light and dark panels alike. Drawings are made on a 32-unit grid and scaled.
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

const QColor kOutline(0x1d, 0x23, 0x2b);
const QColor kOnline(0x2e, 0xa0, 0x43);
const QColor kOffline(0xb4, 0xba, 0xc1);
const QColor kAway(0xf0, 0x9a, 0x1a);
const QColor kNeutral(0x5b, 0x8d, 0xd6);
const QColor kUnread(0xe0, 0x2d, 0x2d);

using Drawing = std::function<void(QPainter&)>;

bool Save(const QDir& dir, const QString& name, int size, const Drawing& draw,
          QColor background = Qt::transparent) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    draw(painter);
    painter.end();
    const QString path = dir.filePath(name);
    const bool saved = image.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.toUtf8().constData());
    return saved;
}

QPen OutlinePen(double width = 2.0) {
    QPen pen(kOutline, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

QPen MarkPen(double width) {
    QPen pen(Qt::white, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A speech bubble with its tail at the bottom left: the program's sign.
QPainterPath Bubble() {
    QPainterPath body;
    body.addRoundedRect(QRectF(2, 3, 28, 21), 8, 8);
    QPainterPath tail;
    tail.moveTo(7, 20);
    tail.lineTo(5, 30);
    tail.lineTo(16, 22);
    tail.closeSubpath();
    return body.united(tail).simplified();
}

enum class Mark { kCheck, kCross, kClock, kDots };

void DrawStateIcon(QPainter& p, QColor fill, Mark mark) {
    p.setPen(OutlinePen());
    p.setBrush(fill);
    p.drawPath(Bubble());
    // A lighter rim inside the outline keeps the edge visible on dark panels.
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(4.2, 5.2, 23.6, 16.6), 6, 6);
    switch (mark) {
        case Mark::kCheck: {
            QPainterPath check;
            check.moveTo(9.5, 13.5);
            check.lineTo(14, 18);
            check.lineTo(22.5, 8.5);
            p.setPen(QPen(kOutline, 6.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(check);
            p.setPen(MarkPen(3.6));
            p.drawPath(check);
            break;
        }
        case Mark::kCross: {
            p.setPen(QPen(kOutline, 4.0, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(11, 9), QPointF(21, 18));
            p.drawLine(QPointF(21, 9), QPointF(11, 18));
            break;
        }
        case Mark::kClock: {
            p.setPen(QPen(kOutline, 2.0));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(16, 13.5), 7.5, 7.5);
            p.setPen(QPen(kOutline, 2.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(16, 13.5), QPointF(16, 8.5));
            p.drawLine(QPointF(16, 13.5), QPointF(19.5, 15.5));
            break;
        }
        case Mark::kDots: {
            p.setPen(QPen(kOutline, 1.6));
            p.setBrush(Qt::white);
            for (int i = 0; i < 3; ++i) {
                p.drawEllipse(QPointF(9.5 + 6.5 * i, 13.5), 2.6, 2.6);
            }
            break;
        }
    }
}

// The unread mark over a state icon: a red dot with a white ring in a dark
// outline at the top right, large enough to be seen at 16 pixels.
void DrawUnreadMark(QPainter& p) {
    const QPointF centre(24, 8.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawEllipse(centre, 8, 8);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 6.6, 6.6);
    p.setBrush(kUnread);
    p.drawEllipse(centre, 4.8, 4.8);
}

// A person's head and shoulders in the colour of the presence.
void DrawPresence(QPainter& p, QColor fill, bool clock) {
    p.setPen(OutlinePen(2.2));
    p.setBrush(fill);
    QPainterPath shoulders;
    shoulders.moveTo(4, 30);
    shoulders.cubicTo(4, 19, 10, 17, 16, 17);
    shoulders.cubicTo(22, 17, 28, 19, 28, 30);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    p.drawEllipse(QPointF(16, 10), 7, 7);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(11.5, 5.5, 9, 9), 60 * 16, 80 * 16);
    if (clock) {
        p.setPen(QPen(kOutline, 1.8));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(24, 24), 6.5, 6.5);
        p.setPen(QPen(kOutline, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(24, 24), QPointF(24, 19.8));
        p.drawLine(QPointF(24, 24), QPointF(27, 25.5));
    }
}

// The server's icon: the bubble in the neutral colour holding two rack units,
// each with its green light.
void DrawServerIcon(QPainter& p) {
    p.setPen(OutlinePen());
    p.setBrush(kNeutral);
    p.drawPath(Bubble());
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(4.2, 5.2, 23.6, 16.6), 6, 6);
    for (const double top : {7.0, 14.0}) {
        p.setPen(QPen(kOutline, 1.4));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(8, top, 16, 5.5), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(kOnline);
        p.drawEllipse(QPointF(20.5, top + 2.75), 1.4, 1.4);
    }
}

// The group toggles: a rounded box with an arrow, down while expanded.
void DrawToggle(QPainter& p, bool expanded) {
    p.setPen(QPen(QColor(0x7a, 0x86, 0x94), 2.0));
    p.setBrush(QColor(0xf1, 0xf4, 0xf8));
    p.drawRoundedRect(QRectF(3, 3, 26, 26), 6, 6);
    QPainterPath arrow;
    if (expanded) {
        arrow.moveTo(9, 12);
        arrow.lineTo(23, 12);
        arrow.lineTo(16, 21);
    } else {
        arrow.moveTo(12, 9);
        arrow.lineTo(21, 16);
        arrow.lineTo(12, 23);
    }
    arrow.closeSubpath();
    p.setPen(QPen(kOutline, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0x2f, 0x3b, 0x4a));
    p.drawPath(arrow);
}

// The logo: two speech bubbles answering each other, on white.
void DrawLogo(QPainter& p) {
    p.save();
    p.translate(1, 1);
    p.scale(0.56, 0.56);
    p.setPen(OutlinePen(1.8));
    p.setBrush(kNeutral);
    p.drawPath(Bubble());
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 3; ++i) {
        p.drawEllipse(QPointF(9.5 + 6.5 * i, 13.5), 2.3, 2.3);
    }
    p.restore();

    p.save();
    p.translate(31, 11);
    p.scale(-0.6, 0.6);  // mirrored: its tail points the other way
    p.setPen(OutlinePen(1.8));
    p.setBrush(kAway);
    p.drawPath(Bubble());
    p.restore();
    p.save();
    p.translate(12.5, 11);
    p.scale(0.6, 0.6);
    QPainterPath heart;
    heart.moveTo(16, 19.5);
    heart.cubicTo(6, 13, 9, 6, 13, 7);
    heart.cubicTo(15, 7.5, 16, 9.5, 16, 10.5);
    heart.cubicTo(16, 9.5, 17, 7.5, 19, 7);
    heart.cubicTo(23, 6, 26, 13, 16, 19.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(heart);
    p.restore();

    // A floor line in the colours of the rule under the login.
    QLinearGradient floor(QPointF(3, 0), QPointF(29, 0));
    floor.setColorAt(0, QColor(255, 220, 0));
    floor.setColorAt(1, QColor(230, 40, 0));
    p.setPen(QPen(QBrush(floor), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 30), QPointF(28, 30));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: parlo-client-artwork DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = QDir().mkpath(dir.path());
    struct StateIcon {
        const char* name;
        QColor fill;
        Mark mark;
    };
    const StateIcon states[] = {{"online", kOnline, Mark::kCheck},
                                {"offline", kOffline, Mark::kCross},
                                {"away", kAway, Mark::kClock},
                                {"neutral", kNeutral, Mark::kDots}};
    for (const StateIcon& icon : states) {
        for (const int size : {16, 32, 64}) {
            ok = Save(dir, QStringLiteral("state-%1-%2.png").arg(icon.name).arg(size), size,
                      [&](QPainter& p) { DrawStateIcon(p, icon.fill, icon.mark); }) &&
                 ok;
            ok = Save(dir, QStringLiteral("state-%1-unread-%2.png").arg(icon.name).arg(size), size,
                      [&](QPainter& p) {
                          DrawStateIcon(p, icon.fill, icon.mark);
                          DrawUnreadMark(p);
                      }) &&
                 ok;
        }
    }
    // The pictures painted in the contact list, also at twice their size
    // for screens of higher pixel ratios.
    const auto save_both = [&](const char* name, int size, const Drawing& draw,
                               QColor background = Qt::transparent) {
        return Save(dir, QStringLiteral("%1.png").arg(name), size, draw, background) &&
               Save(dir, QStringLiteral("%1@2x.png").arg(name), 2 * size, draw, background);
    };
    ok = save_both("presence-online", 16, [](QPainter& p) { DrawPresence(p, kOnline, false); }) &&
         ok;
    ok = save_both("presence-offline", 16, [](QPainter& p) { DrawPresence(p, kOffline, false); }) &&
         ok;
    ok = save_both("presence-away", 16, [](QPainter& p) { DrawPresence(p, kAway, true); }) && ok;
    ok = save_both("toggle-expanded", 16, [](QPainter& p) { DrawToggle(p, true); }) && ok;
    ok = save_both("toggle-collapsed", 16, [](QPainter& p) { DrawToggle(p, false); }) && ok;
    ok = save_both("logo", 96, DrawLogo, Qt::white) && ok;
    // The programs' icons at the sizes of the desktop's icon theme.
    for (const int size : {16, 32, 48, 128}) {
        ok = Save(dir, QStringLiteral("app-parlomatic-%1.png").arg(size), size,
                  [](QPainter& p) { DrawStateIcon(p, kOnline, Mark::kCheck); }) &&
             ok;
        ok = Save(dir, QStringLiteral("app-parlomatic-server-%1.png").arg(size), size,
                  DrawServerIcon) &&
             ok;
    }
    return ok ? 0 : 1;
}
