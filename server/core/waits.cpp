// The core's timed work: the waits after failed logins, the login time-out
// and the state lists that wait to be sent together.
#include <algorithm>

#include "server/core/server_core.h"

namespace parlo::server {

void ServerCore::Hold(OnlineEntry& entry, int64_t until_ms) {
    if (entry.connection == nullptr) {
        return;
    }
    entry.held_until_ms = std::max<int64_t>(until_ms, 1);
    holds_.insert({entry.held_until_ms, entry.connection});
    entry.connection->HoldReading(true);
}

void ServerCore::Release(OnlineEntry& entry) {
    Connection& connection = *entry.connection;
    holds_.erase({entry.held_until_ms, &connection});
    entry.held_until_ms = 0;
    if (!entry.held_connect.empty()) {
        const std::string command = std::move(entry.held_connect);
        entry.held_connect.clear();
        if (CheckCredentials(entry, command) != Flow::kContinue) {
            return;  // waits again, or closed
        }
    }
    connection.HoldReading(false);
    HandleFrames(connection);
}

int64_t ServerCore::TimerDelayMs() const {
    std::optional<int64_t> next;
    if (!login_deadlines_.empty()) {
        next = login_deadlines_.front().at_ms;
    }
    if (!holds_.empty() && (!next || holds_.begin()->first < *next)) {
        next = holds_.begin()->first;
    }
    if (const auto lists = presence_.DueAtMs(); lists && (!next || *lists < *next)) {
        next = lists;
    }
    if (!next) {
        return -1;
    }
    return std::max<int64_t>(0, *next - options_.steady_ms());
}

void ServerCore::RunTimers() {
    const int64_t now = options_.steady_ms();
    while (!login_deadlines_.empty() && login_deadlines_.front().at_ms <= now) {
        const LoginDeadline due = login_deadlines_.front();
        login_deadlines_.pop_front();
        OnlineEntry* entry = online_.Find(*due.connection);
        if (entry != nullptr && entry->serial == due.serial && !entry->HasLogin()) {
            Log(entry->computer + " (" + entry->ip + ") non identifié après " +
                std::to_string(options_.login_timeout_ms / 1000) + " s : connexion fermée");
            CloseEntry(*entry);
        }
    }
    while (!holds_.empty() && holds_.begin()->first <= now) {
        OnlineEntry* entry = online_.Find(*holds_.begin()->second);
        if (entry == nullptr) {
            holds_.erase(holds_.begin());
            continue;
        }
        Release(*entry);
    }
    if (const auto lists = presence_.DueAtMs(); lists && *lists <= now) {
        presence_.SendDue(now);
    }
}

}  // namespace parlo::server
