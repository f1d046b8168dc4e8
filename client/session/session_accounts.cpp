// Account commands: creating an account and searching for contacts.
#include "client/session/session.h"
#include "protocol/field_string.h"

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

bool Session::FindUsers(const AccountFields& criteria, SearchCallback done) {
    if (criteria.login.empty() && criteria.first_name.empty() && criteria.last_name.empty() &&
        criteria.email.empty()) {
        return false;
    }
    const std::string command =
        FormatFindUser(criteria.login, criteria.first_name, criteria.last_name, criteria.email);
    if (!FrameOf(command)) {
        return false;
    }
    if (search_done_) {
        // A search still waiting gives up; its answer will be skipped.
        ++stale_search_answers_;
        FinishSearch({});
    }
    if (SendFrame(command) < 0) {
        done({});
        return true;
    }
    search_done_ = std::move(done);
    search_timer_.start(search_timeout_ms_);
    return true;
}

void Session::OnFindUserAnswer(std::string_view text) {
    if (stale_search_answers_ > 0) {
        --stale_search_answers_;
        return;
    }
    if (!search_done_) {
        return;
    }
    std::vector<AccountFields> rows;
    for (const AccountEntryView& entry : ParseAccountEntries(text)) {
        if (EqualsNoCase(entry.login, PlainLogin())) {
            continue;
        }
        rows.push_back(ToAccountFields(entry));
    }
    FinishSearch(std::move(rows));
}

void Session::FinishSearch(std::vector<AccountFields> rows) {
    search_timer_.stop();
    SearchCallback done = std::move(search_done_);
    search_done_ = nullptr;
    if (done) {
        done(std::move(rows));
    }
}

}  // namespace parlo::client
