#include "client/core/contact_search.h"

#include "client/core/session.h"
#include "protocol/ascii.h"

namespace parlo::client {

ContactSearch::ContactSearch(Session& session) : session_(session) {
    timer_.setSingleShot(true);
    timer_.callOnTimeout([this] {
        // The answer may still come; it must not be taken for the next search's.
        ++stale_answers_;
        Finish({});
    });
}

bool ContactSearch::Start(const AccountFields& criteria, SearchCallback done) {
    if (criteria.login.empty() && criteria.first_name.empty() && criteria.last_name.empty() &&
        criteria.email.empty()) {
        return false;
    }
    const std::string command =
        FormatFindUser(criteria.login, criteria.first_name, criteria.last_name, criteria.email);
    if (!session_.FitsOneFrame(command)) {
        return false;
    }
    if (done_) {
        // A search still waiting gives up; its answer will be skipped.
        ++stale_answers_;
        Finish({});
    }
    if (session_.SendFrame(command) < 0) {
        done({});
        return true;
    }
    done_ = std::move(done);
    timer_.start(timeout_ms_);
    return true;
}

void ContactSearch::OnAnswer(std::string_view text) {
    if (stale_answers_ > 0) {
        --stale_answers_;
        return;
    }
    if (!done_) {
        return;
    }
    std::vector<AccountFields> rows;
    for (const AccountEntryView& entry : ParseAccountEntries(text)) {
        if (!EqualsNoCase(entry.login, session_.PlainLogin())) {
            rows.push_back(ToAccountFields(entry));
        }
    }
    Finish(std::move(rows));
}

void ContactSearch::ConnectionEnded() {
    stale_answers_ = 0;
    Finish({});
}

void ContactSearch::Finish(std::vector<AccountFields> rows) {
    timer_.stop();
    SearchCallback done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done(std::move(rows));
    }
}

}  // namespace parlo::client
