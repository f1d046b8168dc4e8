#include "client/core/contact_list.h"

#include <algorithm>

#include "protocol/ascii.h"
#include "protocol/commands.h"

namespace parlo::client {

std::optional<PresencePicture> PictureOfState(int state) {
    switch (state) {
        case kStateOnline:
            return PresencePicture::kOnline;
        case kStateOffline:
            return PresencePicture::kOffline;
        case kStateInactive:
        case kStateAway:
            return PresencePicture::kAway;
        default:
            return std::nullopt;
    }
}

std::optional<ContactGroup> GroupOfState(int state) {
    switch (state) {
        case kStateOnline:
        case kStateInactive:
        case kStateAway:
            return ContactGroup::kOnline;
        case kStateOffline:
            return ContactGroup::kOffline;
        default:
            return std::nullopt;
    }
}

void ContactList::Rebuild(std::string_view address_book_command) {
    entries_.clear();
    for (const AccountEntryView& entry : ParseAccountEntries(address_book_command)) {
        Insert(Contact{.login = std::string(entry.login),
                       .first_name = std::string(entry.first_name),
                       .last_name = std::string(entry.last_name),
                       .email = std::string(entry.email)});
    }
}

int ContactList::ApplyStates(std::string_view set_state_command) {
    int changed = 0;
    for (const StateEntryView& entry : ParseStateEntries(set_state_command)) {
        const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Contact& c) {
            return EqualsNoCase(c.login, entry.login);
        });
        if (it != entries_.end() &&
            SetContactState(static_cast<size_t>(it - entries_.begin()), entry.code)) {
            ++changed;
        }
    }
    return changed;
}

void ContactList::Insert(Contact contact) {
    const auto it = std::upper_bound(
        entries_.begin(), entries_.end(), contact,
        [](const Contact& a, const Contact& b) { return LessNoCase(a.login, b.login); });
    entries_.insert(it, std::move(contact));
}

bool ContactList::SetContactState(size_t index, int state) {
    Contact& contact = entries_.at(index);
    if (contact.state == state) {
        return false;
    }
    contact.state = state;
    if (const auto picture = PictureOfState(state)) {
        contact.picture = *picture;
    }
    return true;
}

void ContactList::SetAllOffline() {
    for (size_t i = 0; i < entries_.size(); ++i) {
        SetContactState(i, kStateOffline);
    }
}

const Contact* ContactList::Find(std::string_view login) const {
    for (const Contact& contact : entries_) {
        if (EqualsNoCase(contact.login, login)) {
            return &contact;
        }
    }
    return nullptr;
}

std::vector<const Contact*> ContactList::GroupMembers(ContactGroup group) const {
    std::vector<const Contact*> members;
    for (const Contact& contact : entries_) {
        if (GroupOfState(contact.state) == group) {
            members.push_back(&contact);
        }
    }
    return members;
}

bool CanMessage(const Contact& contact) {
    return contact.state != kStateOffline;
}

std::string StatusText(const Contact* contact) {
    if (contact == nullptr) {
        return {};
    }
    const std::string& first = contact->first_name;
    const std::string& email = contact->email;
    if (!first.empty() && !email.empty()) {
        return "Nom : " + first + " " + contact->last_name + "\nEmail : " + email;
    }
    if (!first.empty()) {
        return "Nom : " + first + " " + contact->last_name;
    }
    if (!email.empty()) {
        return "Email : " + email;
    }
    return {};
}

std::string_view ConversationStateText(int state) {
    switch (state) {
        case kStateOnline:
            return "connecté(e)";
        case kStateInactive:
            return "inactif(ve)";
        case kStateAway:
            return "absent(e)";
        default:
            return "déconnecté(e)";
    }
}

std::string ContactRowName(const Contact& contact) {
    std::string_view state = "déconnecté(e)";
    switch (contact.state) {
        case kStateOnline:
            state = "en ligne";
            break;
        case kStateInactive:
            state = "inactif(ve)";
            break;
        case kStateAway:
            state = "absent(e)";
            break;
        default:
            break;
    }
    return contact.login + ", " + std::string(state);
}

}  // namespace parlo::client
