#include "shared_ui/credits_box.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/qt_wait.h"

namespace parlo::ui {
namespace {

QImage Rgb(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

// What the screen shows of `widget`: the part of its window's buffer it
// covers, as the strip repaints and scrolls left it.
QImage OnScreen(QWidget& widget) {
    QWidget* window = widget.window();
    const QPoint at = widget.mapTo(window, QPoint(0, 0));
    return Rgb(window->screen()->grabWindow(window->winId(), at.x(), at.y(), widget.width(),
                                            widget.height()));
}

// `widget` painted afresh, all at once.
QImage FullRender(QWidget& widget) {
    return Rgb(widget.grab());
}

// Records the region of every paint event of the watched widget.
class PaintSpy : public QObject {
  public:
    std::vector<QRect> rects;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            rects.push_back(static_cast<QPaintEvent*>(event)->rect());
        }
        return QObject::eventFilter(watched, event);
    }
};

TEST(CreditsBox, PausesThenRisesOnePixelPerTick) {
    CreditsBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Parlomatik - Crédits"));
    box.View().resize(200, 150);
    for (int i = 0; i < kCreditsPauseTicks; ++i) {
        box.Tick();
    }
    EXPECT_EQ(box.View().Offset(), 0);
    box.Tick();
    box.Tick();
    EXPECT_EQ(box.View().Offset(), -2);
}

// Every line, whether it starts at the top or rises into view from below
// the bottom edge, reads on screen as a fresh full paint draws it, through a
// whole round and the restart from below.
TEST(CreditsBox, ScrolledTextOnScreenEqualsAFullRender) {
    CreditsBox box;
    box.show();
    ASSERT_TRUE(parlo::testing::WaitUntil([&] { return box.View().isVisible(); }));
    QApplication::processEvents();
    CreditsView& view = box.View();
    for (int i = 0; i < kCreditsPauseTicks; ++i) {
        box.Tick();
    }
    const int ticks = view.TextHeight() + 2 * view.height();
    int compared = 0;
    for (int tick = 0; tick < ticks; ++tick) {
        box.Tick();
        const QImage screen = OnScreen(view);
        const QImage fresh = FullRender(view);
        ASSERT_EQ(screen.size(), fresh.size());
        ASSERT_TRUE(screen == fresh) << "offset " << view.Offset() << " after " << tick << " ticks";
        ++compared;
    }
    EXPECT_EQ(compared, ticks);
}

// The rectangle of `image` rows [top, bottom) whose pixels are not `ground`.
QRect InkBounds(const QImage& image, int top, int bottom, QRgb ground) {
    QRect ink;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != ground) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

TEST(CreditsView, BoldAndNormalLinesFitTheirBoxesWhole) {
    CreditsView view;
    view.resize(200, 4 * kCreditsLineHeight);
    view.SetText("\n~BÉcrivez-Ça\n~NÉcrivez-Ça");
    const QImage shown = FullRender(view);
    const QRgb ground = view.palette().color(QPalette::Button).rgb();

    // Nothing of the two lines above their boxes, nor below them.
    EXPECT_TRUE(InkBounds(shown, 0, kCreditsLineHeight, ground).isNull());
    EXPECT_TRUE(InkBounds(shown, 3 * kCreditsLineHeight, shown.height(), ground).isNull());
    // Bold lines read bolder than normal ones, though both ask only 600 and 500.
    const auto ink = [&](int top) {
        int count = 0;
        for (int y = top; y < top + kCreditsLineHeight; ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                count += qGray(shown.pixel(x, y)) < 128 ? 1 : 0;
            }
        }
        return count;
    };
    EXPECT_GT(ink(kCreditsLineHeight), ink(2 * kCreditsLineHeight) * 6 / 5);

    for (CreditsFont font : {CreditsFont::kBold, CreditsFont::kNormal}) {
        const int top = font == CreditsFont::kBold ? kCreditsLineHeight : 2 * kCreditsLineHeight;
        const QRect in_box = InkBounds(shown, top, top + kCreditsLineHeight, ground);
        ASSERT_FALSE(in_box.isNull());

        // The same text drawn with room to spare: nothing of it may be cut.
        QImage free(shown.width(), 60, QImage::Format_RGB32);
        free.fill(ground);
        {
            QPainter painter(&free);
            painter.setFont(view.FontOf(font));
            painter.setPen(Qt::black);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.drawText(QRect(0, 20, free.width(), 40), Qt::AlignHCenter | Qt::AlignTop,
                             QStringLiteral("Écrivez-Ça"));
        }
        const QRect whole = InkBounds(free, 0, free.height(), ground);
        EXPECT_EQ(in_box.size(), whole.size()) << (font == CreditsFont::kBold ? "bold" : "normal");
        EXPECT_TRUE(shown.copy(in_box) == free.copy(whole));
    }
}

// On a dark palette the text takes the palette's light button text.
TEST(CreditsView, TextReadsOnADarkPalette) {
    CreditsBox box;
    QPalette dark = box.palette();
    dark.setColor(QPalette::Button, QColor(40, 42, 46));
    dark.setColor(QPalette::ButtonText, QColor(235, 235, 235));
    box.setPalette(dark);
    box.resize(300, 260);
    CreditsView& view = box.View();
    const QImage shown = FullRender(view);
    int light = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            light += qGray(shown.pixel(x, y)) > 180 ? 1 : 0;
        }
    }
    EXPECT_GT(light, 50);  // the title and the first roles, in light ink
    EXPECT_EQ(shown.pixel(2, 2), QColor(40, 42, 46).rgb());
}

TEST(CreditsView, ScrollRepaintsOnlyTheUncoveredStrip) {
    CreditsView view;
    view.resize(200, 100);
    view.SetText(CreditsText());
    view.show();
    QApplication::processEvents();

    PaintSpy spy;
    view.installEventFilter(&spy);
    view.ScrollBy(-1);
    QApplication::processEvents();
    ASSERT_FALSE(spy.rects.empty());
    for (const QRect& rect : spy.rects) {
        EXPECT_GE(rect.top(), 97) << rect.top();
        EXPECT_LE(rect.bottom(), 101) << rect.bottom();
    }
    EXPECT_EQ(view.Offset(), -1);
}

TEST(CreditsView, RestartRepaintsTheWholeView) {
    CreditsView view;
    view.resize(200, 100);
    view.SetText("short");
    view.show();
    QApplication::processEvents();

    PaintSpy spy;
    view.installEventFilter(&spy);
    for (int i = 0; i <= kCreditsLineHeight; ++i) {
        view.ScrollBy(-1);
    }
    QApplication::processEvents();
    EXPECT_EQ(view.Offset(), 0);
    ASSERT_FALSE(spy.rects.empty());
    EXPECT_EQ(spy.rects.back(), view.rect());
}

}  // namespace
}  // namespace parlo::ui
