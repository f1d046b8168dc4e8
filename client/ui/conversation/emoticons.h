// The emoticon pictures (21 x 21) and the codes that insert them.
#pragma once

#include <QPixmap>
#include <span>
#include <string_view>

namespace parlo::client {

inline constexpr int kEmoticonSize = 21;

// The picture numbered `bitmap` (142 to 156, or 159); a null pixmap for any
// other number.
QPixmap EmoticonPicture(int bitmap);

struct EmoticonMenuItem {
    std::string_view code;  // inserted into the input
    int bitmap;             // drawn in the menu
};

// The conversation window's emoticon menu, in menu order.
std::span<const EmoticonMenuItem> EmoticonMenuItems();

}  // namespace parlo::client
