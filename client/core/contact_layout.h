// Where the main window puts the contact list (pixels, client-area
// coordinates) and which contact lies under a point. Painting and hit testing
// share this one computation so they cannot drift apart.
#pragma once

#include <vector>

#include "client/core/contact_list.h"

namespace parlo::client {

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Positions are those of the view: the content is moved up by `scroll`
// pixels, so a position painted at y is hit at the same y.
struct ContactListLayout {
    static constexpr int kRowHeight = 20;
    // Where the groups start when the list is not scrolled.
    static constexpr int kOnlineHeaderY = 58;
    static constexpr int kOnlineTop = 78;
    static constexpr int kHeaderX = 25;
    static constexpr int kIconX = 20;
    static constexpr int kLoginX = 46;
    static constexpr int kLoginDy = 2;
    // Room kept below the last row, so that scrolling brings it above the
    // status line.
    static constexpr int kBottomMargin = 50;

    int scroll = 0;  // pixels the content is moved up
    bool online_expanded = true;
    bool offline_expanded = true;
    int online_rows = 0;       // rows drawn in the online group (0 when collapsed)
    int offline_rows = 0;      // rows drawn in the offline group (0 when collapsed)
    int online_header_y = 0;   // y of the "Connecté" header
    int online_top = 0;        // y of the first online row
    int offline_header_y = 0;  // y of the "Déconnecté" header
    int offline_top = 0;       // y of the first offline row
    int content_height = 0;    // the whole content's height, margin included
    PixelRect online_toggle;
    PixelRect offline_toggle;

    // The y of row `row` of a group.
    int OnlineRowY(int row) const { return online_top + kRowHeight * row; }
    int OfflineRowY(int row) const { return offline_top + kRowHeight * row; }
    // Where content placed at `y` before scrolling is now.
    int Scrolled(int y) const { return y - scroll; }
};

// `header_height` is the painted height of the "Connecté" header text.
ContactListLayout LayOutContacts(const ContactList& contacts, bool online_expanded,
                                 bool offline_expanded, int header_height, int scroll = 0);

// One place the keyboard can stand on: a group's header or a contact's row,
// top to bottom as painted.
struct ContactListItem {
    ContactGroup group = ContactGroup::kOnline;
    const Contact* contact = nullptr;  // none: the group's header
    PixelRect rect;                    // from x = 0 to the view's width
};
std::vector<ContactListItem> ContactListItems(const ContactList& contacts,
                                              const ContactListLayout& layout, int width);

// One segment of the rule under the own login: x from `left` to `right`,
// two pixels high centred on kRuleY, red 255, this green, blue 0.
struct RuleSegment {
    static constexpr int kRuleY = 40;
    int left = 0;
    int right = 0;
    int green = 0;
};
// (width - 22) / 3 segments of 3 pixels from x = 10, yellow on the left
// towards red; none when the client area is narrower than 25 pixels.
std::vector<RuleSegment> GradientRule(int client_width);

// The strip repainted when the status line changes: 50 pixels high at the
// bottom of the client area, without its 70 rightmost pixels.
PixelRect StatusStrip(int client_width, int client_height);

// The contact on the row at height y, or none. A collapsed group shows no
// rows, so its area holds no contact.
const Contact* HitTest(const ContactList& contacts, const ContactListLayout& layout, int y);

}  // namespace parlo::client
