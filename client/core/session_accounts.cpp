// Account and address-book commands.
#include "client/core/session.h"
#include "protocol/ascii.h"

namespace parlo::client {

namespace {

bool Contains(std::string_view text, char c) {
    return text.find(c) != std::string_view::npos;
}

// The first failed check's text, in the dialog's order; empty when all pass.
std::string_view CheckNewUser(const AccountFields& form) {
    if (form.login.empty() || form.password.empty()) {
        return texts::kNeedLoginAndPassword;
    }
    if (Contains(form.login, ':') || Contains(form.login, '!')) {
        return texts::kBadLoginCharacters;
    }
    if (form.first_name.empty() || form.last_name.empty() || form.email.empty()) {
        return texts::kFillAllFields;
    }
    if (!Contains(form.email, '@')) {
        return texts::kBadEmail;
    }
    return {};
}

}  // namespace

bool Session::CreateAccount(const AccountFields& form) {
    if (const std::string_view failure = CheckNewUser(form); !failure.empty()) {
        ShowBox(failure, texts::kInformationError);
        return false;
    }
    const auto login_blob = CompressField(form.login);
    const auto password_blob = CompressField(form.password);
    if (!login_blob || !password_blob) {
        ShowBox(texts::kTooLong, texts::kInformationError);
        return false;
    }
    const std::string command = FormatAddNewUser(
        FormatRecordText(*login_blob, *password_blob, form.first_name, form.last_name, form.email));
    if (!FrameOf(command)) {
        return false;
    }
    SendCommandConnected(command);
    SetCredentials(*login_blob, *password_blob);
    return true;
}

void Session::RequestAddressBook() {
    SendFrame(keyword::kAddressBook);
}

void Session::RequestAllStates() {
    SendFrame(keyword::kGetAllState);
}

void Session::AddContact(std::string_view login) {
    if (login.empty() || EqualsNoCase(login, PlainLogin())) {
        return;
    }
    SendFrame(FormatWithText(keyword::kDoAddAddressBook, login));
    ShowBox(std::string(login) + " apparaîtra automatiquement dès qu'il vous aura accepté",
            texts::kAddressBook);
}

void Session::RemoveContact(std::string_view login) {
    SendFrame(FormatWithText(keyword::kRemoveAddressBook, login));
}

void Session::SendInvite(std::string_view invitee, std::string_view list) {
    SendFrame(FormatInvite(invitee, list));
}

void Session::MailContact(std::string_view contact_login) {
    if (const Contact* contact = contacts_.Find(contact_login)) {
        ui_.SendMail(contact->email);
    }
}

}  // namespace parlo::client
