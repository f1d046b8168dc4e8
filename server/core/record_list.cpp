#include "server/core/record_list.h"

#include <algorithm>

#include "server/core/online.h"

namespace parlo::server {
namespace {

template <typename Map, typename Record>
void EraseFromBucket(Map& map, const std::string& key, const Record& record) {
    const auto found = map.find(key);
    if (found == map.end()) {
        return;
    }
    auto& bucket = found->second;
    bucket.erase(std::remove(bucket.begin(), bucket.end(), &record), bucket.end());
    if (bucket.empty()) {
        map.erase(found);
    }
}

}  // namespace

template <typename Record>
Record& IndexedList<Record>::Append(std::unique_ptr<Record> record) {
    Record& added = *record;
    records_.push_back(std::move(record));
    slots_.emplace(&added, Slot{std::prev(records_.end()), next_sequence_++});
    AddToIndexes(added);
    return added;
}

template <typename Record>
std::unique_ptr<Record> IndexedList<Record>::Remove(const Record& record) {
    const auto slot = slots_.find(&record);
    if (slot == slots_.end()) {
        return nullptr;
    }
    RemoveFromIndexes(record);
    std::unique_ptr<Record> taken = std::move(*slot->second.position);
    records_.erase(slot->second.position);
    slots_.erase(slot);
    return taken;
}

template <typename Record>
void IndexedList<Record>::Clear() {
    by_login_.clear();
    by_credentials_.clear();
    slots_.clear();
    records_.clear();
}

template <typename Record>
bool IndexedList<Record>::SetRecordText(Record& record, std::string_view record_text) {
    RecordFields parsed;
    if (!ParseRecordInto(parsed, record_text)) {
        return false;
    }
    const bool listed = Contains(record);
    if (listed) {
        RemoveFromIndexes(record);
    }
    static_cast<RecordFields&>(record) = std::move(parsed);
    if (listed) {
        AddToIndexes(record);
    }
    return true;
}

template <typename Record>
Record* IndexedList<Record>::FindFirstByLogin(std::string_view login) const {
    const auto bucket = FindAllByLogin(login);
    return bucket.empty() ? nullptr : bucket.front();
}

template <typename Record>
std::span<Record* const> IndexedList<Record>::FindAllByLogin(std::string_view login) const {
    if (login.empty()) {
        return {};
    }
    const auto found = by_login_.find(login);
    if (found == by_login_.end()) {
        return {};
    }
    return found->second;
}

template <typename Record>
Record* IndexedList<Record>::FindFirstByCredentials(std::string_view credentials) const {
    if (credentials.empty()) {
        return nullptr;
    }
    const auto found = by_credentials_.find(credentials);
    return found == by_credentials_.end() ? nullptr : found->second.front();
}

template <typename Record>
void IndexedList<Record>::InsertInOrder(std::vector<Record*>& bucket, Record& record) const {
    const uint64_t sequence = slots_.at(&record).sequence;
    const auto place = std::upper_bound(
        bucket.begin(), bucket.end(), sequence,
        [this](uint64_t value, const Record* other) { return value < slots_.at(other).sequence; });
    bucket.insert(place, &record);
}

template <typename Record>
void IndexedList<Record>::AddToIndexes(Record& record) {
    if (record.HasLogin()) {
        InsertInOrder(by_login_[record.login], record);
    }
    if (index_credentials_ && !record.credentials.empty()) {
        InsertInOrder(by_credentials_[record.credentials], record);
    }
}

template <typename Record>
void IndexedList<Record>::RemoveFromIndexes(const Record& record) {
    if (record.HasLogin()) {
        EraseFromBucket(by_login_, record.login, record);
    }
    if (index_credentials_ && !record.credentials.empty()) {
        EraseFromBucket(by_credentials_, record.credentials, record);
    }
}

// The two lists the server keeps.
template class IndexedList<Account>;
template class IndexedList<OnlineEntry>;

}  // namespace parlo::server
