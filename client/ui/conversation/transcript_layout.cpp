#include "client/ui/conversation/transcript_layout.h"

#include <algorithm>
#include <array>

#include "protocol/ascii.h"

namespace parlo::client {
namespace {

constexpr std::string_view kHeaderMark = "dit :";
constexpr std::string_view kInformationMark = "info :";

// The codes that make a piece of text an emoticon candidate, in the order
// they are looked for.
constexpr std::array<std::string_view, 31> kCandidateCodes{
    ":-)", ":)",  ":-D", ":D",  ":-O", ":O",  ":-P", ":P",  ":-C", ":C", ":-S",
    ":S",  ":-|", ":|",  ":-(", ":(",  ":'(", ":-$", ":$",  ":-8", ":8", ":-@",
    ":@",  ":-A", ":A",  ":-L", ":L",  ":-X", ":X",  ":-K", ":K",
};

struct CodePicture {
    std::string_view code;
    int bitmap;
};
constexpr std::array<CodePicture, 31> kPictures{{
    {":-)", 142}, {":)", 142},  {":-|", 143}, {":|", 143},  {":'(", 144}, {":-$", 145},
    {":$", 145},  {":-8", 146}, {":8", 146},  {":-@", 147}, {":@", 147},  {":-A", 148},
    {":A", 148},  {":-L", 149}, {":L", 149},  {":-K", 150}, {":K", 150},  {":-D", 151},
    {":D", 151},  {":-O", 152}, {":O", 152},  {":-P", 153}, {":P", 153},  {":-C", 154},
    {":C", 154},  {":-(", 155}, {":(", 155},  {":-S", 156}, {":S", 156},  {":-X", 159},
    {":X", 159},
}};

struct Alias {
    std::string_view from;
    std::string_view to;
};
constexpr std::array<Alias, 6> kAliases{{
    {";)", ":c"},
    {";-)", ":c"},
    {"(L)", ":L"},
    {"(K)", ":K"},
    {"(H)", ":8"},
    {"(C)", ":X"},
}};

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Index just after the UTF-8 character that starts at `i`.
size_t NextCharacter(std::string_view text, size_t i) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
        ++i;
    }
    return i;
}

// Adds the text [begin, end) to `segment`, joined to a text run just before
// it so that text is measured and drawn as written.
void AddText(TranscriptSegment& segment, size_t begin, size_t end) {
    if (begin == end) {
        return;
    }
    if (!segment.runs.empty() && segment.runs.back().bitmap == 0) {
        segment.runs.back().end = end;
        return;
    }
    segment.runs.push_back({.begin = begin, .end = end, .x = 0, .width = 0, .bitmap = 0});
}

// Measures the text runs and places every run after the one before.
void PlaceRuns(TranscriptSegment& segment, const TextMeasure& measure) {
    const std::string_view text = segment.text;
    int x = 0;
    for (TranscriptRun& run : segment.runs) {
        run.x = x;
        if (run.bitmap == 0) {
            run.width = measure.Width(segment.font, text.substr(run.begin, run.end - run.begin));
            segment.left = x;
            segment.right = x + run.width;
        }
        x += run.width;
    }
}

// Lays out one row at the cursor's y: the pieces between colons, each an
// emoticon candidate or text. Every byte of the row is drawn: a candidate
// word that names no picture stays text, and an empty piece (two colons in a
// row) does not end the row.
void LayOutRow(std::string_view row, TranscriptFont font, int unit, const TextMeasure& measure,
               LayoutCursor& cursor, std::vector<TranscriptSegment>& out) {
    TranscriptSegment segment;
    segment.unit = unit;
    segment.top = cursor.y;
    segment.font = font;
    segment.text = RewriteAliases(row);
    const std::string_view text = segment.text;

    bool last_was_candidate = false;
    size_t begin = 0;
    for (bool first = true;; first = false) {
        // A piece runs from a colon (the first from the row's start) to the
        // next colon.
        const size_t colon = text.find(':', first ? 0 : begin + 1);
        const size_t end = colon == std::string_view::npos ? text.size() : colon;
        const std::string_view piece = text.substr(begin, end - begin);
        // A piece that is a lone colon was an empty field: drawn, but it
        // does not count as the row's last piece.
        if (first ? !piece.empty() : piece.size() > 1) {
            last_was_candidate = IsEmoticonCandidate(piece);
        }
        size_t text_begin = begin;
        if (IsEmoticonCandidate(piece)) {
            const size_t word_end = std::min(end, text.find(' ', begin));
            const int bitmap = EmoticonBitmap(text.substr(begin, word_end - begin));
            if (bitmap != 0) {
                segment.runs.push_back({.begin = begin,
                                        .end = word_end,
                                        .x = 0,
                                        .width = kEmoticonPictureSize,
                                        .bitmap = bitmap});
                text_begin = word_end;
            }
        }
        AddText(segment, text_begin, end);
        if (colon == std::string_view::npos) {
            break;
        }
        begin = colon;
    }
    PlaceRuns(segment, measure);
    cursor.y += last_was_candidate ? kEmoticonPictureSize : measure.RowHeight(font);
    segment.bottom = cursor.y;
    out.push_back(std::move(segment));
}

// Cuts a body line into rows no wider than `wrap_width` at spaces, each row
// indented by two spaces; a first word too wide alone takes the rest of the
// line unindented.
void WrapBody(std::string_view line, int wrap_width, int unit, const TextMeasure& measure,
              LayoutCursor& cursor, std::vector<TranscriptSegment>& out) {
    std::string_view rest = line;
    while (!rest.empty()) {
        size_t cut = 0;
        bool fitted = true;
        size_t space = rest.find(' ', 1);
        if (space == std::string_view::npos) {
            // No space to cut at: the word alone decides.
            fitted = measure.Width(TranscriptFont::kBody, rest) < wrap_width;
        }
        for (; space != std::string_view::npos; space = rest.find(' ', space + 1)) {
            if (measure.Width(TranscriptFont::kBody, rest.substr(0, space)) >= wrap_width) {
                fitted = false;
                break;
            }
            cut = space;
        }
        if (fitted) {
            cut = rest.size();
        }
        if (cut == 0) {
            LayOutRow(rest, TranscriptFont::kBody, unit, measure, cursor, out);
            return;
        }
        std::string row(rest.substr(0, cut));
        if (row[0] != ' ') {
            row.insert(row.begin(), ' ');
        }
        if (row[1] != ' ') {
            row.insert(row.begin(), ' ');
        }
        LayOutRow(row, TranscriptFont::kBody, unit, measure, cursor, out);
        rest.remove_prefix(cut);
        if (rest == " ") {
            rest = {};
        }
    }
}

std::string WithoutAll(std::string_view text, std::string_view part) {
    std::string result;
    result.reserve(text.size());
    for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part)) {
        result.append(text.substr(0, at));
        text.remove_prefix(at + part.size());
    }
    result.append(text);
    return result;
}

}  // namespace

bool IsEmoticonCandidate(std::string_view piece) {
    return std::any_of(kCandidateCodes.begin(), kCandidateCodes.end(),
                       [piece](std::string_view code) { return ContainsNoCase(piece, code); });
}

int EmoticonBitmap(std::string_view word) {
    for (const CodePicture& picture : kPictures) {
        if (EqualsNoCase(word, picture.code)) {
            return picture.bitmap;
        }
    }
    return 0;
}

std::string RewriteAliases(std::string_view row) {
    std::string text(row);
    for (const Alias& alias : kAliases) {
        for (size_t at = text.find(alias.from); at != std::string::npos;
             at = text.find(alias.from, at + alias.to.size())) {
            text.replace(at, alias.from.size(), alias.to);
        }
    }
    return text;
}

void LayOutLine(std::string_view line, int wrap_width, const TextMeasure& measure,
                LayoutCursor& cursor, std::vector<TranscriptSegment>& out) {
    if (line.empty()) {
        return;
    }
    if (Contains(line, kHeaderMark)) {
        cursor.body_unit = -1;
        LayOutRow(line, TranscriptFont::kHeader, cursor.next_unit++, measure, cursor, out);
    } else if (Contains(line, kInformationMark)) {
        cursor.body_unit = -1;
        LayOutRow(WithoutAll(line, kInformationMark), TranscriptFont::kInformation,
                  cursor.next_unit++, measure, cursor, out);
    } else {
        if (cursor.body_unit < 0) {
            cursor.body_unit = cursor.next_unit++;
        }
        WrapBody(line, wrap_width, cursor.body_unit, measure, cursor, out);
    }
}

std::vector<TranscriptLine> TranscriptLines(std::string_view text) {
    std::vector<TranscriptLine> lines;
    LayoutCursor units;
    size_t begin = 0;
    while (begin < text.size()) {
        const size_t end = std::min(text.find('\n', begin), text.size());
        const std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        if (line.empty()) {
            continue;
        }
        if (Contains(line, kHeaderMark)) {
            units.body_unit = -1;
            lines.push_back({std::string(line), units.next_unit++});
        } else if (Contains(line, kInformationMark)) {
            units.body_unit = -1;
            lines.push_back({WithoutAll(line, kInformationMark), units.next_unit++});
        } else {
            if (units.body_unit < 0) {
                units.body_unit = units.next_unit++;
            }
            lines.push_back({std::string(line), units.body_unit});
        }
    }
    return lines;
}

std::vector<TranscriptSegment> LayOutTranscript(std::string_view text, int wrap_width,
                                                const TextMeasure& measure) {
    const std::string plain = WithoutAll(text, "\r");
    std::vector<TranscriptSegment> segments;
    LayoutCursor cursor;
    std::string_view rest = plain;
    while (true) {
        const size_t feed = rest.find('\n');
        LayOutLine(rest.substr(0, feed), wrap_width, measure, cursor, segments);
        if (feed == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(feed + 1);
    }
    return segments;
}

size_t CharacterAt(const TranscriptSegment& segment, int x, const TextMeasure& measure) {
    const std::string_view text = segment.text;
    for (const TranscriptRun& run : segment.runs) {
        if (run.bitmap != 0) {
            if (x < run.x + run.width) {
                return run.end;
            }
            continue;
        }
        if (x >= run.x + run.width) {
            continue;
        }
        for (size_t i = NextCharacter(text, run.begin); i <= run.end; i = NextCharacter(text, i)) {
            if (x < run.x + measure.Width(segment.font, text.substr(run.begin, i - run.begin))) {
                return i;
            }
        }
        return run.end;
    }
    return text.size();
}

void TranscriptLayout::Append(std::string_view text) {
    if (text.empty()) {
        return;
    }
    size_t begin = text_.size();
    if (open_line_ != std::string::npos) {
        begin = open_line_;
        segments_.resize(open_segments_);
        cursor_ = open_cursor_;
        open_line_ = std::string::npos;
    }
    text_.append(WithoutAll(text, "\r"));
    LayOutFrom(begin);
}

void TranscriptLayout::SetWrapWidth(int width) {
    if (width == wrap_width_) {
        return;
    }
    wrap_width_ = width;
    segments_.clear();
    cursor_ = {};
    open_line_ = std::string::npos;
    LayOutFrom(0);
}

void TranscriptLayout::LayOutFrom(size_t begin) {
    const std::string_view text = text_;
    while (begin < text.size()) {
        const size_t feed = text.find('\n', begin);
        if (feed == std::string_view::npos) {
            open_line_ = begin;
            open_cursor_ = cursor_;
            open_segments_ = segments_.size();
            LayOutLine(text.substr(begin), wrap_width_, measure_, cursor_, segments_);
            return;
        }
        LayOutLine(text.substr(begin, feed - begin), wrap_width_, measure_, cursor_, segments_);
        begin = feed + 1;
    }
}

size_t TranscriptLayout::FirstBelow(int y) const {
    const auto found = std::upper_bound(
        segments_.begin(), segments_.end(), y,
        [](int value, const TranscriptSegment& segment) { return value < segment.bottom; });
    return static_cast<size_t>(found - segments_.begin());
}

std::optional<size_t> TranscriptLayout::SegmentAt(int y) const {
    const size_t index = FirstBelow(y);
    if (index < segments_.size() && segments_[index].top <= y) {
        return index;
    }
    return std::nullopt;
}

}  // namespace parlo::client
