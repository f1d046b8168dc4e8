#include "shared_ui/credits_markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace parlo::ui {
namespace {

using Font = CreditsFont;

struct Drawn {
    std::string text;
    Font font;
    bool operator==(const Drawn&) const = default;
};

void PrintTo(const Drawn& d, std::ostream* os) {
    *os << '"' << d.text << "\" " << (d.font == Font::kBold ? "bold" : "normal");
}

std::vector<Drawn> Draw(std::string_view text) {
    std::vector<Drawn> out;
    for (const CreditsLine& line : LayoutCredits(text)) {
        out.push_back({std::string(line.text), line.font});
    }
    return out;
}

TEST(CreditsMarkup, MarkerHidesItselfAndWhatPrecedesIt) {
    EXPECT_EQ(Draw("~Nplain\nignored ~Bshown"),
              (std::vector<Drawn>{{"plain", Font::kNormal}, {"shown", Font::kBold}}));
}

TEST(CreditsMarkup, TwoTildesDrawNothingAndKeepTheFont) {
    EXPECT_EQ(
        Draw("~Na\n~~\nb"),
        (std::vector<Drawn>{{"a", Font::kNormal}, {"", Font::kNormal}, {"b", Font::kNormal}}));
}

TEST(CreditsMarkup, TextWithoutMarkersIsAllBold) {
    EXPECT_EQ(Draw("one\n\ntwo & three"),
              (std::vector<Drawn>{
                  {"one", Font::kBold}, {"", Font::kBold}, {"two & three", Font::kBold}}));
}

TEST(CreditsMarkup, OnlyTheFirstTildeCountsAndUnknownMarkersSelectNothing) {
    EXPECT_EQ(Draw("~Na~Bb\n~Zc\nd~\n~ée"),
              (std::vector<Drawn>{{"a~Bb", Font::kNormal},
                                  {"c", Font::kNormal},
                                  {"", Font::kNormal},
                                  {"e", Font::kNormal}}));  // never half a UTF-8 sequence
}

TEST(CreditsScroll, ShortTextRestartsAtTheTopOnceGone) {
    // 139 - 40 = 99 is still smaller than the view's 100 pixels.
    for (int height : {28, 139}) {
        CreditsScroll scroll;
        scroll.Reset(height);
        for (int i = 0; i < height; ++i) {
            ASSERT_EQ(scroll.Scroll(-1, 100), CreditsScroll::Step::kMoved) << i;
        }
        EXPECT_EQ(scroll.Scroll(-1, 100), CreditsScroll::Step::kRestarted);
        EXPECT_EQ(scroll.Offset(), 0);
    }
}

TEST(CreditsScroll, TallTextReentersFromBelowTheBottomEdge) {
    CreditsScroll scroll;
    scroll.Reset(141);  // 141 - 40 = 101 is not smaller than 100
    while (scroll.Scroll(-1, 100) == CreditsScroll::Step::kMoved) {
    }
    EXPECT_EQ(scroll.Offset(), 101);
    // From there the text rises through the whole view and past its height.
    int steps = 0;
    while (scroll.Scroll(-1, 100) == CreditsScroll::Step::kMoved) {
        ++steps;
    }
    EXPECT_EQ(steps, 101 + 141);
}

TEST(CreditsPause, FirstMoveComesOnTheFortySeventhTick) {
    CreditsPause pause;
    for (int i = 0; i < kCreditsPauseTicks; ++i) {
        ASSERT_FALSE(pause.Tick()) << i;
    }
    EXPECT_TRUE(pause.Tick());
    EXPECT_TRUE(pause.Tick());
    pause.Reset();
    EXPECT_FALSE(pause.Tick());
}

}  // namespace
}  // namespace parlo::ui
