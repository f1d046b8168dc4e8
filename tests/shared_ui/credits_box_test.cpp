#include "shared_ui/credits_box.h"

#include <QApplication>
#include <QPaintEvent>

#include <gtest/gtest.h>

#include <vector>

namespace parlo::ui {
namespace {

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
