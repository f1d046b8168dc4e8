// The client's pictures, from its resource file (drawn by
// artwork/draw_artwork.cpp): the own-state icons, the presence pictures, the
// group toggles and the logo.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "client/core/contact_list.h"
#include "client/core/own_state_menus.h"

namespace parlo::client {

// One own-state picture with its 16 and 32 pixel images; with `unread`, the
// variant that carries the unread mark.
QIcon OwnIcon(OwnPicture picture, bool unread = false);
// The program's icon: the online picture.
QIcon ProgramIcon();
// 16 x 16.
QPixmap PresencePixmap(PresencePicture picture);
// 16 x 16; the arrow points down while the group is expanded.
QPixmap TogglePixmap(bool expanded);
// 96 x 96, opaque, on white.
QPixmap LogoPixmap();

}  // namespace parlo::client
