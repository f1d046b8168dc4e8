// An owning list of records in a fixed order (appends go to the end), with
// indexes by login (ASCII case-insensitive) and by credentials (exact) that
// keep list order among equal keys, so "the first record whose login is X"
// costs a hash lookup instead of a walk. The user list holds accounts, the
// online list connection entries.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/core/userdb.h"

namespace parlo::server {

template <typename Record>
class IndexedList {
  public:
    using Storage = std::list<std::unique_ptr<Record>>;

    // Whether FindFirstByCredentials is served (the user list); the online
    // list does without, which saves an index entry per connection.
    enum class Credentials { kIndexed, kNotIndexed };
    explicit IndexedList(Credentials credentials = Credentials::kIndexed)
        : index_credentials_(credentials == Credentials::kIndexed) {}
    IndexedList(const IndexedList&) = delete;
    IndexedList& operator=(const IndexedList&) = delete;

    // Records in list order. Their login, credentials and record text may be
    // changed only through SetRecordText; every other field freely.
    const Storage& Records() const { return records_; }
    size_t Size() const { return records_.size(); }
    bool Empty() const { return records_.empty(); }
    bool Contains(const Record& record) const { return slots_.contains(&record); }

    Record& Append(std::unique_ptr<Record> record);
    // Takes a record out of the list; null when it is not in the list.
    std::unique_ptr<Record> Remove(const Record& record);
    void Clear();

    // Parses a record text into a record of this list, keeping the indexes
    // right; false (record unchanged) when the text is refused.
    bool SetRecordText(Record& record, std::string_view record_text);

    // The first record, in list order, whose login equals `login` without
    // regard to case; records without login never match.
    Record* FindFirstByLogin(std::string_view login) const;
    // Every such record, in list order (valid until the list changes).
    std::span<Record* const> FindAllByLogin(std::string_view login) const;
    // The first record whose credentials are exactly `credentials` (none
    // when the list does not index them).
    Record* FindFirstByCredentials(std::string_view credentials) const;

  private:
    struct Slot {
        typename Storage::iterator position;
        uint64_t sequence;  // grows with list order
    };
    using Index = std::unordered_map<std::string, std::vector<Record*>, LoginHash, LoginEqual>;
    using ExactIndex =
        std::unordered_map<std::string, std::vector<Record*>, BytesHash, std::equal_to<>>;

    void AddToIndexes(Record& record);
    void RemoveFromIndexes(const Record& record);
    void InsertInOrder(std::vector<Record*>& bucket, Record& record) const;

    Storage records_;
    std::unordered_map<const Record*, Slot> slots_;
    Index by_login_;
    ExactIndex by_credentials_;
    uint64_t next_sequence_ = 0;
    bool index_credentials_ = true;
};

// The user list: every account, in order of creation.
using RecordList = IndexedList<Account>;

}  // namespace parlo::server
