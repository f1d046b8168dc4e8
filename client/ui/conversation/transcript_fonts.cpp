#include "client/ui/conversation/transcript_fonts.h"

#include "client/core/qt_text.h"
#include "shared_ui/verdana_font.h"

namespace parlo::client {
namespace {

size_t IndexOf(TranscriptFont font) {
    return static_cast<size_t>(font);
}

}  // namespace

TranscriptFonts TranscriptFonts::Make() {
    return {
        .body = VerdanaFont(16, QFont::Normal),
        .header = VerdanaFont(16, QFont::Normal),
        .information = VerdanaFont(12, QFont::Light),
    };
}

const QFont& TranscriptFonts::Of(TranscriptFont font) const {
    switch (font) {
        case TranscriptFont::kHeader:
            return header;
        case TranscriptFont::kInformation:
            return information;
        case TranscriptFont::kBody:
            break;
    }
    return body;
}

QColor TranscriptColour(TranscriptFont font) {
    switch (font) {
        case TranscriptFont::kHeader:
            return {90, 90, 90};
        case TranscriptFont::kInformation:
            return {50, 50, 110};
        case TranscriptFont::kBody:
            break;
    }
    return {0, 0, 0};
}

FontMeasure::FontMeasure(const TranscriptFonts& fonts)
    : metrics_{QFontMetrics(fonts.body), QFontMetrics(fonts.header),
               QFontMetrics(fonts.information)} {}

int FontMeasure::Width(TranscriptFont font, std::string_view utf8) const {
    return metrics_[IndexOf(font)].horizontalAdvance(Q(utf8));
}

int FontMeasure::RowHeight(TranscriptFont font) const {
    return metrics_[IndexOf(font)].height();
}

}  // namespace parlo::client
