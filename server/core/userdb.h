// The user account, the record fields it shares with a logged-in
// connection, and the login-keyed hashing both lists index them by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace parlo::server {

// What a record text holds, as an account and a logged-in connection both
// keep it (the login copies the account's record text into the entry).
struct RecordFields {
    std::string first_name;
    std::string last_name;
    std::string email;
    std::string record_text;  // exactly as parsed; empty: the record has no record text
    std::string login;        // decompressed login; empty: not identified
    std::string password;     // compressed, as in the record text
    std::string credentials;  // compressed login followed by compressed password

    bool HasLogin() const { return !login.empty(); }
    bool HasRecordText() const { return !record_text.empty(); }
};

// One account of the user list, as UserDB.dat keeps it.
struct Account : RecordFields {
    // Where a registration came from (not kept in UserDB.dat).
    std::string computer;
    std::string ip;
    uint16_t port = 0;
    std::vector<std::string> pending;       // commands waiting for the user, oldest first
    std::vector<std::string> address_book;  // contacts as written when added, in order

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
// Records held by a list must go through IndexedList::SetRecordText.
bool ParseRecordInto(RecordFields& record, std::string_view record_text);

// Longest login a new account may have, in bytes.
inline constexpr size_t kMaxLoginBytes = 64;
// Whether a new account (a registration, the administration) may take this
// login: valid UTF-8 of at most kMaxLoginBytes, without ':' or '!' (the
// protocol's separators) and without control characters. Accounts already
// stored keep their logins whatever they hold.
bool NewLoginAllowed(std::string_view login);

// Builds an account for a record text, or nothing when it is refused.
std::unique_ptr<Account> MakeRecord(std::string_view record_text);

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

}  // namespace parlo::server
