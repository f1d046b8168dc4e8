// The command handlers of address books, presence and the relay of
// conversation traffic. Each runs with the sending connection entry.
#include <algorithm>
#include <charconv>
#include <chrono>
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

}  // namespace

// ---------------------------------------------------------------------------
// Address books

ServerCore::Flow ServerCore::HandleAddressBook(OnlineEntry& sender) {
    const Account* account = FindAccountOfConnection(sender);
    if (account == nullptr) {
        return MissingAccount(sender);
    }
    BoundedList answer(FormatWithText(keyword::kAddressBook, ""), ':');
    for (const std::string& contact : account->address_book) {
        if (const Account* known = users_.FindFirstByLogin(contact)) {
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

ServerCore::Flow ServerCore::HandleGetAllState(OnlineEntry& sender) {
    if (FindAccountOfConnection(sender) == nullptr) {
        return MissingAccount(sender);
    }
    BroadcastStates(&sender);
    Log(sender.login + " a obtenu les états de son carnet d'adresse");
    return Flow::kContinue;
}

void ServerCore::HandleDoAddAddressBook(OnlineEntry& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    SendOrStore(SecondField(command), FormatWithText(keyword::kDoAddAddressBook, sender.login));
}

void ServerCore::HandleNoAddAddressBook(OnlineEntry& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    Log(sender.login + " a refusé l'ajout dans un carnet d'adresse");
    SendOrStore(SecondField(command), FormatWithText(keyword::kNoAddAddressBook, sender.login));
}

void ServerCore::HandleYesAddAddressBook(OnlineEntry& sender, std::string_view command) {
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

ServerCore::Flow ServerCore::HandleRemoveAddressBook(OnlineEntry& sender,
                                                     std::string_view command) {
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
    const std::vector<Account*> accounts(users_.FindAllByLogin(owner).begin(),
                                         users_.FindAllByLogin(owner).end());
    for (Account* account : accounts) {
        if (account->HasContact(contact)) {
            return true;
        }
        account->AppendContact(contact);
        Log(Joined({owner, " ajoute ", contact, " dans son carnet d'adresses"}));
        if (!SaveDatabase()) {
            account->address_book.pop_back();  // nobody is told of an unsaved change
            return false;
        }
        presence_.RewatchLogin(account->login);
        SendOrStore(owner, keyword::kAskAddressBook);
        for (OnlineEntry* entry : online_.FindAllByLogin(account->login)) {
            SendTo(*entry, keyword::kAskAddressBook);
        }
    }
    return true;
}

void ServerCore::RemoveContact(std::string_view owner, std::string_view contact) {
    const std::vector<Account*> accounts(users_.FindAllByLogin(owner).begin(),
                                         users_.FindAllByLogin(owner).end());
    for (Account* account : accounts) {
        std::vector<std::string> before = account->address_book;
        if (account->RemoveContact(contact)) {
            Log(Joined({owner, " a supprimé ", contact, " dans son carnet d'adresses"}));
            if (!SaveDatabase()) {
                account->address_book = std::move(before);
                continue;  // nobody is told of an unsaved change
            }
            presence_.RewatchLogin(account->login);
            SendOrStore(owner, FormatWithText(keyword::kDelAddressBook, contact));
        }
        for (OnlineEntry* entry : online_.FindAllByLogin(account->login)) {
            SendTo(*entry, keyword::kAskAddressBook);
        }
    }
}

// ---------------------------------------------------------------------------
// Presence

void ServerCore::HandleSetState(OnlineEntry& sender, std::string_view command) {
    if (!sender.HasLogin()) {
        return;
    }
    const int code = SetStateRequestCode(command);
    sender.inactive = code == kStateInactive;
    sender.away = code == kStateAway;
    presence_.StateChanged(sender.login);
    BroadcastStates(&sender);
    Log(Joined({"l'état de ", sender.login, " est ", StateLogName(code)}));
}

void ServerCore::HandleGetState(OnlineEntry& sender, std::string_view command) {
    const std::string_view login = GetStateLogin(command);
    SendTo(sender, FormatStateOfLogin(login, StateOf(login)));
    Log(Joined({sender.login, " demande l'état de ", login}));
}

// ---------------------------------------------------------------------------
// Conversations

void ServerCore::HandleMessage(OnlineEntry& sender, std::string_view command,
                               std::string_view payload) {
    if (!sender.HasLogin()) {
        return;
    }
    MessageView& message = relay_message_;
    // Nobody speaks in someone else's name.
    if (!ParseMessage(command, message) || !EqualsNoCase(message.sender, sender.login)) {
        return;
    }
    // The received frame is forwarded as it came: receivers uncompress it.
    std::string& frame = relay_frame_;
    frame.clear();
    AppendFrame(frame, payload);
    bool delivered = false;
    std::string list;  // the participants, for the senders told of an absence
    for (const std::string_view participant : message.participants) {
        if (EqualsNoCase(participant, sender.login)) {
            continue;
        }
        if (const OnlineEntry* entry = online_.FindFirstByLogin(participant)) {
            SendFrameBytes(*entry, frame);
            delivered = true;
        } else {
            if (list.empty()) {
                list = JoinList(std::vector<std::string>(message.participants.begin(),
                                                         message.participants.end()));
            }
            KeepForAbsent(sender, participant, command, list);
        }
    }
    if (!delivered) {
        return;
    }
    std::string& line = relay_line_;
    line.assign(message.sender);
    line.append(" dit à ");
    for (const std::string_view participant : message.participants) {
        if (line.back() != ' ') {
            line.push_back(' ');
        }
        line.append(participant);
    }
    line.push_back(' ');
    if (options_.log_message_texts) {
        line.append(UpToNul(message.text));
    } else {
        char digits[24];
        const auto [end, ec] =
            std::to_chars(digits, digits + sizeof digits, UpToNul(message.text).size());
        line.append("(").append(digits, end).append(" octets)");
    }
    Log(line);
}

void ServerCore::KeepForAbsent(const OnlineEntry& sender, std::string_view participant,
                               std::string_view command, std::string_view list) {
    const std::vector<Account*> accounts(users_.FindAllByLogin(participant).begin(),
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
    for (Account* account : accounts) {
        kept = kept && StorePending(*account, kept_command);
    }
    if (kept) {
        Log("Message de " + sender.login + " gardé pour " + std::string(participant));
    }
    SendTo(sender, FormatAbsent(participant, kept, list));
}

void ServerCore::HandleInvite(OnlineEntry& sender, std::string_view command) {
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
        if (const OnlineEntry* entry = online_.FindFirstByLogin(participant)) {
            SendFrameBytes(*entry, frame);
        }
    }
}

std::string ServerCore::BoundedInvite(std::string_view login, std::string_view list,
                                      const OnlineEntry& sender) {
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

void ServerCore::HandleLeave(OnlineEntry& sender, std::string_view command) {
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

void ServerCore::HandleWriting(OnlineEntry& sender, std::string_view command) {
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
        if (const OnlineEntry* entry = online_.FindFirstByLogin(participant)) {
            SendFrameBytes(*entry, frame);
        }
    }
}

}  // namespace parlo::server
