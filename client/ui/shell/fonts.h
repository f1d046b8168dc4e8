// The five fonts of the contact list, all "Verdana" (shared_ui/verdana_font.h).
#pragma once

#include <QFont>

#include "shared_ui/verdana_font.h"

namespace parlo::client {

struct ContactListFonts {
    QFont title;   // the own login: 18 pixels, bold
    QFont state;   // the own state label: 16 pixels, italic
    QFont header;  // "Connecté", "Déconnecté": 16 pixels, bold
    QFont names;   // the contacts' logins: 16 pixels
    QFont status;  // the status line: 10 pixels, italic

    static ContactListFonts Make();
};

}  // namespace parlo::client
