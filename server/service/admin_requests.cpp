#include "server/service/admin_requests.h"

#include <optional>
#include <string_view>

#include "server/core/administration.h"
#include "server/core/server_core.h"

namespace parlo::server {
namespace {

ControlAnswer Failed(std::string message) {
    return {.rows = {}, .ok = false, .message = std::move(message)};
}

ControlAnswer Done(std::string message) {
    return {.rows = {}, .ok = true, .message = std::move(message)};
}

// The sentence for an operation that did not happen.
ControlAnswer Refused(AdminResult result, std::string_view login) {
    switch (result) {
        case AdminResult::kInvalidInput:
            return Failed(
                "Champs refusés : identifiant, mot de passe, prénom, nom et email sont "
                "requis, l'email contient « @ », l'identifiant ni « : » ni « ! »");
        case AdminResult::kDuplicate:
            return Failed("Utilisateur déjà existant : " + std::string(login));
        case AdminResult::kTooLong:
            return Failed("Champs trop longs pour un compte");
        case AdminResult::kNotSaved:
            return Failed("UserDB.dat non sauvé : rien n'est changé (voir Log.txt)");
        case AdminResult::kDone:
            break;
    }
    return Failed("Erreur inattendue");
}

// The account's row as the administration list shows it; nothing when no
// account has that login (letter case aside).
std::optional<AccountFields> RowOf(const ServerCore& core, std::string_view login) {
    const Account* account = core.Users().FindFirstByLogin(login);
    if (account == nullptr) {
        return std::nullopt;
    }
    return AccountFields{.login = account->login,
                         .password = {},
                         .first_name = account->first_name,
                         .last_name = account->last_name,
                         .email = account->email};
}

ControlAnswer List(const ServerCore& core) {
    ControlAnswer answer = Done({});
    for (const AccountFields& row : AccountRows(core)) {
        answer.rows.push_back({row.login, row.first_name, row.last_name, row.email});
    }
    answer.message = std::to_string(answer.rows.size()) + " compte(s)";
    return answer;
}

ControlAnswer Who(const ServerCore& core) {
    ControlAnswer answer = Done({});
    for (const auto& entry : core.Online().Entries()) {
        if (entry->HasLogin()) {
            answer.rows.push_back(
                {entry->login, entry->computer, entry->ip, std::to_string(entry->port)});
        }
    }
    answer.message = std::to_string(answer.rows.size()) + " utilisateur(s) connecté(s)";
    return answer;
}

ControlAnswer Add(ServerCore& core, std::span<const std::string> fields) {
    const AccountFields account{.login = fields[1],
                                .password = fields[2],
                                .first_name = fields[3],
                                .last_name = fields[4],
                                .email = fields[5]};
    const AdminResult result = AddAccount(core, account);
    return result == AdminResult::kDone ? Done("Compte " + account.login + " ajouté")
                                        : Refused(result, account.login);
}

ControlAnswer Passwd(ServerCore& core, std::string_view login, const std::string& password) {
    const std::optional<AccountFields> row = RowOf(core, login);
    if (!row) {
        return Failed("Compte " + std::string(login) + " inconnu");
    }
    AccountFields changed = *row;
    changed.password = password;
    const AdminResult result = ModifyAccount(core, *row, changed);
    return result == AdminResult::kDone ? Done("Mot de passe de " + row->login + " changé")
                                        : Refused(result, row->login);
}

ControlAnswer Delete(ServerCore& core, std::string_view login) {
    const std::optional<AccountFields> row = RowOf(core, login);
    if (!row) {
        return Failed("Compte " + std::string(login) + " inconnu");
    }
    const AdminResult result = DeleteAccount(core, *row);
    return result == AdminResult::kDone ? Done("Compte " + row->login + " supprimé")
                                        : Refused(result, row->login);
}

ControlAnswer Broadcast(ServerCore& core, std::string_view text) {
    if (text.empty()) {
        return Failed("Message vide : rien n'est envoyé");
    }
    const std::vector<std::string> everyone = BroadcastEntries(core);
    const int sent = SendBroadcast(core, everyone, text);
    return Done("Message envoyé à " + std::to_string(sent) + " connexion(s)");
}

}  // namespace

ControlAnswer RunAdminRequest(ServerCore& core, std::span<const std::string> fields) {
    const std::string_view command = fields.empty() ? std::string_view() : fields[0];
    const size_t arguments = fields.empty() ? 0 : fields.size() - 1;
    if (command == "list" && arguments == 0) {
        return List(core);
    }
    if (command == "who" && arguments == 0) {
        return Who(core);
    }
    if (command == "add" && arguments == 5) {
        return Add(core, fields);
    }
    if (command == "passwd" && arguments == 2) {
        return Passwd(core, fields[1], fields[2]);
    }
    if (command == "delete" && arguments == 1) {
        return Delete(core, fields[1]);
    }
    if (command == "broadcast" && arguments == 1) {
        return Broadcast(core, fields[1]);
    }
    return Failed("Commande d'administration inconnue");
}

}  // namespace parlo::server
