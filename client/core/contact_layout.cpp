#include "client/core/contact_layout.h"

namespace parlo::client {

ContactListLayout LayOutContacts(const ContactList& contacts, bool online_expanded,
                                 bool offline_expanded, int header_height, int scroll) {
    ContactListLayout layout;
    layout.scroll = scroll;
    layout.online_expanded = online_expanded;
    layout.offline_expanded = offline_expanded;
    layout.online_header_y = layout.Scrolled(ContactListLayout::kOnlineHeaderY);
    layout.online_top = layout.Scrolled(ContactListLayout::kOnlineTop);
    layout.online_toggle = {5, layout.online_header_y, 21, layout.online_header_y + 16};
    if (online_expanded) {
        layout.online_rows = static_cast<int>(contacts.GroupMembers(ContactGroup::kOnline).size());
    }
    if (offline_expanded) {
        layout.offline_rows =
            static_cast<int>(contacts.GroupMembers(ContactGroup::kOffline).size());
    }
    layout.offline_header_y =
        layout.online_top + header_height + ContactListLayout::kRowHeight * layout.online_rows;
    layout.offline_toggle = {5, layout.offline_header_y, 21, layout.offline_header_y + 16};
    layout.offline_top = layout.offline_header_y + ContactListLayout::kRowHeight;
    layout.content_height =
        layout.OfflineRowY(layout.offline_rows) + scroll + ContactListLayout::kBottomMargin;
    return layout;
}

std::vector<ContactListItem> ContactListItems(const ContactList& contacts,
                                              const ContactListLayout& layout, int width) {
    std::vector<ContactListItem> items;
    const auto add_group = [&](ContactGroup group, int header_y, int first_row_y, bool expanded) {
        items.push_back(
            {group, nullptr, {0, header_y, width, header_y + ContactListLayout::kRowHeight}});
        if (!expanded) {
            return;
        }
        int y = first_row_y;
        for (const Contact* contact : contacts.GroupMembers(group)) {
            items.push_back({group, contact, {0, y, width, y + ContactListLayout::kRowHeight}});
            y += ContactListLayout::kRowHeight;
        }
    };
    add_group(ContactGroup::kOnline, layout.online_header_y, layout.online_top,
              layout.online_expanded);
    add_group(ContactGroup::kOffline, layout.offline_header_y, layout.offline_top,
              layout.offline_expanded);
    return items;
}

namespace {

const Contact* RowOf(const ContactList& contacts, ContactGroup group, int offset) {
    const auto members = contacts.GroupMembers(group);
    const size_t row = static_cast<size_t>(offset / ContactListLayout::kRowHeight);
    return row < members.size() ? members[row] : nullptr;
}

}  // namespace

const Contact* HitTest(const ContactList& contacts, const ContactListLayout& layout, int y) {
    if (y > layout.online_top && y < layout.offline_top) {
        if (!layout.online_expanded) {
            return nullptr;
        }
        return RowOf(contacts, ContactGroup::kOnline, y - layout.online_top);
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
