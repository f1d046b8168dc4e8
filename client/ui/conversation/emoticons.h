// The emoticon pictures (21 x 21) and the codes that insert them.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <span>
#include <string_view>

namespace parlo::client {

inline constexpr int kEmoticonSize = 21;

// The picture numbered `bitmap` (142 to 156, or 159), drawn for a screen of
// `pixel_ratio` device pixels per pixel; a null pixmap for any other number.
QPixmap EmoticonPicture(int bitmap, qreal pixel_ratio = 1.0);
// The picture at one and two device pixels per pixel.
QIcon EmoticonIcon(int bitmap);

struct EmoticonMenuItem {
    std::string_view code;  // inserted into the input
    int bitmap;             // drawn in the menu
    std::string_view name;  // what the picture shows, for screen readers
};

// The conversation window's emoticon menu, in menu order.
std::span<const EmoticonMenuItem> EmoticonMenuItems();

}  // namespace parlo::client
