// Text measured as if every character were as wide as the next: layouts
// whose every position can be worked out by hand.
#pragma once

#include <string_view>

#include "client/ui/conversation/transcript_layout.h"

namespace parlo::client::testing {

class FixedMeasure final : public TextMeasure {
  public:
    static constexpr int kCharacter = 7;

    int Width(TranscriptFont, std::string_view utf8) const override {
        int characters = 0;
        for (const char c : utf8) {
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        }
        return characters * kCharacter;
    }
    int RowHeight(TranscriptFont font) const override {
        return font == TranscriptFont::kInformation ? 12 : 16;
    }
};

}  // namespace parlo::client::testing
