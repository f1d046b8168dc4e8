// When to try again after a connection the user did not end was lost:
// exponential backoff with full jitter, so that the clients of a restarted
// server do not all come back in the same instant.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>

namespace parlo::client {

class ReconnectPolicy {
  public:
    using Ms = std::chrono::milliseconds;
    // Attempt n (from 0) waits a random time in [0, min(kMaxCeiling,
    // kFirstCeiling * 2^n)].
    static constexpr Ms kFirstCeiling{1000};
    static constexpr Ms kMaxCeiling{60000};
    // A connection that stayed logged in this long counts the attempts from
    // the first again when it is lost.
    static constexpr Ms kStableOnline{60000};

    explicit ReconnectPolicy(std::uint64_t seed);

    // The longest wait of the next attempt.
    Ms Ceiling() const;
    // The wait before the next attempt, drawn evenly from [0, Ceiling()];
    // counts that attempt.
    Ms NextDelay();
    int Attempts() const { return attempts_; }
    // The connection was lost after `online_for` logged in.
    void ConnectionLost(Ms online_for);

  private:
    std::mt19937_64 random_;
    int attempts_ = 0;
};

}  // namespace parlo::client
