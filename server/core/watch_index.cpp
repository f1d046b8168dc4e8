#include "server/core/watch_index.h"

#include <algorithm>

namespace parlo::server {

void WatchIndex::Watch(OnlineEntry& entry, std::span<const std::string> logins) {
    Unwatch(entry);
    entry.watched.reserve(logins.size());
    for (const std::string& login : logins) {
        const auto [slot, added] = by_login_.try_emplace(login);
        WatchedLogin& watched = slot->second;
        if (added) {
            watched.login = &slot->first;  // nodes never move
        }
        watched.watchers.push_back(&entry);
        entry.watched.push_back(&watched);
    }
}

void WatchIndex::Unwatch(OnlineEntry& entry) {
    for (WatchedLogin* watched : entry.watched) {
        std::vector<OnlineEntry*>& watchers = watched->watchers;
        const auto found = std::find(watchers.begin(), watchers.end(), &entry);
        if (found != watchers.end()) {
            *found = watchers.back();  // order does not matter
            watchers.pop_back();
        }
        if (watchers.empty()) {
            by_login_.erase(by_login_.find(*watched->login));  // its last registration
        }
    }
    entry.watched.clear();
}

std::span<OnlineEntry* const> WatchIndex::Watchers(std::string_view login) const {
    const auto bucket = by_login_.find(login);
    if (bucket == by_login_.end()) {
        return {};
    }
    return bucket->second.watchers;
}

WatchedLogin* WatchIndex::Find(std::string_view login) {
    const auto bucket = by_login_.find(login);
    return bucket == by_login_.end() ? nullptr : &bucket->second;
}

}  // namespace parlo::server
