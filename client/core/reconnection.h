// A reconnection under way: from the loss of a connection the user did not
// end until the next login or the user's own choice, attempts follow each
// other on ReconnectPolicy's schedule, and the countdown to the next one is
// shown ("reconnexion dans 3 s").
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <string>

#include "client/core/reconnect_policy.h"

namespace parlo::client {

class Reconnection {
  public:
    // `attempt` logs in again; `shown_changed` runs whenever Countdown()
    // may read differently.
    Reconnection(std::function<void()> attempt, std::function<void()> shown_changed);

    // The session logged in: from now on, a loss starts a reconnection.
    void LoggedIn();
    // The logged-in connection was lost: a reconnection begins.
    void ConnectionLost();
    // Waits for the next attempt (after the loss, or after a failed attempt).
    void ScheduleNext();
    // The user ended the session, or a login was refused: no more attempts.
    void Cancel();
    // The next attempt at once, when one is waiting (the network came back,
    // the computer woke up, the user chose "Connection").
    void AttemptNow();

    // From the loss until the next login or Cancel.
    bool Pending() const { return pending_; }
    // Waiting for the next attempt (none is under way).
    bool Waiting() const { return wait_.isActive(); }
    // "reconnexion dans 3 s" while waiting; empty otherwise.
    std::string Countdown() const;

  private:
    void Attempt();

    std::function<void()> attempt_;
    std::function<void()> shown_changed_;
    ReconnectPolicy policy_;
    QTimer wait_;  // the next attempt
    QTimer tick_;  // the countdown, once a second
    QElapsedTimer online_;
    bool pending_ = false;
};

}  // namespace parlo::client
