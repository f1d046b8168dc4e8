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

TEST(CreditsMarkup, OnlyTheFirstTildeOfALineIsAMarker) {
    EXPECT_EQ(Draw("~Na~Bb\nc"),
              (std::vector<Drawn>{{"a~Bb", Font::kNormal}, {"c", Font::kNormal}}));
}

TEST(CreditsMarkup, UnknownOrTruncatedMarkerSelectsNothing) {
    EXPECT_EQ(
        Draw("~Nx\n~Zy\nz~"),
        (std::vector<Drawn>{{"x", Font::kNormal}, {"y", Font::kNormal}, {"", Font::kNormal}}));
}

TEST(CreditsMarkup, MarkerCharacterIsNeverHalfAUtf8Sequence) {
    EXPECT_EQ(Draw("~éreste"), (std::vector<Drawn>{{"reste", Font::kBold}}));
}

TEST(CreditsMarkup, HeightCountsEveryLineIncludingBlankOnes) {
    EXPECT_EQ(CreditsTextHeight(""), kCreditsLineHeight);
    EXPECT_EQ(CreditsTextHeight("\n\n~Ba\n"), 4 * kCreditsLineHeight);
}

TEST(CreditsMarkup, WordingFollowsTheCreditsLayout) {
    const std::vector<CreditsLine> lines = LayoutCredits(CreditsText());
    ASSERT_GT(lines.size(), 8u);
    EXPECT_TRUE(lines[0].text.empty());
    EXPECT_TRUE(lines[1].text.empty());
    EXPECT_EQ(lines[2].text, "- Parlomatic -");
    EXPECT_EQ(lines[2].font, Font::kBold);
    EXPECT_EQ(lines.back().font, Font::kNormal);
    EXPECT_NE(lines.back().text.find('@'), std::string_view::npos);
    for (const CreditsLine& line : lines) {
        // A lone '&' would be swallowed as a mnemonic prefix.
        EXPECT_EQ(line.text.find('&'), std::string_view::npos) << line.text;
    }
}

TEST(CreditsScroll, ShortTextRestartsAtTheTopOnceGone) {
    CreditsScroll scroll;
    scroll.Reset(28);
    for (int i = 0; i < 28; ++i) {
        ASSERT_EQ(scroll.Scroll(-1, 100), CreditsScroll::Step::kMoved) << i;
    }
    EXPECT_EQ(scroll.Offset(), -28);
    EXPECT_EQ(scroll.Scroll(-1, 100), CreditsScroll::Step::kRestarted);
    EXPECT_EQ(scroll.Offset(), 0);
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

TEST(CreditsScroll, TextJustUnderTheLimitStillRestartsAtTheTop) {
    CreditsScroll scroll;
    scroll.Reset(139);  // 139 - 40 = 99 < 100
    while (scroll.Scroll(-1, 100) == CreditsScroll::Step::kMoved) {
    }
    EXPECT_EQ(scroll.Offset(), 0);
}

TEST(CreditsScroll, UncoveredStripFollowsTheDirection) {
    const CreditsStrip up = UncoveredStrip(-1, 100);
    EXPECT_EQ(up.top, 97);
    EXPECT_EQ(up.bottom, 102);
    const CreditsStrip down = UncoveredStrip(3, 100);
    EXPECT_EQ(down.top, 0);
    EXPECT_EQ(down.bottom, 3);
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
