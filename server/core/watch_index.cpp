#include "server/core/watch_index.h"

#include <algorithm>

namespace parlo::server {

void WatchIndex::Watch(OnlineEntry& entry, std::span<const std::string> logins) {
    Unwatch(entry);
    entry.watched.assign(logins.begin(), logins.end());
    for (const std::string& login : entry.watched) {
        by_login_[login].push_back(&entry);
    }
}

void WatchIndex::Unwatch(OnlineEntry& entry) {
    for (const std::string& login : entry.watched) {
        const auto bucket = by_login_.find(login);
        if (bucket == by_login_.end()) {
            continue;
        }
        std::vector<OnlineEntry*>& watchers = bucket->second;
        const auto found = std::find(watchers.begin(), watchers.end(), &entry);
        if (found != watchers.end()) {
            *found = watchers.back();  // order does not matter
            watchers.pop_back();
        }
        if (watchers.empty()) {
            by_login_.erase(bucket);
        }
    }
    entry.watched.clear();
}

std::span<OnlineEntry* const> WatchIndex::Watchers(std::string_view login) const {
    const auto bucket = by_login_.find(login);
    if (bucket == by_login_.end()) {
        return {};
    }
    return bucket->second;
}

}  // namespace parlo::server
