// For each login, the online connection entries whose state list shows it
// (their account's address book holds it), so that a change of one login's
// state costs a visit of the connections it concerns, not of all of them.
// Each watched login also keeps its state code once looked up, so that the
// lists showing it are built without a lookup per contact.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/core/online.h"

namespace parlo::server {

struct WatchedLogin {
    static constexpr int kUnknown = -1;
    const std::string* login = nullptr;  // as the index holds it
    std::vector<OnlineEntry*> watchers;  // one per registration, in no particular order
    int state = kUnknown;                // the login's state code, or kUnknown
};

class WatchIndex {
  public:
    // Registers `entry` under each of `logins` (once per occurrence) and
    // keeps them, in that order, in entry.watched; first undoes the entry's
    // registrations.
    void Watch(OnlineEntry& entry, std::span<const std::string> logins);
    // Undoes every registration of `entry` and empties entry.watched.
    void Unwatch(OnlineEntry& entry);
    // The entries registered under `login` (ASCII case aside), one per
    // registration, in no particular order; valid until the index changes.
    std::span<OnlineEntry* const> Watchers(std::string_view login) const;
    // The watched login (ASCII case aside), or null when nobody watches it.
    WatchedLogin* Find(std::string_view login);
    // Forgets every registration: the entries' `watched` must be emptied too.
    void Clear() { by_login_.clear(); }

  private:
    std::unordered_map<std::string, WatchedLogin, LoginHash, LoginEqual> by_login_;
};

}  // namespace parlo::server
