// The credits text and its rules, without any widget: the line markup
// ("~B" bold, "~N" normal) and the scrolling arithmetic of the credits view.
#pragma once

#include <string_view>
#include <vector>

namespace parlo::ui {

enum class CreditsFont { kBold, kNormal };

// Height of one credits line, blank or not, in pixels.
inline constexpr int kCreditsLineHeight = 14;
// Timer ticks to wait before the text starts to move.
inline constexpr int kCreditsPauseTicks = 46;
inline constexpr int kCreditsTickMs = 35;

struct CreditsLine {
    std::string_view text;  // what is drawn ("&" still a mnemonic prefix)
    CreditsFont font = CreditsFont::kBold;
};

// Cuts `text` into lines at '\n'. The first '~' of a line and the character
// after it form a marker; the marker and everything before it are not drawn.
// "~B" and "~N" switch the font for this and the following lines; every text
// starts in bold. The returned views point into `text`.
std::vector<CreditsLine> LayoutCredits(std::string_view text);

// Total height of a laid-out text.
int CreditsTextHeight(std::string_view text);

// Vertical strip of the view to repaint after the text moved by `d` pixels.
struct CreditsStrip {
    int top = 0;
    int bottom = 0;  // exclusive
};
CreditsStrip UncoveredStrip(int d, int view_height);

// Position of the scrolling text relative to the view's top edge.
class CreditsScroll {
  public:
    enum class Step { kMoved, kRestarted };

    void Reset(int text_height) {
        offset_ = 0;
        text_height_ = text_height;
    }
    // Moves the text by `d` pixels (negative: up). Once the text has gone it
    // starts again: at the top when it is short, from below the view's bottom
    // edge when it is taller than the view plus 40 pixels.
    Step Scroll(int d, int view_height);

    int Offset() const { return offset_; }
    int TextHeight() const { return text_height_; }

  private:
    int offset_ = 0;
    int text_height_ = 0;
};

// The pause before the first movement: true when a tick should move the text.
class CreditsPause {
  public:
    bool Tick() {
        if (ticks_ < kCreditsPauseTicks) {
            ++ticks_;
            return false;
        }
        return true;
    }
    void Reset() { ticks_ = 0; }

  private:
    int ticks_ = 0;
};

// The credits wording shared by both programs.
std::string_view CreditsText();

}  // namespace parlo::ui
