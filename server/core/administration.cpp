#include "server/core/administration.h"

#include <algorithm>
#include <memory>

#include "protocol/ascii.h"
#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/core/server_core.h"

namespace parlo::server {
namespace {

// The four columns of a row against a record, letter case aside.
bool Matches(const RecordFields& record, const AccountFields& row) {
    return record.HasLogin() && EqualsNoCase(record.login, row.login) &&
           EqualsNoCase(record.first_name, row.first_name) &&
           EqualsNoCase(record.last_name, row.last_name) && EqualsNoCase(record.email, row.email);
}

template <typename Records>
typename Records::value_type::pointer FirstMatching(const Records& records,
                                                    const AccountFields& row) {
    for (const auto& record : records) {
        if (Matches(*record, row)) {
            return record.get();
        }
    }
    return nullptr;
}

}  // namespace

bool AccountFieldsValid(const AccountFields& fields) {
    return !fields.login.empty() && !fields.password.empty() && !fields.first_name.empty() &&
           !fields.last_name.empty() && !fields.email.empty() &&
           fields.email.find('@') != std::string::npos && NewLoginAllowed(fields.login);
}

std::optional<std::string> BuildRecordText(const AccountFields& fields) {
    std::string login_blob;
    std::string password_blob;
    if (!Compress(fields.login, login_blob) || !Compress(fields.password, password_blob)) {
        return std::nullopt;
    }
    std::string record = FormatRecordText(login_blob, password_blob, fields.first_name,
                                          fields.last_name, fields.email);
    if (record.size() > static_cast<size_t>(kMaxFrameBytes) || !ParseRecordText(record)) {
        return std::nullopt;
    }
    return record;
}

std::vector<AccountFields> AccountRows(const ServerCore& core) {
    std::vector<AccountFields> rows;
    rows.reserve(core.Users().Size());
    for (const auto& account : core.Users().Records()) {
        rows.push_back({.login = account->login,
                        .password = {},
                        .first_name = account->first_name,
                        .last_name = account->last_name,
                        .email = account->email});
    }
    return rows;
}

AdminResult AddAccount(ServerCore& core, const AccountFields& fields) {
    if (!AccountFieldsValid(fields)) {
        return AdminResult::kInvalidInput;
    }
    const std::optional<std::string> record = BuildRecordText(fields);
    if (!record) {
        return AdminResult::kTooLong;
    }
    if (core.Users().FindFirstByLogin(fields.login) != nullptr) {
        return AdminResult::kDuplicate;
    }
    std::unique_ptr<Account> account = MakeRecord(*record);
    if (!account) {
        return AdminResult::kTooLong;
    }
    Account& added = core.AddAccount(std::move(account));
    if (!core.SaveDatabase()) {
        core.Users().Remove(added);
        return AdminResult::kNotSaved;
    }
    core.AccountsChanged();
    return AdminResult::kDone;
}

AdminResult ModifyAccount(ServerCore& core, const AccountFields& selected,
                          const AccountFields& fields) {
    if (!AccountFieldsValid(fields)) {
        return AdminResult::kInvalidInput;
    }
    const std::optional<std::string> record = BuildRecordText(fields);
    if (!record) {
        return AdminResult::kTooLong;
    }
    Account* account = FirstMatching(core.Users().Records(), selected);
    const std::string before = account != nullptr ? account->record_text : std::string();
    if (account != nullptr) {
        core.Users().SetRecordText(*account, *record);
        if (!core.SaveDatabase()) {
            core.Users().SetRecordText(*account, before);
            return AdminResult::kNotSaved;
        }
    }
    if (OnlineEntry* entry = FirstMatching(core.Online().Entries(), selected)) {
        core.Online().SetRecordText(*entry, *record);
    }
    core.AccountsChanged();
    return AdminResult::kDone;
}

AdminResult DeleteAccount(ServerCore& core, const AccountFields& selected) {
    std::unique_ptr<Account> removed;
    if (Account* account = FirstMatching(core.Users().Records(), selected)) {
        removed = core.Users().Remove(*account);
    }
    std::vector<std::pair<Account*, std::vector<std::string>>> books_before;
    for (const auto& account : core.Users().Records()) {
        std::vector<std::string> before = account->address_book;
        if (account->RemoveContact(selected.login)) {
            books_before.emplace_back(account.get(), std::move(before));
        }
    }
    if ((removed || !books_before.empty()) && !core.SaveDatabase()) {
        for (auto& [account, before] : books_before) {
            account->address_book = std::move(before);
        }
        if (removed) {
            core.AddAccount(std::move(removed));
        }
        return AdminResult::kNotSaved;
    }
    core.AccountsChanged();  // before the broadcast of the close below
    // The connection goes through the usual close: log line, console row,
    // state broadcast, so the console never lists a connection that is gone.
    if (OnlineEntry* entry = FirstMatching(core.Online().Entries(), selected)) {
        core.CloseEntry(*entry);
    }
    for (const auto& account : core.Users().Records()) {
        const OnlineEntry* entry =
            account->HasLogin() ? core.Online().FindFirstByLogin(account->login) : nullptr;
        if (entry != nullptr) {
            core.SendTo(*entry, keyword::kAskAddressBook);
        } else {
            core.StorePending(*account, keyword::kAskAddressBook);
        }
    }
    core.AccountsChanged();
    core.SavePending();  // the requests stored above
    return AdminResult::kDone;
}

std::vector<std::string> BroadcastEntries(const ServerCore& core) {
    std::vector<std::string> entries;
    for (const auto& entry : core.Online().Entries()) {
        const Account* account = core.FindAccountOfConnection(*entry);
        if (account == nullptr) {
            continue;
        }
        entries.push_back(account->login + " (" + account->first_name + " " + account->last_name +
                          ")");
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const std::string& a, const std::string& b) { return LessNoCase(a, b); });
    return entries;
}

int SendBroadcast(ServerCore& core, std::span<const std::string> selected_entries,
                  std::string_view message) {
    if (message.empty()) {
        return 0;
    }
    const std::string command = FormatBroadcast(message);
    // Collect first: sending never changes the online list, but a plain list
    // of targets keeps that independent of the adapter.
    std::vector<const OnlineEntry*> targets;
    for (const std::string& text : selected_entries) {
        for (const auto& entry : core.Online().Entries()) {
            if (entry->HasLogin() && ContainsNoCase(text, entry->login)) {
                targets.push_back(entry.get());
            }
        }
    }
    int sent = 0;
    for (const OnlineEntry* target : targets) {
        sent += core.SendTo(*target, command) ? 1 : 0;
    }
    return sent;
}

}  // namespace parlo::server
