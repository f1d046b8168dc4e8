#include "client/core/contact_layout.h"

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

std::vector<RuleSegment> GradientRule(int client_width) {
    std::vector<RuleSegment> segments;
    const int n = (client_width - 22) / 3;
    for (int i = 0; i < n; ++i) {
        segments.push_back({10 + 3 * i, 10 + 3 * i + 3, (n - i) * 255 / n});
    }
    return segments;
}

PixelRect StatusStrip(int client_width, int client_height) {
    return {0, client_height - 50, client_width - 70, client_height};
}

}  // namespace parlo::client
