// Slows password guessing. A connection waits longer after each failed
// login (kFirstDelayMs doubling to kMaxDelayMs, counting the failures of its
// login too when those are more) and is closed after
// kMaxFailuresPerConnection. A login that has failed recently is checked at
// most kChecksPerSecond times a second, whatever the number of connections
// trying it: attempts beyond wait for their turn. A login without recent
// failures is checked at once, so the right password logs in at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/core/userdb.h"

namespace parlo::server {

class GuessGuard {
  public:
    static constexpr int64_t kFirstDelayMs = 500;
    static constexpr int64_t kMaxDelayMs = 8000;
    static constexpr int kMaxFailuresPerConnection = 5;
    static constexpr int64_t kChecksPerSecond = 10;
    // Checks that may come at once before the pace applies.
    static constexpr int64_t kBurstChecks = kChecksPerSecond;
    // A login's failures are forgotten this long after the last one.
    static constexpr int64_t kForgetAfterMs = 15 * 60 * 1000;
    // Logins tracked at most; when full, the expired ones, or else all, are
    // forgotten.
    static constexpr size_t kMaxTrackedLogins = 100000;

    // The delay after the n-th failure (n >= 1).
    static int64_t DelayAfter(int failures);

    // When the password of an attempt at `login` may be checked: `now_ms`,
    // or later when the login is being tried faster than the pace (that
    // turn is then reserved for this attempt); nothing, and nothing
    // reserved, when the turn is more than kMaxDelayMs away.
    std::optional<int64_t> CheckTime(std::string_view login, int64_t now_ms);
    // A failed attempt at `login` (empty: none could be read) on a
    // connection that has now failed `connection_failures` times: how long
    // that connection waits before its next command is handled.
    int64_t Failed(std::string_view login, int connection_failures, int64_t now_ms);
    // The right password: the login's failures are forgotten.
    void Succeeded(std::string_view login) { logins_.erase(std::string(login)); }

    size_t TrackedLogins() const { return logins_.size(); }

  private:
    struct Login {
        int failures = 0;
        int64_t last_failure_ms = 0;
        int64_t next_check_ms = 0;  // theoretical time of the next check at the pace
    };
    void ForgetOld(int64_t now_ms);

    std::unordered_map<std::string, Login, LoginHash, LoginEqual> logins_;
};

}  // namespace parlo::server
