// The handling of each command the server sends.
#include "client/core/session.h"
#include "protocol/ascii.h"

namespace parlo::client {

namespace {

bool IsOk(std::string_view field) {
    return EqualsNoCase(field, "OK");
}

std::string Folded(std::string_view login) {
    std::string folded(login);
    for (char& c : folded) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return folded;
}

}  // namespace

void Session::HandleCommand(std::string_view text) {
    if (text.starts_with(FormatWithText(keyword::kFindUser, ""))) {
        search_.OnAnswer(text);
        return;
    }
    if (const auto kept = ParseKeptMessage(text)) {
        chats_.OnMessage(kept->message_command, kept->sent_ms);
        return;
    }
    if (const auto absent = ParseAbsent(text)) {
        chats_.OnAbsent(*absent);
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
            chats_.OnMessage(text);
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
            chats_.OnInvite(text);
            break;
        case ClientKeyword::kLeave:
            chats_.OnLeave(text);
            break;
        case ClientKeyword::kWriting:
            chats_.OnWriting(text);
            break;
        case ClientKeyword::kBroadcast:
            attention_.BroadcastArrived(f2, settings_.attention.notify);
            ShowBox(f2, texts::kAdministrator, BoxIcon::kInformation);
            break;
    }
}

void Session::OnLogin(std::string_view answer) {
    if (!IsOk(answer)) {
        // Refused, or logged in elsewhere: trying again would only repeat it.
        logged_in_ = false;
        reconnection_.Cancel();
        ShowBox(answer, texts::kUserManagement);
        return;
    }
    const bool reconnected = reconnection_.Pending();
    logged_in_ = true;
    reconnection_.LoggedIn();
    chats_.ConnectionBack();
    SetOwnState(kStateOnline);
    RequestAddressBook();
    if (reconnected && wanted_state_ == kStateAway) {
        ChangeState(kStateAway);
    }
    // The user asked for the test; a reconnection is nobody's question.
    if (test_flag_ && !reconnected) {
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
    chats_.RefreshTitles();
}

void Session::OnDoAddAddressBook(std::string_view asker) {
    const std::string login(asker);
    // A request repeated while its question is open is answered with it.
    if (!asking_logins_.insert(Folded(login)).second) {
        return;
    }
    ShowBox(login +
                " vous a ajouté à son carnet d'adresse\n"
                "pour voir ses messages vous devez faire de même...\n"
                "\nAjouter " +
                login,
            texts::kAddressBook, BoxIcon::kQuestion, BoxButtons::kYesNo,
            [this, login](BoxAnswer answer) {
                asking_logins_.erase(Folded(login));
                SendFrame(FormatWithText(answer == BoxAnswer::kYes ? keyword::kYesAddAddressBook
                                                                   : keyword::kNoAddAddressBook,
                                         login));
            });
}

}  // namespace parlo::client
