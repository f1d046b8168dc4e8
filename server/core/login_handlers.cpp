// The command handlers of login and accounts. Each runs with the sending
// connection entry.
#include <string>
#include <vector>

#include "protocol/ascii.h"
#include "protocol/codec.h"
#include "protocol/commands.h"
#include "protocol/field_string.h"
#include "server/core/handler_text.h"
#include "server/core/server_core.h"

namespace parlo::server {
namespace {

constexpr std::string_view kLoginRefused = "Identifiant ou mot de passe non valide.";
constexpr std::string_view kAlreadyRegistered = "Utilisateur déjà référencé";
constexpr std::string_view kRecordRefused = "Données du compte non valides";
constexpr std::string_view kLoginNotAllowed =
    "Identifiant non valide : sans « : » ni « ! », 64 octets au plus";
constexpr std::string_view kNotSaved = "Compte non enregistré : réessayez plus tard";

// The login a Connect names (empty when it cannot be read).
std::string ConnectLogin(std::string_view command) {
    const auto request = ParseConnect(command);
    std::string login;
    if (!request || !Uncompress(request->login_blob, login)) {
        return {};
    }
    login.resize(UpToNul(login).size());
    return login;
}

}  // namespace

// ---------------------------------------------------------------------------
// Login and accounts

ServerCore::Flow ServerCore::HandleConnect(OnlineEntry& sender, std::string_view command) {
    sender.computer.assign(FieldView(command, 2, ':'));
    const std::string login = ConnectLogin(command);
    Log("Log de " + Quoted(login));
    // A login tried too often waits for its turn before its password is
    // looked at (the turn is kept for this connection).
    if (!login.empty()) {
        const int64_t now = options_.steady_ms();
        const std::optional<int64_t> turn = guesses_.CheckTime(login, now);
        if (!turn) {
            // Tried from so many connections at once that its turn is far.
            Log(sender.computer + " (" + sender.ip + ") : trop de tentatives pour " +
                Quoted(login) + ", connexion fermée");
            CloseEntry(sender);
            return Flow::kStopRead;
        }
        if (*turn > now) {
            sender.held_connect.assign(command);
            Hold(sender, *turn);
            return Flow::kHold;
        }
    }
    return CheckCredentials(sender, command);
}

ServerCore::Flow ServerCore::CheckCredentials(OnlineEntry& sender, std::string_view command) {
    const auto request = ParseConnect(command);
    const std::string login = ConnectLogin(command);
    // Only matching credentials may evict the user's other connection.
    const Account* account =
        login.empty() ? nullptr : users_.FindFirstByCredentials(request->credentials);
    if (account != nullptr) {
        for (OnlineEntry* other : online_.FindAllByLogin(login)) {
            if (other != &sender) {
                Evict(*other);  // changes the index: stop walking it
                break;
            }
        }
    }
    const bool accepted = account != nullptr && Identify(sender, account->record_text);
    if (accepted) {
        // A connection logging in again keeps one row: repeated logins must
        // not grow the console's list without bound.
        if (sender.has_row) {
            rows_.RemoveFirst(sender.ip);
        }
        sender.has_row = true;
        rows_.Add({sender.computer, sender.ip, std::to_string(sender.port), sender.first_name,
                   sender.last_name});
        RowsChanged();
        Log("User " + sender.login + " authorisé et execute ses anciens messages");
    } else {
        Log("User " + Quoted(login) + " est inconnu (" + sender.ip + ")");
    }
    SendTo(sender,
           FormatWithText(keyword::kLogin, accepted ? std::string_view("OK") : kLoginRefused));
    if (accepted) {
        guesses_.Succeeded(login);
        sender.failed_logins = 0;
        sender.replaying = true;
        ContinueReplay(sender);
        return Flow::kContinue;
    }
    if (login.empty()) {
        return Flow::kContinue;  // names nobody: no password was tried
    }
    // Guessing is slowed: the connection waits longer after each failure,
    // and is closed after a few.
    ++sender.failed_logins;
    const bool known = users_.FindFirstByLogin(login) != nullptr;
    const int64_t now = options_.steady_ms();
    const int64_t wait = guesses_.Failed(known ? login : "", sender.failed_logins, now);
    if (sender.failed_logins >= GuessGuard::kMaxFailuresPerConnection) {
        Log(sender.computer + " (" + sender.ip + ") : " + std::to_string(sender.failed_logins) +
            " identifications refusées, connexion fermée");
        CloseEntry(sender);
        return Flow::kStopRead;
    }
    Hold(sender, now + wait);
    return Flow::kHold;
}

void ServerCore::ContinueReplay(OnlineEntry& entry) {
    Account* account = FindAccountOfConnection(entry);
    if (account == nullptr || entry.connection == nullptr) {
        entry.replaying = false;
        return;
    }
    // A command leaves the stored list only once it is queued, and no more
    // are queued than the connection's output can take: the rest follows as
    // the peer reads.
    size_t sent = 0;
    while (sent < account->pending.size() && entry.connection->QueuedBytes() < kReplayWindowBytes) {
        const std::string& command = account->pending[sent++];
        SendTo(entry, command);
        Log("User " + account->login + " execute " + Quoted(command));
    }
    account->pending.erase(account->pending.begin(),
                           account->pending.begin() + static_cast<std::ptrdiff_t>(sent));
    if (account->pending.empty()) {
        entry.replaying = false;
    } else {
        entry.connection->NotifyWhenDrained();
    }
}

void ServerCore::HandleAddNewUser(OnlineEntry& sender, std::string_view command) {
    const std::string_view record_text = AddNewUserRecord(command).value_or("");
    auto account = MakeRecord(record_text);
    if (!account) {
        Log("Inscription refusée : enregistrement non valide");
        SendTo(sender, FormatWithText(keyword::kAddNewUser, kRecordRefused));
        return;
    }
    // A login with a separator would forge entries in other users' lists.
    if (!NewLoginAllowed(account->login)) {
        Log("Inscription refusée : identifiant " + std::string(CutUtf8(account->login, 64)) +
            " non valide");
        SendTo(sender, FormatWithText(keyword::kAddNewUser, kLoginNotAllowed));
        return;
    }
    // Logins differing only in letter case would share routing, address
    // books and pending commands: they count as the same account.
    if (users_.FindFirstByLogin(account->login) != nullptr) {
        Log("User " + account->login + " déjà référencé");
        SendTo(sender, FormatWithText(keyword::kAddNewUser, kAlreadyRegistered));
        return;
    }
    account->computer = sender.computer;
    account->ip = sender.ip;
    account->port = sender.port;
    // Answered once saved, with the registrations that follow in this read.
    held_.push_back({sender.connection, &users_.Append(std::move(account))});
}

void ServerCore::CommitRegistrations() {
    if (held_.empty()) {
        return;
    }
    std::vector<HeldRegistration> held;
    held.swap(held_);
    const bool saved = SaveDatabase();
    for (const HeldRegistration& registration : held) {
        OnlineEntry* sender =
            registration.connection != nullptr ? online_.Find(*registration.connection) : nullptr;
        const std::string login = registration.account->login;
        if (!saved) {
            users_.Remove(*registration.account);
            Log("User " + login + " non ajouté : la sauvegarde a échoué");
            if (sender != nullptr) {
                SendTo(*sender, FormatWithText(keyword::kAddNewUser, kNotSaved));
            }
            continue;
        }
        // An accepted registration identifies the connection.
        if (sender != nullptr) {
            Identify(*sender, registration.account->record_text);
            if (rows_.UpdateNamesOfFirst(sender->ip, sender->first_name, sender->last_name)) {
                RowsChanged();
            }
        }
        presence_.RewatchLogin(login);  // connections of that login now have an account
        Log("User " + login + " ajouté");
        if (sender != nullptr) {
            SendTo(*sender, FormatWithText(keyword::kAddNewUser, "OK"));
        }
    }
}

void ServerCore::HandleFindUser(OnlineEntry& sender, std::string_view command) {
    const FindUserCriteria criteria = ParseFindUser(command).value_or(FindUserCriteria{});
    BoundedList answer(FormatWithText(keyword::kFindUser, ""), ':');
    if (sender.HasLogin()) {
        for (const auto& account : users_.Records()) {
            if (!account->HasLogin() || EqualsNoCase(account->login, sender.login)) {
                continue;
            }
            const auto matches = [](std::string_view value, std::string_view criterion) {
                return !criterion.empty() && ContainsNoCase(value, criterion);
            };
            if (matches(account->login, criteria.login) ||
                matches(account->first_name, criteria.first_name) ||
                matches(account->last_name, criteria.last_name) ||
                matches(account->email, criteria.email)) {
                answer.Add(FormatAccountEntry(account->login, account->first_name,
                                              account->last_name, account->email));
            }
        }
    }
    // The log quotes the criteria and the answer only so far.
    std::string found = Quoted(answer.Text());
    if (found.size() < answer.Text().size()) {
        found += ", " + std::to_string(answer.Kept()) + " entrées";
    }
    Log(Joined({"User ", sender.login, " Recherche ", Quoted(criteria.login), ":",
                Quoted(criteria.first_name), ":", Quoted(criteria.last_name), ":",
                Quoted(criteria.email), " et trouve ", found}));
    LogCut(answer.LeftOut(), keyword::kFindUser, sender);
    SendTo(sender, answer.Text());
}

}  // namespace parlo::server
