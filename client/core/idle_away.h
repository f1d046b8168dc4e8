// The automatic "inactif": while the user has chosen it, the own state goes
// from 0 (online) to 2 (inactive) once the desktop session has seen no input
// for the chosen minutes, and back to 0 at the next input. A state the user
// chose (away, offline, connecting) is never changed.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace parlo::client {

class Session;

class IdleAway : public QObject {
  public:
    // How often the desktop is asked while the choice is on.
    static constexpr int kPollMs = 1000;

    explicit IdleAway(Session& session);

    // Asks the desktop once (to learn whether it tells the idle time), then
    // keeps watching.
    void Start();
    // Whether the desktop tells the idle time: none until it first answered.
    std::optional<bool> Available() const { return available_; }

  private:
    void Poll();
    void Answered(std::optional<std::int64_t> idle_ms);

    Session& session_;
    QTimer timer_;
    bool asking_ = false;  // one question at a time, even to a slow desktop
    std::optional<bool> available_;
};

}  // namespace parlo::client
