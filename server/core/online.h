// The online registry (one entry per accepted connection, in order of
// acceptance) and the rows of the console's online-clients list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/codec.h"
#include "server/core/record_list.h"
#include "server/core/userdb.h"

namespace parlo::server {

class Connection;
struct WatchedLogin;

// One accepted connection: where it comes from, what it declared, and, once
// logged in, the record fields of its account.
struct OnlineEntry : RecordFields {
    Connection* connection = nullptr;  // owned by the network adapter
    std::string ip;                    // dotted peer address
    uint16_t port = 0;                 // peer port, host order
    std::string computer;              // computer name sent with Connect
    bool inactive = false;             // declared state 2
    bool away = false;                 // declared state 3
    bool has_row = false;              // a console row was added at login
    // The presence bookkeeping: whether its state list may have changed,
    // the logins that list shows (as the watch index holds them, in the
    // order of the account's address book), and the last list sent (empty:
    // none yet).
    bool state_list_stale = false;
    std::vector<WatchedLogin*> watched;
    std::string last_state_list;
    // Which accepted connection this is (never reused), failed logins on it,
    // the time (steady clock, ms) until which its frames wait (0: none), a
    // Connect waiting for that time, and whether stored commands are still
    // being replayed to it.
    uint64_t serial = 0;
    int failed_logins = 0;
    int64_t held_until_ms = 0;
    std::string held_connect;
    bool replaying = false;
};
// The name the entry had while accounts and entries shared one type.
using UserRecord = OnlineEntry;

// The account behind a logged-in entry: the first whose login equals the
// entry's (case aside); null when the entry is not identified or has none.
inline Account* AccountOf(const RecordList& users, const OnlineEntry& entry) {
    return users.FindFirstByLogin(entry.login);
}

class OnlineList {
  public:
    OnlineList() = default;
    OnlineList(const OnlineList&) = delete;
    OnlineList& operator=(const OnlineList&) = delete;

    // Entries in order of acceptance (see IndexedList for what may be changed).
    const IndexedList<OnlineEntry>::Storage& Entries() const { return entries_.Records(); }
    size_t Size() const { return entries_.Size(); }

    // Appends a not-identified entry for a new connection.
    OnlineEntry& Add(Connection& connection, std::string_view ip, uint16_t port);
    OnlineEntry* Find(const Connection& connection) const;
    bool Contains(const OnlineEntry& entry) const { return entries_.Contains(entry); }
    // The frame reader that keeps this connection's partial frames.
    FrameReader* ReaderOf(const Connection& connection);
    // Takes the entry out of the list; null when the connection has none.
    std::unique_ptr<OnlineEntry> Remove(const Connection& connection);
    void Clear();

    // Identifies an entry with an account's record text (false: refused).
    bool SetRecordText(OnlineEntry& entry, std::string_view record_text) {
        return entries_.SetRecordText(entry, record_text);
    }

    // The first identified entry whose login equals `login` (ASCII case aside).
    OnlineEntry* FindFirstByLogin(std::string_view login) const {
        return entries_.FindFirstByLogin(login);
    }
    std::span<OnlineEntry* const> FindAllByLogin(std::string_view login) const {
        return entries_.FindAllByLogin(login);
    }

  private:
    struct Live {
        OnlineEntry* entry = nullptr;
        FrameReader reader;  // partial frames of this connection
    };

    IndexedList<OnlineEntry> entries_{IndexedList<OnlineEntry>::Credentials::kNotIndexed};
    std::unordered_map<const Connection*, Live> by_connection_;
};

// One row of the console's online-clients list.
struct ConsoleRow {
    std::string computer;
    std::string ip;
    std::string port;  // decimal
    std::string first_name;
    std::string last_name;
};

// The online-clients rows, kept in ascending order of the Computer column
// (ASCII case aside; a new row goes after its equals). Rows are identified
// only by their IP column.
class ConsoleRows {
  public:
    size_t Size() const { return rows_.size(); }
    const ConsoleRow& At(size_t index) const { return *rows_[index]; }

    void Add(ConsoleRow row);
    // Sets the names of the first row, from the top, whose IP is `ip`.
    bool UpdateNamesOfFirst(std::string_view ip, std::string_view first_name,
                            std::string_view last_name);
    // Deletes the first row, from the top, whose IP is exactly `ip`.
    bool RemoveFirst(std::string_view ip);
    void Clear() { rows_.clear(); }

  private:
    ConsoleRow* FindFirst(std::string_view ip);

    std::vector<std::unique_ptr<ConsoleRow>> rows_;
};

}  // namespace parlo::server
