// The command handlers: login and accounts, address books, presence and the
// relay of conversation traffic. Each runs with the sending connection entry.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "protocol/ascii.h"
#include "protocol/codec.h"
#include "protocol/commands.h"
#include "protocol/field_string.h"
#include "server/core/server_core.h"

namespace parlo::server {
namespace {

constexpr std::string_view kLoginRefused = "Identifiant ou mot de passe non valide.";
constexpr std::string_view kAlreadyRegistered = "Utilisateur déjà référencé";
constexpr std::string_view kRecordRefused = "Données du compte non valides";
constexpr std::string_view kLoginNotAllowed =
    "Identifiant non valide : sans « : » ni « ! », 64 octets au plus";
constexpr std::string_view kNotSaved = "Compte non enregistré : réessayez plus tard";

std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

// Replaces every occurrence of `from` (case significant, also inside longer
// words) by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    size_t pos = 0;
    while (true) {
        const size_t found = text.find(from, pos);
        if (found == std::string_view::npos) {
            break;
        }
        out.append(text.substr(pos, found - pos)).append(to);
        pos = found + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

// A text as far as its first NUL byte.
std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

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

ServerCore::Flow ServerCore::HandleConnect(UserRecord& sender, std::string_view command) {
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

ServerCore::Flow ServerCore::CheckCredentials(UserRecord& sender, std::string_view command) {
    const auto request = ParseConnect(command);
    const std::string login = ConnectLogin(command);
    // Only matching credentials may evict the user's other connection.
    UserRecord* account =
        login.empty() ? nullptr : users_.FindFirstByCredentials(request->credentials);
    if (account != nullptr) {
        for (UserRecord* other : online_.FindAllByLogin(login)) {
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

void ServerCore::ContinueReplay(UserRecord& entry) {
    UserRecord* account = FindAccountOfConnection(entry);
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

void ServerCore::HandleAddNewUser(UserRecord& sender, std::string_view command) {
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
        UserRecord* sender =
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
        RewatchLogin(login);  // connections of that login now have an account
        Log("User " + login + " ajouté");
        if (sender != nullptr) {
            SendTo(*sender, FormatWithText(keyword::kAddNewUser, "OK"));
        }
    }
}

void ServerCore::HandleFindUser(UserRecord& sender, std::string_view command) {
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

// ---------------------------------------------------------------------------
// Address books

ServerCore::Flow ServerCore::HandleAddressBook(UserRecord& sender) {
    const UserRecord* account = FindAccountOfConnection(sender);
    if (account == nullptr) {
        return MissingAccount(sender);
    }
    BoundedList answer(FormatWithText(keyword::kAddressBook, ""), ':');
    for (const std::string& contact : account->address_book) {
        if (const UserRecord* known = users_.FindFirstByLogin(contact)) {
            answer.Add(FormatAccountEntry(known->login, known->first_name, known->last_name,
                                          known->email));
        } else {
            answer.Add(contact);
        }
    }
    SendTo(sender, answer.Text());
    Log(sender.login + " a obtenu son carnet d'adresse");
    LogCut(answer.LeftOut(), keyword::kAddressBook, sender);
    return Flow::kContinue;
}

ServerCore::Flow ServerCore::HandleGetAllState(UserRecord& sender) {
    if (FindAccountOfConnection(sender) == nullptr) {
        return MissingAccount(sender);
    }
    BroadcastStates(&sender);
    Log(sender.login + " a obtenu les états de son carnet d'adresse");
    return Flow::kContinue;
}

void ServerCore::HandleDoAddAddressBook(UserRecord& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    SendOrStore(SecondField(command), FormatWithText(keyword::kDoAddAddressBook, sender.login));
}

void ServerCore::HandleNoAddAddressBook(UserRecord& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    Log(sender.login + " a refusé l'ajout dans un carnet d'adresse");
    SendOrStore(SecondField(command), FormatWithText(keyword::kNoAddAddressBook, sender.login));
}

void ServerCore::HandleYesAddAddressBook(UserRecord& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    // Copies: the additions below may save and send, never change these.
    const std::string asker(SecondField(command));
    if (asker.empty()) {
        return;  // names nobody: an empty contact would end every list it is in
    }
    const std::string login = sender.login;
    Log(login + " a accepté de " + asker + " l'ajout dans un carnet d'adresse");
    SendOrStore(asker, FormatWithText(keyword::kYesAddAddressBook, login));
    if (AddContact(login, asker)) {
        AddContact(asker, login);
    }
}

ServerCore::Flow ServerCore::HandleRemoveAddressBook(UserRecord& sender, std::string_view command) {
    if (FindAccountOfConnection(sender) == nullptr) {
        return MissingAccount(sender);
    }
    const std::string contact(SecondField(command));
    const std::string login = sender.login;
    RemoveContact(login, contact);
    RemoveContact(contact, login);
    return Flow::kContinue;
}

bool ServerCore::AddContact(std::string_view owner, std::string_view contact) {
    const std::vector<UserRecord*> accounts(users_.FindAllByLogin(owner).begin(),
                                            users_.FindAllByLogin(owner).end());
    for (UserRecord* account : accounts) {
        if (account->HasContact(contact)) {
            return true;
        }
        account->AppendContact(contact);
        Log(Joined({owner, " ajoute ", contact, " dans son carnet d'adresses"}));
        if (!SaveDatabase()) {
            account->address_book.pop_back();  // nobody is told of an unsaved change
            return false;
        }
        RewatchLogin(account->login);
        SendOrStore(owner, keyword::kAskAddressBook);
        for (UserRecord* entry : online_.FindAllByLogin(account->login)) {
            SendTo(*entry, keyword::kAskAddressBook);
        }
    }
    return true;
}

void ServerCore::RemoveContact(std::string_view owner, std::string_view contact) {
    const std::vector<UserRecord*> accounts(users_.FindAllByLogin(owner).begin(),
                                            users_.FindAllByLogin(owner).end());
    for (UserRecord* account : accounts) {
        std::vector<std::string> before = account->address_book;
        if (account->RemoveContact(contact)) {
            Log(Joined({owner, " a supprimé ", contact, " dans son carnet d'adresses"}));
            if (!SaveDatabase()) {
                account->address_book = std::move(before);
                continue;  // nobody is told of an unsaved change
            }
            RewatchLogin(account->login);
            SendOrStore(owner, FormatWithText(keyword::kDelAddressBook, contact));
        }
        for (UserRecord* entry : online_.FindAllByLogin(account->login)) {
            SendTo(*entry, keyword::kAskAddressBook);
        }
    }
}

// ---------------------------------------------------------------------------
// Presence

void ServerCore::HandleSetState(UserRecord& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    const int code = SetStateRequestCode(command);
    sender.inactive = code == kStateInactive;
    sender.away = code == kStateAway;
    PresenceChanged(sender.login);
    BroadcastStates(&sender);
    Log(Joined({"l'état de ", sender.login, " est ", StateLogName(code)}));
}

void ServerCore::HandleGetState(UserRecord& sender, std::string_view command) {
    const std::string_view login = GetStateLogin(command);
    SendTo(sender, FormatStateOfLogin(login, StateOf(login)));
    Log(Joined({sender.login, " demande l'état de ", login}));
}

// ---------------------------------------------------------------------------
// Conversations

void ServerCore::HandleMessage(UserRecord& sender, std::string_view command,
                               std::string_view payload) {
    if (!sender.HasLogin()) {
        return;
    }
    const auto message = ParseMessage(command);
    // Nobody speaks in someone else's name.
    if (!message || !EqualsNoCase(message->sender, sender.login)) {
        return;
    }
    // The received frame is forwarded as it came: receivers uncompress it.
    std::string frame;
    AppendFrame(frame, payload);
    bool delivered = false;
    std::string list;  // the participants, for the senders told of an absence
    for (const std::string_view participant : message->participants) {
        if (EqualsNoCase(participant, sender.login)) {
            continue;
        }
        if (const UserRecord* entry = online_.FindFirstByLogin(participant)) {
            SendFrameBytes(*entry, frame);
            delivered = true;
        } else {
            if (list.empty()) {
                list = JoinList(std::vector<std::string>(message->participants.begin(),
                                                         message->participants.end()));
            }
            KeepForAbsent(sender, participant, command, list);
        }
    }
    if (!delivered) {
        return;
    }
    std::string line(message->sender);
    line.append(" dit à ");
    for (const std::string_view participant : message->participants) {
        if (line.back() != ' ') {
            line.push_back(' ');
        }
        line.append(participant);
    }
    line.push_back(' ');
    if (options_.log_message_texts) {
        line.append(UpToNul(message->text));
    } else {
        line.append("(" + std::to_string(UpToNul(message->text).size()) + " octets)");
    }
    Log(line);
}

void ServerCore::KeepForAbsent(const UserRecord& sender, std::string_view participant,
                               std::string_view command, std::string_view list) {
    const std::vector<UserRecord*> accounts(users_.FindAllByLogin(participant).begin(),
                                            users_.FindAllByLogin(participant).end());
    if (accounts.empty()) {
        return;
    }
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    // Two equal texts are two messages: their times differ, so both are kept.
    last_kept_ms_ = std::max<std::int64_t>(now, last_kept_ms_ + 1);
    const std::string kept_command = FormatKeptMessage(last_kept_ms_, command);
    bool kept = kept_command.size() <= static_cast<size_t>(kMaxFrameBytes);
    if (!kept) {
        Log("Message de " + sender.login + " trop long pour être gardé pour " +
            std::string(participant));
    }
    for (UserRecord* account : accounts) {
        kept = kept && StorePending(*account, kept_command);
    }
    if (kept) {
        Log("Message de " + sender.login + " gardé pour " + std::string(participant));
    }
    SendTo(sender, FormatAbsent(participant, kept, list));
}

void ServerCore::HandleInvite(UserRecord& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    const LoginAndList request = ParseLoginAndList(command);
    const std::string login = sender.login;
    Log(Joined({login, " ajoute ", request.login, " dans la discussion"}));
    SendTo(sender, BoundedInvite(request.login, request.list, sender));
    const std::string list = ReplaceAll(request.list, login, request.login);
    std::string frame;
    if (!FrameCommand(frame, BoundedInvite(login, list, sender))) {
        return;
    }
    for (const std::string_view participant : SplitList(list)) {
        if (const UserRecord* entry = online_.FindFirstByLogin(participant)) {
            SendFrameBytes(*entry, frame);
        }
    }
}

std::string ServerCore::BoundedInvite(std::string_view login, std::string_view list,
                                      const UserRecord& sender) {
    std::string invite = FormatInvite(login, list);
    if (invite.size() <= static_cast<size_t>(kMaxFrameBytes)) {
        return invite;  // as it came, empty items and all
    }
    BoundedList cut(FormatInvite(login, ""), '!');
    for (const std::string_view participant : SplitList(list)) {
        cut.Add(participant);
    }
    LogCut(cut.LeftOut(), keyword::kInvite, sender);
    return cut.Text();
}

void ServerCore::HandleLeave(UserRecord& sender, std::string_view command) {
    const LoginAndList request = ParseLoginAndList(command);
    // Only the leaving user may announce a departure.
    if (!sender.HasLogin() || !EqualsNoCase(request.login, sender.login)) {
        return;
    }
    Log(sender.login + " quite la discussion");
    const std::string leave = FormatLeave(request.login, request.list);
    for (const std::string_view participant : SplitList(request.list)) {
        SendOrStore(participant, leave);
    }
}

void ServerCore::HandleWriting(UserRecord& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    const WritingView request = ParseWriting(command);
    std::string frame;
    if (!FrameCommand(frame, FormatWritingRelay(sender.login, request.flag, request.list))) {
        return;
    }
    for (const std::string_view participant : SplitList(request.list)) {
        if (EqualsNoCase(participant, sender.login)) {
            continue;
        }
        if (const UserRecord* entry = online_.FindFirstByLogin(participant)) {
            SendFrameBytes(*entry, frame);
        }
    }
}

}  // namespace parlo::server
