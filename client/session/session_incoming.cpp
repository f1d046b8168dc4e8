// Reading frames from the server and handling each command it sends.
#include <algorithm>

#include "client/session/session.h"
#include "protocol/field_string.h"

namespace parlo::client {

namespace {

std::vector<std::string> Logins(std::string_view list) {
    std::vector<std::string> logins;
    for (std::string_view item : SplitList(list, '!')) {
        logins.emplace_back(item);
    }
    return logins;
}

bool IsOk(std::string_view field) {
    return EqualsNoCase(field, "OK");
}

}  // namespace

void Session::OnLinkData(std::string_view bytes) {
    reader_.Feed(bytes);
    ProcessFrames();
}

void Session::OnLinkClosed() {
    Disconnect();
}

void Session::ProcessFrames() {
    if (dispatching_ || open_boxes_ > 0) {
        return;  // the running loop or the closing box picks them up
    }
    dispatching_ = true;
    // The reader always belongs to the current connection: when a handler
    // ends or replaces it, the loop goes on with the new one (or stops).
    while (link_) {
        std::string_view payload;
        const FrameReader::Status status = reader_.Next(payload);
        if (status == FrameReader::Status::kNeedMore) {
            break;
        }
        if (status == FrameReader::Status::kError) {
            // Bytes that cannot be frames: drop them with the connection.
            dispatching_ = false;
            Disconnect();
            return;
        }
        std::string text;
        if (!Uncompress(payload, text)) {
            continue;  // a damaged payload matches no command
        }
        HandleCommand(text);
    }
    dispatching_ = false;
}

void Session::HandleCommand(std::string_view text) {
    if (text.starts_with(FormatWithText(keyword::kFindUser, ""))) {
        OnFindUserAnswer(text);
        return;
    }
    const auto keyword = RecognizeClientCommand(text);
    if (!keyword) {
        return;
    }
    const std::string f2(SecondField(text));
    switch (*keyword) {
        case ClientKeyword::kLogin:
            OnLogin(f2);
            break;
        case ClientKeyword::kAddNewUser:
            OnAddNewUser(f2);
            break;
        case ClientKeyword::kAddressBook:
            OnAddressBook(text);
            break;
        case ClientKeyword::kSetState:
            OnSetState(text);
            break;
        case ClientKeyword::kMessage:
            OnMessage(text);
            break;
        case ClientKeyword::kDoAddAddressBook:
            OnDoAddAddressBook(f2);
            break;
        case ClientKeyword::kNoAddAddressBook:
            ShowBox(f2 + " a refusé l'ajout dans votre carnet d'adresse", texts::kAddressBook);
            break;
        case ClientKeyword::kYesAddAddressBook:
            ShowBox(f2 + " a accepté l'ajout dans votre carnet d'adresse", texts::kAddressBook);
            break;
        case ClientKeyword::kDelAddressBook:
            ShowBox(f2 + " est supprimé de votre carnet d'adresse", texts::kAddressBook);
            break;
        case ClientKeyword::kAskAddressBook:
            RequestAddressBook();
            break;
        case ClientKeyword::kInvite:
            OnInvite(text);
            break;
        case ClientKeyword::kLeave:
            OnLeave(text);
            break;
        case ClientKeyword::kWriting:
            OnWriting(text);
            break;
        case ClientKeyword::kBroadcast:
            ShowBox(f2, texts::kAdministrator, BoxIcon::kInformation);
            break;
    }
}

void Session::OnLogin(std::string_view answer) {
    if (!IsOk(answer)) {
        ShowBox(answer, texts::kUserManagement);
        return;
    }
    SetOwnState(kStateOnline);
    RequestAddressBook();
    if (test_flag_) {
        ShowBox(texts::kLoginOk, texts::kUserManagement);
    }
}

void Session::OnAddNewUser(std::string_view answer) {
    if (!IsOk(answer)) {
        ShowBox(texts::kLoginTaken, texts::kAddError);
    }
}

void Session::OnAddressBook(std::string_view text) {
    contacts_.Rebuild(text);
    ui_.RepaintMainWindow();
    RequestAllStates();
}

void Session::OnSetState(std::string_view text) {
    contacts_.ApplyStates(text);
    ui_.RepaintMainWindow();
    for (const auto& conversation : conversations_) {
        RefreshTitle(*conversation);
    }
}

void Session::OnMessage(std::string_view text) {
    const auto message = ParseMessage(text);
    if (!message) {
        return;
    }
    std::vector<std::string> names(message->participants.begin(), message->participants.end());
    // The text ends early at a NUL, as every text does.
    const std::string body(message->text.substr(0, message->text.find('\0')));
    const std::string sender(message->sender);

    Conversation* conversation = FindConversation(names);
    if (conversation == nullptr) {
        conversation = &CreateConversation(names);
    }
    conversation->View().AppendMessage(sender, body);
    conversation->View().Show();
    if (settings_.sound) {
        ui_.PlayReceiveSound();
    }
}

void Session::OnDoAddAddressBook(std::string_view asker) {
    const std::string login(asker);
    const BoxAnswer answer = ShowBox(login +
                                         " vous a ajouté à son carnet d'adresse\n"
                                         "pour voir ses messages vous devez faire de même...\n"
                                         "\nAjouter " +
                                         login,
                                     texts::kAddressBook, BoxIcon::kQuestion, BoxButtons::kYesNo);
    SendFrame(FormatWithText(
        answer == BoxAnswer::kYes ? keyword::kYesAddAddressBook : keyword::kNoAddAddressBook,
        login));
}

void Session::OnInvite(std::string_view text) {
    const LoginAndList fields = ParseLoginAndList(text);
    const std::string joiner(fields.login);
    const std::vector<std::string> before = Logins(fields.list);
    std::vector<std::string> after = before;
    after.push_back(joiner);

    Conversation* conversation = FindConversation(after);
    if (conversation == nullptr) {
        conversation = FindConversation(before);
        if (conversation == nullptr) {
            conversation = &CreateConversation(before);
        }
        conversation->View().AppendInfo(joiner + " s'est joint à la conversation");
    }
    conversation->AddParticipant(joiner);
    RefreshTitle(*conversation);
    FindConversation(after);  // closes any duplicate of the grown set
}

void Session::OnLeave(std::string_view text) {
    const LoginAndList fields = ParseLoginAndList(text);
    const std::string leaver(fields.login);
    std::vector<std::string> names = Logins(fields.list);
    const size_t count = names.size();

    Conversation* conversation = FindConversation(names);
    const ConversationId id = conversation != nullptr ? conversation->Id() : 0;
    if (conversation != nullptr && conversation->IsParticipant(leaver)) {
        conversation->RemoveParticipant(leaver);
        conversation->View().AppendInfo(leaver + " a quitté la conversation");
        RefreshTitle(*conversation);
    }
    const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
        return EqualsNoCase(name, leaver);
    });
    if (it != names.end()) {
        names.erase(it);
    }
    if (count == 2 && conversation != nullptr && conversation->View().IsVisible()) {
        ShowBox(leaver + " a quitté la conversation, la fenêtre va être fermée",
                texts::kConversations, BoxIcon::kInformation);
        RemoveConversation(id);
    } else {
        FindConversation(names);  // closes duplicates of the remaining set
    }
}

void Session::OnWriting(std::string_view text) {
    const WritingView writing = ParseWriting(text);
    const std::vector<std::string> names = Logins(writing.list);
    if (Conversation* conversation = FindConversation(names)) {
        conversation->SetTyping(writing.login, writing.flag != 0);
        RefreshTitle(*conversation);
    }
}

}  // namespace parlo::client
