#include "server/core/guess_guard.h"

#include <algorithm>

namespace parlo::server {
namespace {

constexpr int64_t kCheckIntervalMs = 1000 / GuessGuard::kChecksPerSecond;

}  // namespace

int64_t GuessGuard::DelayAfter(int failures) {
    int64_t delay = kFirstDelayMs;
    for (int k = 1; k < failures && delay < kMaxDelayMs; ++k) {
        delay *= 2;
    }
    return std::min(delay, kMaxDelayMs);
}

std::optional<int64_t> GuessGuard::CheckTime(std::string_view login, int64_t now_ms) {
    const auto found = logins_.find(login);
    if (found == logins_.end()) {
        return now_ms;
    }
    Login& state = found->second;
    if (now_ms - state.last_failure_ms > kForgetAfterMs) {
        logins_.erase(found);
        return now_ms;
    }
    // Paced checks with a burst allowance (a generic cell rate rule).
    const int64_t next = std::max(state.next_check_ms, now_ms);
    const int64_t earliest = next - (kBurstChecks - 1) * kCheckIntervalMs;
    if (earliest > now_ms + kMaxDelayMs) {
        return std::nullopt;
    }
    state.next_check_ms = next + kCheckIntervalMs;
    return std::max(earliest, now_ms);
}

int64_t GuessGuard::Failed(std::string_view login, int connection_failures, int64_t now_ms) {
    int failures = connection_failures;
    if (!login.empty()) {
        if (logins_.size() >= kMaxTrackedLogins && !logins_.contains(login)) {
            ForgetOld(now_ms);
        }
        Login& state = logins_[std::string(login)];
        ++state.failures;
        state.last_failure_ms = now_ms;
        failures = std::max(failures, state.failures);
    }
    return DelayAfter(failures);
}

void GuessGuard::ForgetOld(int64_t now_ms) {
    std::erase_if(logins_, [now_ms](const auto& item) {
        return now_ms - item.second.last_failure_ms > kForgetAfterMs;
    });
    if (logins_.size() >= kMaxTrackedLogins) {
        // Still full of recent failures: start afresh rather than grow.
        logins_.clear();
    }
}

}  // namespace parlo::server
