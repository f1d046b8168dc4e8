// The client's pictures, from its resource file (drawn by
// artwork/draw_artwork.cpp): the own-state icons, the presence pictures, the
// group toggles and the logo.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "client/core/contact_list.h"
#include "client/core/own_state_menus.h"

namespace parlo::client {

// One own-state picture with its 16, 32 and 64 pixel images; with `unread`,
// the variant that carries the unread mark.
QIcon OwnIcon(OwnPicture picture, bool unread = false);
// The program's icon: the online picture.
QIcon ProgramIcon();
// The pictures below are drawn for a screen of `pixel_ratio` device pixels
// per pixel, from their drawing at twice the size above a ratio of 1; their
// sizes are in pixels.
// 16 x 16.
QPixmap PresencePixmap(PresencePicture picture, qreal pixel_ratio = 1.0);
// 16 x 16; the arrow points down while the group is expanded.
QPixmap TogglePixmap(bool expanded, qreal pixel_ratio = 1.0);
// 96 x 96, opaque, on white.
QPixmap LogoPixmap(qreal pixel_ratio = 1.0);

}  // namespace parlo::client
