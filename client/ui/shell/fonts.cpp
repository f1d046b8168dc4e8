#include "client/ui/shell/fonts.h"

namespace parlo::client {

ContactListFonts ContactListFonts::Make() {
    return {
        .title = VerdanaFont(18, QFont::Bold),
        .state = VerdanaFont(16, QFont::Normal, true),
        .header = VerdanaFont(16, QFont::Bold),
        .names = VerdanaFont(16, QFont::Normal),
        .status = VerdanaFont(10, QFont::Normal, true),
    };
}

}  // namespace parlo::client
