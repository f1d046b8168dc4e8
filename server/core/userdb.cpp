#include "server/core/userdb.h"

#include <algorithm>

#include "protocol/ascii.h"
#include "protocol/codec.h"
#include "protocol/commands.h"

namespace parlo::server {

bool UserRecord::HasContact(std::string_view contact) const {
    return std::any_of(address_book.begin(), address_book.end(),
                       [&](const std::string& entry) { return EqualsNoCase(entry, contact); });
}

bool UserRecord::RemoveContact(std::string_view contact) {
    const auto found =
        std::find_if(address_book.begin(), address_book.end(),
                     [&](const std::string& entry) { return EqualsNoCase(entry, contact); });
    if (found == address_book.end()) {
        return false;
    }
    address_book.erase(found);
    return true;
}

UserRecord::PendingResult UserRecord::AppendPendingUnlessIdentical(std::string_view command) {
    if (std::find(pending.begin(), pending.end(), command) != pending.end()) {
        return PendingResult::kAlreadyPending;
    }
    if (pending.size() >= kMaxPending || PendingBytes() + command.size() > kMaxPendingBytes) {
        return PendingResult::kFull;
    }
    pending.emplace_back(command);
    return PendingResult::kStored;
}

size_t UserRecord::PendingBytes() const {
    size_t bytes = 0;
    for (const std::string& command : pending) {
        bytes += command.size();
    }
    return bytes;
}

bool ParseRecordInto(UserRecord& record, std::string_view record_text) {
    const auto view = ParseRecordText(record_text);
    if (!view) {
        return false;
    }
    std::string login;
    if (!Uncompress(view->login_blob, login) || login.empty()) {
        return false;
    }
    // The login is a NUL-terminated text: anything after an embedded NUL is
    // not part of it.
    if (const size_t nul = login.find('\0'); nul != std::string::npos) {
        login.resize(nul);
        if (login.empty()) {
            return false;
        }
    }
    record.login = std::move(login);
    record.password.assign(view->password_blob);
    record.credentials.assign(view->credentials);
    record.first_name.assign(view->first_name);
    record.last_name.assign(view->last_name);
    record.email.assign(view->email);
    record.record_text.assign(record_text);
    return true;
}

namespace {

// Length of the UTF-8 sequence starting `text` (overlong forms, surrogates
// and code points above U+10FFFF refused), 0 when it is not one.
size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

bool NewLoginAllowed(std::string_view login) {
    if (login.empty() || login.size() > kMaxLoginBytes) {
        return false;
    }
    while (!login.empty()) {
        const unsigned char c = static_cast<unsigned char>(login.front());
        if (c < 0x20 || c == 0x7F || c == ':' || c == '!') {
            return false;
        }
        const size_t length = Utf8SequenceLength(login);
        const bool c1_control =
            c == 0xC2 && length == 2 && static_cast<unsigned char>(login[1]) < 0xA0;
        if (length == 0 || c1_control) {
            return false;
        }
        login.remove_prefix(length);
    }
    return true;
}

std::unique_ptr<UserRecord> MakeRecord(std::string_view record_text) {
    auto record = std::make_unique<UserRecord>();
    if (!ParseRecordInto(*record, record_text)) {
        return nullptr;
    }
    return record;
}

size_t LoginHash::operator()(std::string_view login) const {
    // FNV-1a over the upper-cased bytes.
    size_t hash = 14695981039346656037ull;
    for (const char c : login) {
        hash ^= static_cast<unsigned char>(AsciiUpper(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

bool LoginEqual::operator()(std::string_view a, std::string_view b) const {
    return EqualsNoCase(a, b);
}

UserRecord& RecordList::Append(std::unique_ptr<UserRecord> record) {
    UserRecord& added = *record;
    records_.push_back(std::move(record));
    slots_.emplace(&added, Slot{std::prev(records_.end()), next_sequence_++});
    AddToIndexes(added);
    return added;
}

std::unique_ptr<UserRecord> RecordList::Remove(const UserRecord& record) {
    const auto slot = slots_.find(&record);
    if (slot == slots_.end()) {
        return nullptr;
    }
    RemoveFromIndexes(record);
    std::unique_ptr<UserRecord> taken = std::move(*slot->second.position);
    records_.erase(slot->second.position);
    slots_.erase(slot);
    return taken;
}

void RecordList::Clear() {
    by_login_.clear();
    by_credentials_.clear();
    slots_.clear();
    records_.clear();
}

bool RecordList::SetRecordText(UserRecord& record, std::string_view record_text) {
    UserRecord parsed;
    if (!ParseRecordInto(parsed, record_text)) {
        return false;
    }
    const bool listed = Contains(record);
    if (listed) {
        RemoveFromIndexes(record);
    }
    record.login = std::move(parsed.login);
    record.password = std::move(parsed.password);
    record.credentials = std::move(parsed.credentials);
    record.first_name = std::move(parsed.first_name);
    record.last_name = std::move(parsed.last_name);
    record.email = std::move(parsed.email);
    record.record_text = std::move(parsed.record_text);
    if (listed) {
        AddToIndexes(record);
    }
    return true;
}

UserRecord* RecordList::FindFirstByLogin(std::string_view login) const {
    const auto bucket = FindAllByLogin(login);
    return bucket.empty() ? nullptr : bucket.front();
}

std::span<UserRecord* const> RecordList::FindAllByLogin(std::string_view login) const {
    if (login.empty()) {
        return {};
    }
    const auto found = by_login_.find(login);
    if (found == by_login_.end()) {
        return {};
    }
    return found->second;
}

UserRecord* RecordList::FindFirstByCredentials(std::string_view credentials) const {
    if (credentials.empty()) {
        return nullptr;
    }
    const auto found = by_credentials_.find(credentials);
    return found == by_credentials_.end() ? nullptr : found->second.front();
}

void RecordList::InsertInOrder(std::vector<UserRecord*>& bucket, UserRecord& record) const {
    const uint64_t sequence = slots_.at(&record).sequence;
    const auto place = std::upper_bound(bucket.begin(), bucket.end(), sequence,
                                        [this](uint64_t value, const UserRecord* other) {
                                            return value < slots_.at(other).sequence;
                                        });
    bucket.insert(place, &record);
}

void RecordList::AddToIndexes(UserRecord& record) {
    if (record.HasLogin()) {
        InsertInOrder(by_login_[record.login], record);
    }
    if (index_credentials_ && !record.credentials.empty()) {
        InsertInOrder(by_credentials_[record.credentials], record);
    }
}

namespace {

template <typename Map>
void EraseFromBucket(Map& map, const std::string& key, const UserRecord& record) {
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

void RecordList::RemoveFromIndexes(const UserRecord& record) {
    if (record.HasLogin()) {
        EraseFromBucket(by_login_, record.login, record);
    }
    if (index_credentials_ && !record.credentials.empty()) {
        EraseFromBucket(by_credentials_, record.credentials, record);
    }
}

}  // namespace parlo::server
