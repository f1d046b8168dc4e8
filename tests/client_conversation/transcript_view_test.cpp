// The painted transcript view: what reaches the screen and where, the scroll
// bar's arithmetic, selecting within one message, copying, and the partial
// repaints of a selection against a full render.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>
#include <random>

#include "client/ui/conversation/emoticons.h"
#include "client/ui/conversation/transcript_view.h"
#include "tests/support/image_checks.h"
#include "tests/support/qt_wait.h"

namespace parlo::client::testing {
namespace {

using parlo::testing::Settle;
using parlo::testing::WaitUntil;

constexpr int kWidth = 420;
constexpr int kHeight = 240;

QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// `pixmap` drawn on white at (x, y)?
bool Shows(const QImage& image, const QPixmap& pixmap, int x, int y) {
    QImage expected(pixmap.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter(&expected).drawPixmap(0, 0, pixmap);
    return image.copy(x, y, pixmap.width(), pixmap.height()) == expected;
}

bool HasColour(const QImage& image, const QRect& area, QColor colour) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) == colour.rgb()) {
                return true;
            }
        }
    }
    return false;
}

// The information lines' ink: more blue than red, even where light text
// blends into the white.
bool HasBlueInk(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qBlue(pixel) - qRed(pixel) >= 20) {
                return true;
            }
        }
    }
    return false;
}

// Where two pictures of the view differ, for failure messages.
std::string Difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return "sizes differ";
    }
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box.isNull()
               ? "same"
               : "differ in " + std::to_string(box.x()) + "," + std::to_string(box.y()) + " " +
                     std::to_string(box.width()) + "x" + std::to_string(box.height());
}

using parlo::testing::HasInk;

// Every region a widget repaints, in order.
class PaintSpy : public QObject {
  public:
    PaintSpy(QWidget& widget, std::vector<QRegion>& regions) : regions_(regions) {
        widget.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            regions_.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return false;
    }

  private:
    std::vector<QRegion>& regions_;
};

void Mouse(QWidget& view, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(view.mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}

void Drag(QWidget& view, QPoint from, QPoint to) {
    Mouse(view, QEvent::MouseButtonPress, from);
    Mouse(view, QEvent::MouseMove, to);
    Mouse(view, QEvent::MouseButtonRelease, to);
}

void CtrlKey(QWidget& view, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::ControlModifier);
    QApplication::sendEvent(&view, &event);
}

class TranscriptViewTest : public ::testing::Test {
  protected:
    TranscriptViewTest() { view_.resize(kWidth, kHeight); }

    const TranscriptSegment& Segment(size_t i) const { return view_.Layout().Segments().at(i); }
    // Where segment `i` starts on the view.
    QPoint Origin(size_t i) const {
        const QRect area = view_.TextArea();
        return {area.left(), area.top() + view_.Offset() + Segment(i).top};
    }
    // A point over the byte `byte` of segment `i`: on its first half, so the
    // hit character ends just after it.
    QPoint Over(size_t i, size_t byte) const {
        const TranscriptSegment& segment = Segment(i);
        const std::string_view text = segment.text;
        for (const TranscriptRun& run : segment.runs) {
            if (byte >= run.begin && byte < run.end) {
                const int x = run.bitmap != 0
                                  ? 0
                                  : view_.Measure().Width(segment.font,
                                                          text.substr(run.begin, byte - run.begin));
                return Origin(i) + QPoint(run.x + x + 1, 3);
            }
        }
        return Origin(i) + QPoint(10000, 3);
    }
    void Fill(int messages) {
        for (int i = 0; i < messages; ++i) {
            view_.AppendMessage("bob", "message " + std::to_string(i) + " :-)");
        }
    }

    TranscriptView view_;
};

TEST_F(TranscriptViewTest, KeepsTheWholeTextWithoutCarriageReturns) {
    view_.AppendMessage("bob", "salut\r\nça va ?");
    view_.AppendInfo("alice a rejoint la conversation");
    view_.AppendMessage("alice", "");
    EXPECT_EQ(view_.Text(),
              "bob dit :\nsalut\nça va ?\ninfo :alice a rejoint la conversation\nalice dit :\n\n");
    EXPECT_EQ(view_.Layout().Segments().size(), 5u);
}

TEST_F(TranscriptViewTest, DrawsHeaderBodyAndSmileWhereLaidOut) {
    view_.AppendMessage("bob", "salut :-) ça va");
    view_.AppendInfo("alice a rejoint la conversation");
    ASSERT_EQ(view_.Layout().Segments().size(), 3u);
    const QImage image = Render(view_);
    const QRect area = view_.TextArea();

    const QRect header(Origin(0), QSize(Segment(0).runs[0].width, 16));
    EXPECT_TRUE(HasColour(image, header, QColor(90, 90, 90)));
    EXPECT_FALSE(HasColour(image, header, Qt::black));

    const TranscriptRun& before = Segment(1).runs[0];
    const TranscriptRun& smile = Segment(1).runs[1];
    const TranscriptRun& after = Segment(1).runs[2];
    ASSERT_EQ(smile.bitmap, 142);
    EXPECT_TRUE(Shows(image, EmoticonPicture(142), area.left() + smile.x, Origin(1).y() - 1));
    // "salut" after the two-space indent, "ça va" after the picture.
    const int space = view_.Measure().Width(TranscriptFont::kBody, "  ");
    EXPECT_FALSE(HasInk(image, QRect(Origin(1), QSize(space - 1, 16))));
    EXPECT_TRUE(HasColour(image, QRect(Origin(1), QSize(before.width, 16)), Qt::black));
    EXPECT_TRUE(
        HasColour(image, QRect(Origin(1) + QPoint(after.x, 0), QSize(after.width, 16)), Qt::black));

    // The information line without its marker, in its own colour.
    EXPECT_EQ(Segment(2).text, "alice a rejoint la conversation");
    const QRect info(Origin(2), QSize(Segment(2).runs[0].width, 12));
    EXPECT_TRUE(HasBlueInk(image, info));
    EXPECT_FALSE(HasBlueInk(image, QRect(Origin(1), QSize(before.width, 16))));
    // Nothing below the last row, nothing on the scroll bar's strip but the bar.
    EXPECT_FALSE(HasInk(image, QRect(area.left(), Origin(2).y() + 13, area.width(),
                                     area.bottom() - Origin(2).y() - 13)));
    EXPECT_FALSE(view_.ScrollBar().isEnabled());
    EXPECT_EQ(view_.ScrollBar().geometry().right(), view_.contentsRect().right());
    EXPECT_EQ(view_.ScrollBar().width(), TranscriptView::kScrollBarWidth);
}

TEST_F(TranscriptViewTest, ScrollBarMovesTheContentByPercentOfTheBottomOffset) {
    Fill(3);
    EXPECT_FALSE(view_.ScrollBar().isEnabled());
    EXPECT_EQ(view_.Offset(), 0);

    Fill(20);
    QScrollBar& bar = view_.ScrollBar();
    const int bottom = view_.contentsRect().height() - view_.Layout().Height();
    ASSERT_LT(bottom, 0);
    EXPECT_TRUE(bar.isEnabled());
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 100);
    EXPECT_EQ(bar.value(), 100);
    EXPECT_EQ(view_.BottomOffset(), bottom);
    EXPECT_EQ(view_.Offset(), bottom);  // the last row touches the bottom
    EXPECT_EQ(Origin(view_.Layout().Segments().size() - 1).y() +
                  Segment(view_.Layout().Segments().size() - 1).bottom -
                  Segment(view_.Layout().Segments().size() - 1).top,
              view_.contentsRect().bottom() + 1);

    const auto expected = [&](int position) { return static_cast<int>(bottom * position * 0.01); };
    bar.setValue(50);
    EXPECT_EQ(view_.Offset(), expected(50));
    bar.triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(bar.value(), 49);
    EXPECT_EQ(view_.Offset(), expected(49));
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar.value(), 59);
    EXPECT_EQ(view_.Offset(), expected(59));
    bar.setValue(95);
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar.value(), 100);
    bar.triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(view_.Offset(), 0);
    bar.setValue(3);
    bar.triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(bar.value(), 0);

    // At the top the first header shows at the top; an append goes back to
    // the bottom.
    EXPECT_TRUE(HasColour(Render(view_), QRect(Origin(0), QSize(60, 16)), QColor(90, 90, 90)));
    view_.AppendInfo("fin");
    EXPECT_EQ(bar.value(), 100);
    EXPECT_EQ(view_.Offset(), view_.contentsRect().height() - view_.Layout().Height());
}

TEST_F(TranscriptViewTest, ResizeLaysOutAgainAtTheNewWidth) {
    view_.AppendMessage("alice", std::string(200, 'a') + " " + std::string(30, 'b') +
                                     " ça va :-) encore un peu de texte à couper");
    Fill(12);
    view_.show();
    view_.resize(kWidth / 2, kHeight);
    const auto expected = LayOutTranscript(view_.Text(), view_.TextArea().width(), view_.Measure());
    EXPECT_EQ(view_.Layout().Segments(), expected);
    EXPECT_EQ(view_.Offset(), view_.contentsRect().height() - view_.Layout().Height());
    view_.resize(kWidth * 2, kHeight * 4);
    EXPECT_FALSE(view_.ScrollBar().isEnabled());
    EXPECT_EQ(view_.Offset(), 0);
}

TEST_F(TranscriptViewTest, SelectsWithinOneMessageAndCopies) {
    view_.AppendMessage("bob", "bonjour tout le monde");
    view_.AppendMessage("alice", "salut :-) toi");
    ASSERT_EQ(Segment(1).text, "  bonjour tout le monde");

    // From over the "b" to over the "r": the hit characters end after them.
    Drag(view_, Over(1, 2), Over(1, 8));
    EXPECT_EQ(view_.SelectedText(), "onjour");
    CtrlKey(view_, Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "onjour");
    // Backwards gives the same text; a picture counts as its code.
    Drag(view_, Over(3, 13), Over(3, 4));
    EXPECT_EQ(view_.SelectedText(), "ut :-) to");
    CtrlKey(view_, Qt::Key_Insert);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "ut :-) to");

    // A click without a drag selects nothing, and copying leaves the
    // clipboard alone.
    Drag(view_, Over(1, 4), Over(1, 4));
    EXPECT_EQ(view_.SelectedText(), "");
    CtrlKey(view_, Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "ut :-) to");
    // From one message into the next header: nothing.
    Drag(view_, Over(1, 4), Over(2, 3));
    EXPECT_EQ(view_.SelectedText(), "");
    // Below the last row: nothing.
    Drag(view_, Over(1, 4), QPoint(20, kHeight - 3));
    EXPECT_EQ(view_.SelectedText(), "");
}

TEST_F(TranscriptViewTest, SelectionRunsAcrossTheRowsOfOneMessage) {
    view_.resize(200, kHeight);
    view_.AppendMessage("bob", "un deux trois quatre cinq six sept huit neuf dix");
    ASSERT_GE(view_.Layout().Segments().size(), 3u);
    Drag(view_, Over(1, 2), Over(2, 5));
    EXPECT_EQ(view_.SelectedText(), Segment(1).text.substr(3) + Segment(2).text.substr(0, 6));
    // Losing the focus drops the selection.
    view_.setFocus();
    EXPECT_FALSE(view_.SelectedText().empty());
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&view_, &out);
    EXPECT_EQ(view_.SelectedText(), "");
}

TEST_F(TranscriptViewTest, SelectionRepaintsMatchAFullRender) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new TranscriptView(&window);
    layout->addWidget(view);
    window.resize(kWidth, kHeight);
    for (int i = 0; i < 6; ++i) {
        view->AppendMessage(i % 2 ? "bob" : "alice",
                            "ligne " + std::to_string(i) + " avec :-) et ;) puis du texte (C) fin");
    }
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return window.windowHandle()->isExposed(); }));
    Settle(50);
    const auto on_screen = [&] {
        const QPoint at = view->mapTo(&window, QPoint(0, 0));
        return window.screen()
            ->grabWindow(window.winId(), at.x(), at.y(), view->width(), view->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto& segments = view->Layout().Segments();
    const QRect area = view->TextArea();
    const auto at = [&](size_t i, int x) {
        return QPoint(area.left() + x, area.top() + view->Offset() + segments[i].top + 4);
    };
    ASSERT_EQ(Difference(on_screen(), Render(*view)), "same");

    Mouse(*view, QEvent::MouseButtonPress, at(1, 30));
    for (const QPoint to : {at(1, 90), at(1, 200), at(1, 60), at(3, 40), at(1, 10), at(1, 250)}) {
        Mouse(*view, QEvent::MouseMove, to);
        Settle(20);
        ASSERT_EQ(Difference(on_screen(), Render(*view)), "same");
    }
    Mouse(*view, QEvent::MouseButtonRelease, at(1, 250));
    EXPECT_FALSE(view->SelectedText().empty());
    // A new press clears the old highlight.
    Mouse(*view, QEvent::MouseButtonPress, at(5, 30));
    Settle(20);
    EXPECT_EQ(Difference(on_screen(), Render(*view)), "same");
    Mouse(*view, QEvent::MouseButtonRelease, at(5, 30));
    Settle(20);
    EXPECT_EQ(Difference(on_screen(), Render(*view)), "same");

    // A selection kept through scrolling and appending.
    Drag(*view, at(3, 30), at(3, 150));
    ASSERT_FALSE(view->SelectedText().empty());
    view->ScrollBar().setValue(40);
    Settle(20);
    EXPECT_EQ(Difference(on_screen(), Render(*view)), "same");
    view->AppendMessage("bob", "encore :D");
    Settle(20);
    EXPECT_EQ(Difference(on_screen(), Render(*view)), "same");
}

// Appends, resizes, scrolling, drags and copies in random order: the rows
// stay those of a layout from scratch, the offset within its bounds, and the
// screen that of a full render.
TEST(TranscriptViewRandom, ScreenAndLayoutStaySoundUnderRandomUse) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new TranscriptView(&window);
    layout->addWidget(view);
    window.resize(kWidth, kHeight);
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return window.windowHandle()->isExposed(); }));
    const std::vector<std::string> words{
        "salut", ":-)",    ";)", "(C)", "Note:Sam",           "a::b", "ça",  "va",
        "dit :", "info :", "\n", ":D",  std::string(60, 'w'), "x",    "\xff"};
    std::mt19937 random(11);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto point = [&] {
        return QPoint(pick(view->width() + 20) - 10, pick(view->height() + 20) - 10);
    };
    int selections = 0;
    for (int step = 0; step < 80; ++step) {
        switch (pick(6)) {
            case 0:
            case 1: {
                std::string text;
                for (int i = pick(12); i >= 0; --i) {
                    text += words[static_cast<size_t>(pick(static_cast<int>(words.size())))] + " ";
                }
                view->AppendMessage(pick(2) ? "bob" : "alice", text);
                break;
            }
            case 2:
                window.resize(150 + pick(450), 100 + pick(300));
                break;
            case 3:
                view->ScrollBar().setValue(pick(101));
                break;
            case 4: {
                Mouse(*view, QEvent::MouseButtonPress, point());
                for (int i = pick(4); i >= 0; --i) {
                    Mouse(*view, QEvent::MouseMove, point());
                }
                Mouse(*view, QEvent::MouseButtonRelease, point());
                break;
            }
            default:
                CtrlKey(*view, Qt::Key_C);
                break;
        }
        Settle(15);
        ASSERT_EQ(view->Layout().Segments(),
                  LayOutTranscript(view->Text(), view->TextArea().width(), view->Measure()))
            << "step " << step;
        ASSERT_LE(view->BottomOffset(), view->Offset()) << "step " << step;
        ASSERT_LE(view->Offset(), 0) << "step " << step;
        const QPoint at = view->mapTo(&window, QPoint(0, 0));
        const QImage screen =
            window.screen()
                ->grabWindow(window.winId(), at.x(), at.y(), view->width(), view->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(Difference(screen, Render(*view)), "same") << "step " << step;
        selections += view->SelectedText().empty() ? 0 : 1;
    }
    EXPECT_GT(selections, 0);  // some drags did select
}

TEST_F(TranscriptViewTest, DraggingRepaintsOnlyTheRowsOfTheSelection) {
    for (int i = 0; i < 4; ++i) {
        view_.AppendMessage("bob", "une ligne de texte :-) numéro " + std::to_string(i));
    }
    view_.show();
    ASSERT_TRUE(WaitUntil([&] { return view_.windowHandle()->isExposed(); }));
    Settle(50);
    std::vector<QRegion> painted;
    PaintSpy spy(view_, painted);
    Mouse(view_, QEvent::MouseButtonPress, Over(3, 4));
    Mouse(view_, QEvent::MouseMove, Over(3, 12));
    Settle(30);
    ASSERT_FALSE(painted.empty());
    const QRect row(Origin(3), QSize(view_.TextArea().width(), Segment(3).bottom - Segment(3).top));
    for (const QRegion& region : painted) {
        EXPECT_TRUE(region.boundingRect().intersects(row));
        EXPECT_LE(region.boundingRect().height(), kEmoticonPictureSize + 2);
    }
    Mouse(view_, QEvent::MouseButtonRelease, Over(3, 12));
}

}  // namespace
}  // namespace parlo::client::testing
