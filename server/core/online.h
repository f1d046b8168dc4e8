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
#include "server/core/userdb.h"

namespace parlo::server {

class OnlineList {
  public:
    OnlineList() = default;
    OnlineList(const OnlineList&) = delete;
    OnlineList& operator=(const OnlineList&) = delete;

    // Entries in order of acceptance (see RecordList for what may be changed).
    const RecordList::Storage& Entries() const { return entries_.Records(); }
    size_t Size() const { return entries_.Size(); }

    // Appends a not-identified entry for a new connection.
    UserRecord& Add(Connection& connection, std::string_view ip, uint16_t port);
    UserRecord* Find(const Connection& connection) const;
    bool Contains(const UserRecord& entry) const { return entries_.Contains(entry); }
    // The frame reader that keeps this connection's partial frames.
    FrameReader* ReaderOf(const Connection& connection);
    // Takes the entry out of the list; null when the connection has none.
    std::unique_ptr<UserRecord> Remove(const Connection& connection);
    void Clear();

    // Identifies an entry with an account's record text (false: refused).
    bool SetRecordText(UserRecord& entry, std::string_view record_text) {
        return entries_.SetRecordText(entry, record_text);
    }

    // The first identified entry whose login equals `login` (ASCII case aside).
    UserRecord* FindFirstByLogin(std::string_view login) const {
        return entries_.FindFirstByLogin(login);
    }
    std::span<UserRecord* const> FindAllByLogin(std::string_view login) const {
        return entries_.FindAllByLogin(login);
    }

  private:
    struct Live {
        UserRecord* entry = nullptr;
        FrameReader reader;  // partial frames of this connection
    };

    RecordList entries_{RecordList::Credentials::kNotIndexed};
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
