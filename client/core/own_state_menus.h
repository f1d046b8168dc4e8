// What the tray icon, the window icon and the two menus show for an own
// state. The menu bar and the tray menu grey "Etat" under different rules.
#pragma once

#include <optional>

namespace parlo::client {

// The four pictures of the own state (each a 16 and a 32 pixel image).
enum class OwnPicture { kOnline, kOffline, kAway, kNeutral };

// The tray and window picture for `state`: online 0, offline 1, away 2 and 3,
// neutral 4 and 6. None for 5 (the tray icon is removed) and for any other
// code (the pictures stay as they were).
std::optional<OwnPicture> OwnStatePicture(int state);

// The tray icon exists from state 4 (start-up) until state 5 (exit).
bool TrayIconRemoved(int state);

struct OwnStateMenu {
    bool online_checked = false;   // "En ligne"
    bool offline_checked = false;  // "Déconnecté(e)"
    bool away_checked = false;     // "Absent(e)"
    bool connect_enabled = false;
    bool disconnect_enabled = false;
    bool state_menu_enabled = false;  // the "Etat" submenu
};

// The menu bar: "Etat" only in states 0 and 3.
OwnStateMenu MenuBarFor(int state);
// The tray menu, built at each opening: "&Etat" greyed only in state 1.
OwnStateMenu TrayMenuFor(int state);

}  // namespace parlo::client
