#include "server/core/online.h"

#include <algorithm>

#include "protocol/ascii.h"

namespace parlo::server {

OnlineEntry& OnlineList::Add(Connection& connection, std::string_view ip, uint16_t port) {
    auto entry = std::make_unique<OnlineEntry>();
    entry->connection = &connection;
    entry->ip.assign(ip);
    entry->port = port;
    // A connection object reused by the adapter replaces its stale entry.
    Remove(connection);
    OnlineEntry& added = entries_.Append(std::move(entry));
    by_connection_[&connection] = Live{&added, FrameReader()};
    return added;
}

OnlineEntry* OnlineList::Find(const Connection& connection) const {
    const auto found = by_connection_.find(&connection);
    return found == by_connection_.end() ? nullptr : found->second.entry;
}

FrameReader* OnlineList::ReaderOf(const Connection& connection) {
    const auto found = by_connection_.find(&connection);
    return found == by_connection_.end() ? nullptr : &found->second.reader;
}

std::unique_ptr<OnlineEntry> OnlineList::Remove(const Connection& connection) {
    const auto found = by_connection_.find(&connection);
    if (found == by_connection_.end()) {
        return nullptr;
    }
    OnlineEntry* entry = found->second.entry;
    by_connection_.erase(found);
    return entries_.Remove(*entry);
}

void OnlineList::Clear() {
    by_connection_.clear();
    entries_.Clear();
}

void ConsoleRows::Add(ConsoleRow row) {
    const auto place = std::upper_bound(
        rows_.begin(), rows_.end(), row.computer,
        [](const std::string& computer, const auto& other) {
            return LessNoCase(computer, other->computer);  // Computer column, case aside
        });
    rows_.insert(place, std::make_unique<ConsoleRow>(std::move(row)));
}

ConsoleRow* ConsoleRows::FindFirst(std::string_view ip) {
    for (const auto& row : rows_) {
        if (row->ip == ip) {
            return row.get();
        }
    }
    return nullptr;
}

bool ConsoleRows::UpdateNamesOfFirst(std::string_view ip, std::string_view first_name,
                                     std::string_view last_name) {
    ConsoleRow* row = FindFirst(ip);
    if (row == nullptr) {
        return false;
    }
    row->first_name.assign(first_name);
    row->last_name.assign(last_name);
    return true;
}

bool ConsoleRows::RemoveFirst(std::string_view ip) {
    const auto found =
        std::find_if(rows_.begin(), rows_.end(), [&](const auto& row) { return row->ip == ip; });
    if (found == rows_.end()) {
        return false;
    }
    rows_.erase(found);
    return true;
}

}  // namespace parlo::server
