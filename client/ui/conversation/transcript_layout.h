// How a transcript is laid out, apart from any window: the kinds of lines,
// the wrapping of message bodies, the emoticon codes and their pictures, and
// a layout that grows with the transcript and keeps every row it has laid
// out until the wrapping width changes.
//
// Coordinates are the content's: y 0 is the top of the first row, x 0 the
// left edge of the text area. The view moves them by its scroll offset.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlo::client {

enum class TranscriptFont { kBody, kHeader, kInformation };

// Text measured in the view's fonts.
class TextMeasure {
  public:
    virtual ~TextMeasure() = default;
    // The width of `utf8` drawn in `font`.
    virtual int Width(TranscriptFont font, std::string_view utf8) const = 0;
    // The height of "O" in `font`: the height of one row of text.
    virtual int RowHeight(TranscriptFont font) const = 0;
};

inline constexpr int kEmoticonPictureSize = 21;

// Part of a segment drawn in one go: text, or one emoticon picture standing
// for the code in its bytes.
struct TranscriptRun {
    size_t begin = 0;  // bytes of the segment's text
    size_t end = 0;
    int x = 0;
    int width = 0;
    int bitmap = 0;  // the emoticon picture; 0 for text

    bool operator==(const TranscriptRun&) const = default;
};

// One laid-out row.
struct TranscriptSegment {
    int unit = 0;  // a header, an information line, or the body rows between them
    int top = 0;
    int bottom = 0;
    int left = 0;  // extent of the last text drawn in the row
    int right = 0;
    std::string text;  // the row as drawn, indentation and rewritten aliases included
    TranscriptFont font = TranscriptFont::kBody;
    std::vector<TranscriptRun> runs;  // in order, covering the whole text

    bool operator==(const TranscriptSegment&) const = default;
};

// True when `piece` contains, ignoring case, one of the emoticon codes.
bool IsEmoticonCandidate(std::string_view piece);
// The picture of the code `word` (compared ignoring case); 0 for none.
int EmoticonBitmap(std::string_view word);
// `row` with ";)", ";-)", "(L)", "(K)", "(H)" and "(C)" written as the codes
// they stand for.
std::string RewriteAliases(std::string_view row);

// Where the layout of one line leaves off for the next.
struct LayoutCursor {
    int y = 0;
    int next_unit = 0;
    int body_unit = -1;  // the unit of the body rows being laid out; -1 after a header
};

// Lays out one line of the transcript (no line feed, no carriage return) at
// the cursor, appending its rows to `out`. Body lines wrap within
// `wrap_width`.
void LayOutLine(std::string_view line, int wrap_width, const TextMeasure& measure,
                LayoutCursor& cursor, std::vector<TranscriptSegment>& out);

// The whole transcript laid out from its first line.
std::vector<TranscriptSegment> LayOutTranscript(std::string_view text, int wrap_width,
                                                const TextMeasure& measure);

// A line of the transcript as a screen reader reads it: information lines
// without their marker; `unit` is that of the rows it is drawn in.
struct TranscriptLine {
    std::string text;
    int unit = 0;
};
std::vector<TranscriptLine> TranscriptLines(std::string_view text);

// The byte index in `segment` under x: the smallest character end (at least
// one character) right of x, or the text's length. An emoticon picture
// counts as one character.
size_t CharacterAt(const TranscriptSegment& segment, int x, const TextMeasure& measure);

// The transcript with its rows. Appending lays out only the new lines (and
// the unfinished last line again); a new wrapping width lays out everything.
class TranscriptLayout {
  public:
    explicit TranscriptLayout(const TextMeasure& measure) : measure_(measure) {}

    // Carriage returns are dropped.
    void Append(std::string_view text);
    // Lays everything out again when `width` differs from the current one.
    void SetWrapWidth(int width);

    int WrapWidth() const { return wrap_width_; }
    const std::string& Text() const { return text_; }
    const std::vector<TranscriptSegment>& Segments() const { return segments_; }
    // The y below the last row.
    int Height() const { return cursor_.y; }
    // The first segment that reaches below y (Segments().size() when none).
    size_t FirstBelow(int y) const;
    // The segment whose band holds y.
    std::optional<size_t> SegmentAt(int y) const;

  private:
    void LayOutFrom(size_t begin);

    const TextMeasure& measure_;
    int wrap_width_ = 0;
    std::string text_;
    std::vector<TranscriptSegment> segments_;
    LayoutCursor cursor_;
    // The last line when no line feed ends it yet: laid out again on the
    // next append.
    size_t open_line_ = std::string::npos;
    LayoutCursor open_cursor_;
    size_t open_segments_ = 0;
};

}  // namespace parlo::client
