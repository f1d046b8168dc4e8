#include "server/core/userdb.h"

#include <algorithm>

#include "protocol/ascii.h"
#include "protocol/codec.h"
#include "protocol/commands.h"

namespace parlo::server {

bool Account::HasContact(std::string_view contact) const {
    return std::any_of(address_book.begin(), address_book.end(),
                       [&](const std::string& entry) { return EqualsNoCase(entry, contact); });
}

bool Account::RemoveContact(std::string_view contact) {
    const auto found =
        std::find_if(address_book.begin(), address_book.end(),
                     [&](const std::string& entry) { return EqualsNoCase(entry, contact); });
    if (found == address_book.end()) {
        return false;
    }
    address_book.erase(found);
    return true;
}

Account::PendingResult Account::AppendPendingUnlessIdentical(std::string_view command) {
    if (std::find(pending.begin(), pending.end(), command) != pending.end()) {
        return PendingResult::kAlreadyPending;
    }
    if (pending.size() >= kMaxPending || PendingBytes() + command.size() > kMaxPendingBytes) {
        return PendingResult::kFull;
    }
    pending.emplace_back(command);
    return PendingResult::kStored;
}

size_t Account::PendingBytes() const {
    size_t bytes = 0;
    for (const std::string& command : pending) {
        bytes += command.size();
    }
    return bytes;
}

bool ParseRecordInto(RecordFields& record, std::string_view record_text) {
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

std::unique_ptr<Account> MakeRecord(std::string_view record_text) {
    auto record = std::make_unique<Account>();
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

}  // namespace parlo::server
