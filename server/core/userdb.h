// The user record (one account, or one live connection) and the owning,
// ordered record list with its lookup indexes.
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

namespace parlo::server {

class Connection;

// One account of the user list, or one connection entry of the online list:
// the same type for both, as the login copies an account into its entry.
struct UserRecord {
    Connection* connection = nullptr;  // connection entries only; owned by the network adapter
    std::string ip;                    // dotted peer address
    uint16_t port = 0;                 // peer port, host order
    std::string first_name;
    std::string last_name;
    std::string computer;  // computer name sent with Connect
    std::string email;
    std::string record_text;           // exactly as parsed; empty: the record has no record text
    std::string login;                 // decompressed login; empty: not identified
    std::string password;              // compressed, as in the record text
    std::string credentials;           // compressed login followed by compressed password
    bool inactive = false;             // declared state 2
    bool away = false;                 // declared state 3
    bool state_list_stale = false;     // connection entries: its state list may have changed
    bool has_row = false;              // connection entries: a console row was added at login
    std::vector<std::string> pending;  // commands waiting for the user, oldest first
    std::vector<std::string> address_book;  // contacts as written when added, in order
    // Connection entries only: the logins its state list shows, as the watch
    // index holds them, and the last state list sent (empty: none yet).
    std::vector<std::string> watched;
    std::string last_state_list;
    // Connection entries only: which accepted connection this is (never
    // reused), failed logins on it, the time (steady clock, ms) until which
    // its frames wait (0: none), a Connect waiting for that time, and
    // whether stored commands are still being replayed to it.
    uint64_t serial = 0;
    int failed_logins = 0;
    int64_t held_until_ms = 0;
    std::string held_connect;
    bool replaying = false;

    bool HasLogin() const { return !login.empty(); }
    bool HasRecordText() const { return !record_text.empty(); }

    // Address-book primitives; contacts compare without regard to ASCII case.
    void AppendContact(std::string_view contact) { address_book.emplace_back(contact); }
    bool HasContact(std::string_view contact) const;
    // Removes the first entry equal to `contact`; false when there was none.
    bool RemoveContact(std::string_view contact);

    // Most commands, and most bytes of command text, one account may have
    // waiting: beyond, the newest is refused, so nobody can grow another
    // user's record (and UserDB.dat) without bound.
    static constexpr size_t kMaxPending = 1000;
    static constexpr size_t kMaxPendingBytes = 256 * 1024;
    enum class PendingResult { kStored, kAlreadyPending, kFull };
    // Appends unless an identical command (byte for byte) is already pending,
    // or it would pass kMaxPending or kMaxPendingBytes.
    PendingResult AppendPendingUnlessIdentical(std::string_view command);
    size_t PendingBytes() const;
};

// Fills `record` from a record text: the login decompressed, the password
// and credentials kept compressed. A text that is empty, malformed, has a
// field over 8183 bytes or a login that does not decompress to a non-empty
// text is refused: false, and `record` is left unchanged.
// Records held by a RecordList must go through RecordList::SetRecordText.
bool ParseRecordInto(UserRecord& record, std::string_view record_text);

// Longest login a new account may have, in bytes.
inline constexpr size_t kMaxLoginBytes = 64;
// Whether a new account (a registration, the administration) may take this
// login: valid UTF-8 of at most kMaxLoginBytes, without ':' or '!' (the
// protocol's separators) and without control characters. Accounts already
// stored keep their logins whatever they hold.
bool NewLoginAllowed(std::string_view login);

// Builds a record for a record text, or nothing when it is refused.
std::unique_ptr<UserRecord> MakeRecord(std::string_view record_text);

// Case-insensitive (ASCII) hashing for login-keyed maps, with lookups by view.
struct LoginHash {
    using is_transparent = void;
    size_t operator()(std::string_view login) const;
};
struct LoginEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};
// Exact hashing with lookups by view.
struct BytesHash {
    using is_transparent = void;
    size_t operator()(std::string_view bytes) const { return std::hash<std::string_view>()(bytes); }
};

// An owning list of records in a fixed order (appends go to the end), with
// indexes by login (ASCII case-insensitive) and by credentials (exact) that
// keep list order among equal keys, so "the first record whose login is X"
// costs a hash lookup instead of a walk.
class RecordList {
  public:
    using Storage = std::list<std::unique_ptr<UserRecord>>;

    // Whether FindFirstByCredentials is served (the user list); the online
    // list does without, which saves an index entry per connection.
    enum class Credentials { kIndexed, kNotIndexed };
    explicit RecordList(Credentials credentials = Credentials::kIndexed)
        : index_credentials_(credentials == Credentials::kIndexed) {}
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;

    // Records in list order. Their login, credentials and record text may be
    // changed only through SetRecordText; every other field freely.
    const Storage& Records() const { return records_; }
    size_t Size() const { return records_.size(); }
    bool Empty() const { return records_.empty(); }
    bool Contains(const UserRecord& record) const { return slots_.contains(&record); }

    UserRecord& Append(std::unique_ptr<UserRecord> record);
    // Takes a record out of the list; null when it is not in the list.
    std::unique_ptr<UserRecord> Remove(const UserRecord& record);
    void Clear();

    // Parses a record text into a record of this list, keeping the indexes
    // right; false (record unchanged) when the text is refused.
    bool SetRecordText(UserRecord& record, std::string_view record_text);

    // The first record, in list order, whose login equals `login` without
    // regard to case; records without login never match.
    UserRecord* FindFirstByLogin(std::string_view login) const;
    // Every such record, in list order (valid until the list changes).
    std::span<UserRecord* const> FindAllByLogin(std::string_view login) const;
    // The first record whose credentials are exactly `credentials` (none
    // when the list does not index them).
    UserRecord* FindFirstByCredentials(std::string_view credentials) const;

  private:
    struct Slot {
        Storage::iterator position;
        uint64_t sequence;  // grows with list order
    };
    using Index = std::unordered_map<std::string, std::vector<UserRecord*>, LoginHash, LoginEqual>;
    using ExactIndex =
        std::unordered_map<std::string, std::vector<UserRecord*>, BytesHash, std::equal_to<>>;

    void AddToIndexes(UserRecord& record);
    void RemoveFromIndexes(const UserRecord& record);
    void InsertInOrder(std::vector<UserRecord*>& bucket, UserRecord& record) const;

    Storage records_;
    std::unordered_map<const UserRecord*, Slot> slots_;
    Index by_login_;
    ExactIndex by_credentials_;
    uint64_t next_sequence_ = 0;
    bool index_credentials_ = true;
};

}  // namespace parlo::server
