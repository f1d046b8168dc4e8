// The find-contacts dialog's search: one "FindUser" at a time, its answer
// handed to the dialog, given up after a time limit or with the connection.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QTimer>

#include "protocol/commands.h"

namespace parlo::client {

class Session;

// The find-contacts dialog's criteria and its result rows are AccountFields
// (protocol/commands.h).
using SearchCallback = std::function<void(std::vector<AccountFields>)>;

class ContactSearch {
  public:
    // How long a search waits for its answer.
    static constexpr int kDefaultTimeoutMs = 5000;

    explicit ContactSearch(Session& session);

    // See Session::FindUsers.
    bool Start(const AccountFields& criteria, SearchCallback done);
    // A "FindUser" answer arrived.
    void OnAnswer(std::string_view text);
    // The connection ended: the waiting search ends empty and no answer of
    // the old connection is still to come.
    void ConnectionEnded();
    void SetTimeout(int ms) { timeout_ms_ = ms; }

  private:
    void Finish(std::vector<AccountFields> rows);

    Session& session_;
    SearchCallback done_;
    // Answers still to come for searches that gave up; they are skipped.
    int stale_answers_ = 0;
    int timeout_ms_ = kDefaultTimeoutMs;
    QTimer timer_;
};

}  // namespace parlo::client
