#include "client/contacts/contact_layout.h"

namespace parlo::client {

ContactListLayout LayOutContacts(const ContactList& contacts, bool online_expanded,
                                 bool offline_expanded, int header_height) {
    ContactListLayout layout;
    layout.online_expanded = online_expanded;
    layout.offline_expanded = offline_expanded;
    layout.online_toggle = {5, ContactListLayout::kOnlineHeaderY, 21,
                            ContactListLayout::kOnlineHeaderY + 16};
    if (online_expanded) {
        layout.online_rows = static_cast<int>(contacts.GroupMembers(ContactGroup::kOnline).size());
    }
    layout.offline_header_y = ContactListLayout::kOnlineTop + header_height +
                              ContactListLayout::kRowHeight * layout.online_rows;
    layout.offline_toggle = {5, layout.offline_header_y, 21, layout.offline_header_y + 16};
    layout.offline_top = layout.offline_header_y + ContactListLayout::kRowHeight;
    return layout;
}

namespace {

const Contact* RowOf(const ContactList& contacts, ContactGroup group, int offset) {
    const auto members = contacts.GroupMembers(group);
    const size_t row = static_cast<size_t>(offset / ContactListLayout::kRowHeight);
    return row < members.size() ? members[row] : nullptr;
}

}  // namespace

const Contact* HitTest(const ContactList& contacts, const ContactListLayout& layout, int y) {
    if (y > ContactListLayout::kOnlineTop && y < layout.offline_top) {
        if (!layout.online_expanded) {
            return nullptr;
        }
        return RowOf(contacts, ContactGroup::kOnline, y - ContactListLayout::kOnlineTop);
    }
    if (y > layout.offline_top) {
        if (!layout.offline_expanded) {
            return nullptr;
        }
        return RowOf(contacts, ContactGroup::kOffline, y - layout.offline_top);
    }
    return nullptr;
}

}  // namespace parlo::client
