#include "server/core/presence.h"

#include <algorithm>
#include <utility>

#include "protocol/ascii.h"
#include "protocol/commands.h"

namespace parlo::server {

int Presence::StateOf(std::string_view login) const {
    const OnlineEntry* entry = online_.FindFirstByLogin(login);
    if (entry == nullptr) {
        return kStateOffline;
    }
    if (entry->inactive) {
        return kStateInactive;
    }
    return entry->away ? kStateAway : kStateOnline;
}

std::string Presence::StateListOf(const OnlineEntry& entry, size_t* left_out) const {
    BoundedList text(std::string(keyword::kSetState) + "!", '!');
    if (const Account* account = AccountOf(users_, entry)) {
        // The full broadcast looks every state up: it is what the states
        // kept by the watch index are checked against.
        const std::vector<std::string>& book = account->address_book;
        const bool kept = mode_ == BroadcastMode::kChanges && entry.watched.size() == book.size();
        std::string item;
        for (size_t i = 0; i < book.size(); ++i) {
            const std::string& contact = book[i];
            item.assign(contact).push_back(':');
            const int code = kept ? KeptStateOf(*entry.watched[i], contact) : StateOf(contact);
            item.push_back(static_cast<char>('0' + code));  // codes 0 to 3
            text.Add(item);
        }
    }
    if (left_out != nullptr) {
        *left_out = text.LeftOut();
    }
    return text.Text();
}

int Presence::KeptStateOf(WatchedLogin& watched, std::string_view contact) const {
    if (!EqualsNoCase(*watched.login, contact)) {
        return StateOf(contact);  // the book changed since it was watched
    }
    if (watched.state == WatchedLogin::kUnknown) {
        watched.state = StateOf(contact);
    }
    return watched.state;
}

void Presence::Send(OnlineEntry& entry, std::string list, size_t left_out) {
    entry.last_state_list = std::move(list);
    sink_.SendStateList(entry, entry.last_state_list, left_out);
}

void Presence::Broadcast(const OnlineEntry* cause, int64_t now_ms) {
    size_t left_out = 0;
    if (mode_ == BroadcastMode::kFull) {
        for (const auto& entry : online_.Entries()) {
            std::string list = StateListOf(*entry, &left_out);
            Send(*entry, std::move(list), left_out);
        }
        for (OnlineEntry* entry : stale_) {
            entry->state_list_stale = false;
        }
        stale_.clear();
        return;
    }
    // The cause's list is its answer: always sent.
    if (cause != nullptr && cause->connection != nullptr) {
        if (OnlineEntry* sender = online_.Find(*cause->connection); sender == cause) {
            // While lists wait, a stale cause stays marked (its list is
            // compared when they are sent); else it is skipped below.
            sender->state_list_stale = sender->state_list_stale && delay_ms_ > 0;
            std::string list = StateListOf(*sender, &left_out);
            Send(*sender, std::move(list), left_out);
        }
    }
    if (delay_ms_ <= 0) {
        SendChangedLists();
    } else if (!due_at_ms_) {
        due_at_ms_ = now_ms + delay_ms_;
    }
}

void Presence::SendDue(int64_t now_ms) {
    // Lists gathered over the wait go in slices, so that the connections
    // waiting for an answer are served between them.
    // The entries that change while the slices go wait for the next gather.
    if (gathered_.empty()) {
        gathered_.swap(stale_);
    }
    size_t built = 0;
    while (!gathered_.empty() && built < kListsPerSlice) {
        OnlineEntry* entry = gathered_.back();
        gathered_.pop_back();
        if (entry->state_list_stale) {
            SendIfChanged(*entry);
            ++built;
        }
    }
    due_at_ms_.reset();
    if (!gathered_.empty()) {
        due_at_ms_ = now_ms;  // the rest at the next turn
    } else if (!stale_.empty()) {
        due_at_ms_ = now_ms + delay_ms_;
    }
}

void Presence::SendChangedLists() {
    // Sending never changes the online list: the stale entries stay valid.
    for (OnlineEntry* entry : stale_) {
        if (entry->state_list_stale) {  // else the cause, already served
            SendIfChanged(*entry);
        }
    }
    stale_.clear();
}

void Presence::SendIfChanged(OnlineEntry& entry) {
    entry.state_list_stale = false;
    size_t left_out = 0;
    std::string list = StateListOf(entry, &left_out);
    if (list != entry.last_state_list) {
        Send(entry, std::move(list), left_out);
    }
}

void Presence::MarkStale(OnlineEntry& entry) {
    if (!entry.state_list_stale) {
        entry.state_list_stale = true;
        stale_.push_back(&entry);
    }
}

void Presence::StateChanged(std::string_view login) {
    WatchedLogin* watched = login.empty() ? nullptr : watch_.Find(login);
    if (watched == nullptr) {
        return;
    }
    watched->state = WatchedLogin::kUnknown;  // looked up again when next shown
    for (OnlineEntry* entry : watched->watchers) {
        MarkStale(*entry);
    }
}

void Presence::Rewatch(OnlineEntry& entry) {
    if (const Account* account = AccountOf(users_, entry)) {
        watch_.Watch(entry, account->address_book);
    } else {
        watch_.Unwatch(entry);
    }
    MarkStale(entry);
}

void Presence::RewatchLogin(std::string_view login) {
    for (OnlineEntry* entry : online_.FindAllByLogin(login)) {
        Rewatch(*entry);
    }
}

void Presence::RewatchAll() {
    watch_.Clear();
    for (const auto& entry : online_.Entries()) {
        entry->watched.clear();
        Rewatch(*entry);
    }
}

void Presence::Forget(OnlineEntry& entry) {
    watch_.Unwatch(entry);
    if (entry.state_list_stale) {
        entry.state_list_stale = false;
        for (std::vector<OnlineEntry*>* list : {&stale_, &gathered_}) {
            list->erase(std::remove(list->begin(), list->end(), &entry), list->end());
        }
    }
}

void Presence::Clear() {
    watch_.Clear();
    stale_.clear();
    gathered_.clear();
    due_at_ms_.reset();
}

}  // namespace parlo::server
