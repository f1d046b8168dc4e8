// The transcript's layout worked out by hand with equal-width characters:
// kinds of lines, units, wrapping, emoticon codes and aliases, every written
// character drawn; and the growing layout against a layout from scratch.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "client/ui/conversation/transcript_fonts.h"
#include "client/ui/conversation/transcript_layout.h"
#include "tests/client_conversation/fixed_measure.h"

namespace parlo::client::testing {
namespace {

constexpr int kC = FixedMeasure::kCharacter;
constexpr int kWide = 1000;

std::vector<TranscriptSegment> Lay(std::string_view text, int width = kWide) {
    return LayOutTranscript(text, width, FixedMeasure());
}

// The text drawn as text, pictures as "[n]".
std::string Drawn(const TranscriptSegment& segment) {
    std::string drawn;
    for (const TranscriptRun& run : segment.runs) {
        if (run.bitmap != 0) {
            drawn += "[" + std::to_string(run.bitmap) + "]";
        } else {
            drawn += segment.text.substr(run.begin, run.end - run.begin);
        }
    }
    return drawn;
}

std::string DrawnBody(std::string_view line) {
    const auto segments = Lay(line);
    EXPECT_EQ(segments.size(), 1u) << line;
    return segments.empty() ? std::string() : Drawn(segments[0]);
}

TEST(TranscriptLayout, ExampleHeaderThenBodyWithSmile) {
    const auto segments = Lay("bob dit :\nsalut :-) ça va\n");
    ASSERT_EQ(segments.size(), 2u);

    const TranscriptSegment& header = segments[0];
    EXPECT_EQ(header.font, TranscriptFont::kHeader);
    EXPECT_EQ(header.text, "bob dit :");
    EXPECT_EQ(header.top, 0);
    EXPECT_EQ(header.bottom, 16);
    ASSERT_EQ(header.runs.size(), 1u);
    EXPECT_EQ(header.runs[0], (TranscriptRun{0, 9, 0, 9 * kC, 0}));

    const TranscriptSegment& body = segments[1];
    EXPECT_EQ(body.font, TranscriptFont::kBody);
    EXPECT_NE(body.unit, header.unit);
    EXPECT_EQ(body.text, "  salut :-) ça va");
    const std::vector<TranscriptRun> runs{
        {0, 8, 0, 8 * kC, 0},
        {8, 11, 8 * kC, 21, 142},
        {11, 18, 8 * kC + 21, 6 * kC, 0},
    };
    EXPECT_EQ(body.runs, runs);
    EXPECT_EQ(body.left, 8 * kC + 21);
    EXPECT_EQ(body.right, 14 * kC + 21);
    // The row ends with the emoticon's piece: it is as high as the picture.
    EXPECT_EQ(body.top, 16);
    EXPECT_EQ(body.bottom, 16 + 21);
}

TEST(TranscriptLayout, LineKindsUnitsAndHeights) {
    const auto segments =
        Lay("alice dit :\nbonjour\nsecond\r\n\n\ninfo :bob a rejoint info :la conversation\n"
            "bob dit :\nil dit : non\nfin");
    ASSERT_EQ(segments.size(), 7u);
    EXPECT_EQ(segments[0].unit, 0);
    EXPECT_EQ(segments[1].unit, 1);
    EXPECT_EQ(segments[2].unit, 1);  // the body lines of one message share a unit
    EXPECT_EQ(segments[2].text, "  second");

    const TranscriptSegment& info = segments[3];
    EXPECT_EQ(info.font, TranscriptFont::kInformation);
    EXPECT_EQ(info.text, "bob a rejoint la conversation");
    EXPECT_EQ(info.unit, 2);
    EXPECT_EQ(info.bottom - info.top, 12);

    EXPECT_EQ(segments[4].unit, 3);
    // A body line holding "dit :" is a header of its own.
    EXPECT_EQ(segments[5].font, TranscriptFont::kHeader);
    EXPECT_EQ(segments[5].text, "il dit : non");
    EXPECT_EQ(segments[5].unit, 4);
    // The text after the last line feed is a line too.
    EXPECT_EQ(segments[6].text, "  fin");
    EXPECT_EQ(segments[6].unit, 5);
    for (size_t i = 1; i < segments.size(); ++i) {
        EXPECT_EQ(segments[i].top, segments[i - 1].bottom);
    }
}

TEST(TranscriptLayout, CodesAliasesAndLetterCase) {
    EXPECT_EQ(DrawnBody(";)"), "  [154]");
    EXPECT_EQ(DrawnBody(";-)"), "  [154]");
    EXPECT_EQ(DrawnBody("(C)"), "  [159]");
    EXPECT_EQ(DrawnBody(":x"), "  [159]");
    EXPECT_EQ(DrawnBody(":-X"), "  [159]");
    EXPECT_EQ(DrawnBody(":-d :p"), "  [151] [153]");
    EXPECT_EQ(DrawnBody("(L) (K) (H)"), "  [149] [150] [146]");
    EXPECT_EQ(DrawnBody(":'( :| :-| :$ :@ :a :s :( :o :)"),
              "  [144] [143] [143] [145] [147] [148] [156] [155] [152] [142]");
    // Aliases are written in capitals only; "(l)" stays text.
    EXPECT_EQ(DrawnBody("(l)"), "  (l)");
    // The row keeps the codes the aliases stand for.
    EXPECT_EQ(Lay(";) (C)")[0].text, "  :c :X");

    EXPECT_EQ(EmoticonBitmap(":-)"), 142);
    EXPECT_EQ(EmoticonBitmap(":-c"), 154);
    EXPECT_EQ(EmoticonBitmap(":-)x"), 0);
    EXPECT_TRUE(IsEmoticonCandidate(":Sam"));
    EXPECT_FALSE(IsEmoticonCandidate("(L)"));
}

TEST(TranscriptLayout, EveryWrittenCharacterIsDrawn) {
    // ":Sam" holds ":S" but names no picture: it stays text.
    EXPECT_EQ(DrawnBody("Note:Sam"), "  Note:Sam");
    EXPECT_EQ(DrawnBody("Note:Sam et :-)"), "  Note:Sam et [142]");
    // Two colons in a row do not end the row.
    EXPECT_EQ(DrawnBody("a::b"), "  a::b");
    EXPECT_EQ(DrawnBody("heure :: 14:30 :)"), "  heure :: 14:30 [142]");
    EXPECT_EQ(DrawnBody(":-)::suite"), "  [142]::suite");
    EXPECT_EQ(DrawnBody("fin:"), "  fin:");
    const auto info = Lay("info ::-)");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(Drawn(info[0]), "[142]");
    // The runs cover the row without gap or overlap.
    const auto segments = Lay("x :-) y :D:z ;) (C)fin ::");
    ASSERT_EQ(segments.size(), 1u);
    size_t at = 0;
    int x = 0;
    for (const TranscriptRun& run : segments[0].runs) {
        EXPECT_EQ(run.begin, at);
        EXPECT_EQ(run.x, x);
        at = run.end;
        x += run.width;
    }
    EXPECT_EQ(at, segments[0].text.size());

    // The longest message of colons and codes: one text run, pictures
    // between runs, measured once each.
    const auto colons = Lay(std::string(8172, ':'));
    ASSERT_EQ(colons.size(), 1u);
    ASSERT_EQ(colons[0].runs.size(), 1u);
    EXPECT_EQ(colons[0].runs[0].width, 8172 * kC);
    std::string codes;
    while (codes.size() < 8160) {
        codes += ":-):x";
    }
    const auto pictures = Lay(codes);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].runs.size(), codes.size() / 5 * 2);
}

TEST(TranscriptLayout, RowHeightFollowsTheLastPiece) {
    EXPECT_EQ(Lay("a :-)")[0].bottom, 21);
    EXPECT_EQ(Lay("a :-) b: c")[0].bottom, 16);
    // A lone colon left by two colons does not count as the last piece.
    EXPECT_EQ(Lay("a :-):")[0].bottom, 21);
    EXPECT_EQ(Lay("a :Sam")[0].bottom, 21);  // a candidate, even without a picture
}

TEST(TranscriptLayout, WrapsAtSpacesWithTwoSpaceIndent) {
    const int width = 8 * kC + 1;  // "aaa bbb" fits, "aaa bbb ccc" does not
    const auto segments = Lay("aaa bbb ccc ddd", width);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].text, "  aaa bbb");
    EXPECT_EQ(segments[1].text, "  ccc ddd");  // the last word may overflow
    EXPECT_EQ(segments[1].top, 16);
    EXPECT_EQ(segments[0].unit, segments[1].unit);

    // One word wider than the window: one row, not indented.
    const std::string word(30, 'w');
    const auto long_word = Lay(word, width);
    ASSERT_EQ(long_word.size(), 1u);
    EXPECT_EQ(long_word[0].text, word);
    // A first word too wide takes the whole rest, unindented.
    const auto rest = Lay(word + " et la suite", width);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].text, word + " et la suite");
    // A word that fits is indented like any row.
    EXPECT_EQ(Lay("ok", width)[0].text, "  ok");
    EXPECT_EQ(Lay(" ok", width)[0].text, "  ok");
    // A trailing space left alone is dropped.
    const auto trailing = Lay("aaa bbb ccc ", width);
    ASSERT_EQ(trailing.size(), 2u);
    EXPECT_EQ(trailing[1].text, "  ccc ");
    // No room at all still ends.
    EXPECT_EQ(Lay("a b c d", -16).size(), 1u);
}

TEST(TranscriptLayout, CharacterUnderThePoint) {
    const auto segments = Lay("ab :-) cd");
    ASSERT_EQ(segments.size(), 1u);
    const TranscriptSegment& row = segments[0];  // "  ab " [:-)] " cd"
    const FixedMeasure measure;
    EXPECT_EQ(CharacterAt(row, 0, measure), 1u);
    EXPECT_EQ(CharacterAt(row, kC - 1, measure), 1u);
    EXPECT_EQ(CharacterAt(row, kC, measure), 2u);
    EXPECT_EQ(CharacterAt(row, 5 * kC, measure), 8u);  // the picture is one character
    EXPECT_EQ(CharacterAt(row, 5 * kC + 20, measure), 8u);
    EXPECT_EQ(CharacterAt(row, 5 * kC + 21, measure), 9u);
    EXPECT_EQ(CharacterAt(row, 500, measure), row.text.size());
    // Never inside a character's bytes.
    const auto accents = Lay("éé");
    EXPECT_EQ(CharacterAt(accents[0], 2 * kC, measure), 4u);
    EXPECT_EQ(CharacterAt(accents[0], 3 * kC, measure), 6u);
}

TEST(TranscriptLayout, FindsSegmentsByHeight) {
    const FixedMeasure measure;
    TranscriptLayout layout(measure);
    layout.SetWrapWidth(kWide);
    layout.Append("a dit :\nx :)\ninfo :y\n");  // rows 0-16, 16-37, 37-49
    EXPECT_EQ(layout.Height(), 49);
    EXPECT_EQ(layout.FirstBelow(-5), 0u);
    EXPECT_EQ(layout.FirstBelow(15), 0u);
    EXPECT_EQ(layout.FirstBelow(16), 1u);
    EXPECT_EQ(layout.FirstBelow(48), 2u);
    EXPECT_EQ(layout.FirstBelow(49), 3u);
    EXPECT_EQ(layout.SegmentAt(36), 1u);
    EXPECT_EQ(layout.SegmentAt(-1), std::nullopt);
    EXPECT_EQ(layout.SegmentAt(49), std::nullopt);
}

// Pieces the random transcripts are made of: codes, aliases, colons, marks,
// long words, accents, line feeds and carriage returns.
const std::vector<std::string> kPieces{
    // Broken UTF-8 and a NUL, as a faulty peer may send them.
    "\xc3",
    "\xa9\xa9",
    "\xff",
    std::string(1, '\0'),
    "salut",
    " ",
    " ",
    ":-)",
    ":)",
    ";)",
    ";-)",
    "(C)",
    "(L)",
    ":x",
    ":Sam",
    "::",
    ":",
    "dit :",
    "info :",
    "\n",
    "\n",
    "\r\n",
    "ça",
    "va",
    "anticonstitutionnellement",
    "x",
    ":'(",
    ":D",
    "bob",
    "alice dit :\n",
    "info :bob est parti\n",
    std::string(40, 'm'),
};

std::string RandomText(std::mt19937& random, int pieces) {
    std::uniform_int_distribution<size_t> pick(0, kPieces.size() - 1);
    std::string text;
    for (int i = 0; i < pieces; ++i) {
        text += kPieces[pick(random)];
    }
    return text;
}

void ExpectSameAsFromScratch(const TextMeasure& measure, unsigned seed, int steps) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pieces(1, 12);
    std::uniform_int_distribution<int> action(0, 9);
    std::uniform_int_distribution<int> width(20, 400);
    TranscriptLayout layout(measure);
    layout.SetWrapWidth(width(random));
    for (int step = 0; step < steps; ++step) {
        const int what = action(random);
        if (what == 0) {
            layout.SetWrapWidth(width(random));
        } else if (what <= 2) {
            // Appended the way the conversation window does.
            layout.Append("bob dit :\n" + RandomText(random, pieces(random)) + "\n");
        } else {
            // Any cut, the middle of a line included.
            layout.Append(RandomText(random, pieces(random)));
        }
        const auto expected = LayOutTranscript(layout.Text(), layout.WrapWidth(), measure);
        ASSERT_EQ(layout.Segments(), expected) << "seed " << seed << ", step " << step;
        ASSERT_EQ(layout.Height(), expected.empty() ? 0 : expected.back().bottom);
    }
    // Every point of every row names a character end within the row.
    std::uniform_int_distribution<int> x(-10, 600);
    for (const TranscriptSegment& segment : layout.Segments()) {
        const size_t at = CharacterAt(segment, x(random), measure);
        ASSERT_LE(at, segment.text.size());
        ASSERT_TRUE(at == segment.text.size() || at > 0);
    }
    EXPECT_EQ(layout.Text().find('\r'), std::string::npos);
}

TEST(TranscriptLayout, GrowingLayoutMatchesLayoutFromScratch) {
    const FixedMeasure fixed;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        ExpectSameAsFromScratch(fixed, seed, 60);
    }
    const TranscriptFonts fonts = TranscriptFonts::Make();
    const FontMeasure measured(fonts);
    for (unsigned seed = 100; seed < 104; ++seed) {
        ExpectSameAsFromScratch(measured, seed, 40);
    }
}

}  // namespace
}  // namespace parlo::client::testing
