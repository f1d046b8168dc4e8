// The transcript's three fonts and colours, and its text measured in them.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <array>

#include "client/ui/conversation/transcript_layout.h"

namespace parlo::client {

// "Verdana": bodies and headers 16 pixels high, information lines 12 light.
struct TranscriptFonts {
    QFont body;
    QFont header;
    QFont information;

    static TranscriptFonts Make();
    const QFont& Of(TranscriptFont font) const;
};

// Headers grey, information lines blue-grey, bodies black.
QColor TranscriptColour(TranscriptFont font);

class FontMeasure final : public TextMeasure {
  public:
    explicit FontMeasure(const TranscriptFonts& fonts);

    int Width(TranscriptFont font, std::string_view utf8) const override;
    int RowHeight(TranscriptFont font) const override;

  private:
    std::array<QFontMetrics, 3> metrics_;
};

}  // namespace parlo::client
