#include "shared_ui/credits_markup.h"

#include <cstdlib>

namespace parlo::ui {
namespace {

// Length of the UTF-8 sequence starting at text[i] (1 for stray bytes), so a
// marker never leaves half a character behind it.
size_t SequenceLength(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (lead >= 0xF0) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = 3;
    } else if (lead >= 0xC0) {
        length = 2;
    }
    size_t n = 1;
    while (n < length && i + n < text.size() &&
           (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) {
        ++n;
    }
    return n;
}

}  // namespace

std::vector<CreditsLine> LayoutCredits(std::string_view text) {
    std::vector<CreditsLine> lines;
    CreditsFont font = CreditsFont::kBold;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        const size_t tilde = line.find('~');
        if (tilde != std::string_view::npos) {
            size_t after = tilde + 1;
            if (after < line.size()) {
                if (line[after] == 'B') {
                    font = CreditsFont::kBold;
                } else if (line[after] == 'N') {
                    font = CreditsFont::kNormal;
                }
                after += SequenceLength(line, after);
            }
            line.remove_prefix(after);
        }
        lines.push_back({line, font});
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

int CreditsTextHeight(std::string_view text) {
    int count = 1;
    for (char c : text) {
        count += c == '\n' ? 1 : 0;
    }
    return count * kCreditsLineHeight;
}

CreditsStrip UncoveredStrip(int d, int view_height) {
    if (d < 0) {
        return {view_height + d - 2, view_height + 2};
    }
    return {0, d};
}

CreditsScroll::Step CreditsScroll::Scroll(int d, int view_height) {
    offset_ += d;
    if (std::abs(offset_) > text_height_) {
        offset_ = text_height_ - 40 < view_height ? 0 : view_height + 1;
        return Step::kRestarted;
    }
    return Step::kMoved;
}

std::string_view CreditsText() {
    return "\n"
           "\n"
           "~B- Parlomatic -\n"
           "\n"
           "~BConception\n"
           "~NL'équipe Parlomatic\n"
           "\n"
           "~BServeur et protocole\n"
           "~NL'équipe réseau\n"
           "\n"
           "~BClient de messagerie\n"
           "~NL'équipe poste de travail\n"
           "\n"
           "~BGraphismes et sons\n"
           "~NL'atelier Parlomatic\n"
           "\n"
           "~BEssais et recette\n"
           "~NTous nos premiers utilisateurs\n"
           "\n"
           "~BMerci d'utiliser Parlomatic !\n"
           "\n"
           "\n"
           "~BÉcrivez-nous\n"
           "~Ncontact@parlomatic.example";
}

}  // namespace parlo::ui
