#include "client/core/own_state_menus.h"

#include "protocol/commands.h"

namespace parlo::client {
namespace {

OwnStateMenu CommonMenu(int state) {
    OwnStateMenu menu;
    menu.online_checked = state == kStateOnline;
    menu.offline_checked = state == kStateOffline;
    menu.away_checked = state == kStateAway;
    menu.connect_enabled = state == kStateOffline;
    menu.disconnect_enabled = state != kStateOffline;
    return menu;
}

}  // namespace

std::optional<OwnPicture> OwnStatePicture(int state) {
    switch (state) {
        case kStateOnline:
            return OwnPicture::kOnline;
        case kStateOffline:
            return OwnPicture::kOffline;
        case kStateInactive:
        case kStateAway:
            return OwnPicture::kAway;
        case kStateStartup:
        case kStateConnecting:
            return OwnPicture::kNeutral;
        default:
            return std::nullopt;
    }
}

bool TrayIconRemoved(int state) {
    return state == kStateExit;
}

OwnStateMenu MenuBarFor(int state) {
    OwnStateMenu menu = CommonMenu(state);
    menu.state_menu_enabled = state == kStateOnline || state == kStateAway;
    return menu;
}

OwnStateMenu TrayMenuFor(int state) {
    OwnStateMenu menu = CommonMenu(state);
    menu.state_menu_enabled = state != kStateOffline;
    return menu;
}

}  // namespace parlo::client
