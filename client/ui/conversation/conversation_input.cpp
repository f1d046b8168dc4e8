#include "client/ui/conversation/conversation_input.h"

namespace parlo::client {

size_t CutOnCharacterBoundary(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    size_t cut = limit;
    // A continuation byte (10xxxxxx) is never the first byte of a character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return cut;
}

}  // namespace parlo::client
