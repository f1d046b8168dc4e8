// The operator's account administration and broadcast, as plain operations
// over the server core: the dialogs only collect input and show outcomes.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/commands.h"

namespace parlo::server {

class ServerCore;

enum class AdminResult {
    kDone,
    kInvalidInput,  // a field is empty, the e-mail has no '@', or the login is not allowed
    kDuplicate,     // "Ajouter": an account of that login exists (letter case aside)
    kTooLong,       // the fields do not make a record text of at most 8192 bytes
    kNotSaved,      // the save failed: the change was undone
};

// Every field filled, an '@' in the e-mail, a login NewLoginAllowed accepts.
bool AccountFieldsValid(const AccountFields& fields);

// The record text of the fields (login and password compressed); nothing
// when a compression fails or the text would exceed 8192 bytes.
std::optional<std::string> BuildRecordText(const AccountFields& fields);

// The accounts, in user-list order, as the administration list shows them.
std::vector<AccountFields> AccountRows(const ServerCore& core);

// Each change below is kept only when the save that follows it succeeded;
// otherwise it is undone and the result is kNotSaved.

// "Ajouter": appends a new account and saves.
AdminResult AddAccount(ServerCore& core, const AccountFields& fields);

// "Modification" of the account shown in `selected`: the first account, and
// the first online entry, whose four columns equal the row's (letter case
// aside) take the new record text; then the database is saved. No duplicate
// check: the new login may be another account's.
AdminResult ModifyAccount(ServerCore& core, const AccountFields& selected,
                          const AccountFields& fields);

// "Supprimer" of the account shown in `selected`: removes the account, closes
// its online connection through the normal close procedure, removes it from
// the other address books and asks every remaining account (now, or at its
// next login) to reload its address book. The account and the contacts are
// saved gone before anyone is closed or told; undone, the account goes back
// at the end of the list.
AdminResult DeleteAccount(ServerCore& core, const AccountFields& selected);

// "%s (%s %s)" with the login, first and last name of the account of every
// logged-in connection, sorted alphabetically (letter case aside).
std::vector<std::string> BroadcastEntries(const ServerCore& core);

// Sends "Broadcast:<message>" (cut at 1023 bytes) to every connection whose
// login occurs in a selected entry's text (letter case aside), once per such
// entry. Returns the number of frames sent; an empty message sends nothing.
int SendBroadcast(ServerCore& core, std::span<const std::string> selected_entries,
                  std::string_view message);

}  // namespace parlo::server
