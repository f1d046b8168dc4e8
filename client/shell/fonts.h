// The five fonts of the contact list, all "Verdana". Where the system has no
// Verdana, "Veranda" (Debian's fonts-arkpandora, drawn to Verdana's metrics)
// takes its place, so texts keep their widths.
#pragma once

#include <QFont>

namespace parlo::client {

struct ContactListFonts {
    QFont title;   // the own login: 18 pixels, bold
    QFont state;   // the own state label: 16 pixels, italic
    QFont header;  // "Connecté", "Déconnecté": 16 pixels, bold
    QFont names;   // the contacts' logins: 16 pixels
    QFont status;  // the status line: 10 pixels, italic

    static ContactListFonts Make();
};

// A font whose line height (ascent + descent) is at most `cell_height`
// pixels, as the classic font heights count them.
QFont FontOfCellHeight(const QString& family, int cell_height, QFont::Weight weight, bool italic);

}  // namespace parlo::client
