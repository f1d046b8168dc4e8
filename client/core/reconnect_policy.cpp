#include "client/core/reconnect_policy.h"

#include <algorithm>

namespace parlo::client {

ReconnectPolicy::ReconnectPolicy(std::uint64_t seed) : random_(seed) {}

ReconnectPolicy::Ms ReconnectPolicy::Ceiling() const {
    // Past this many doublings the ceiling is the maximum anyway.
    constexpr int kLastDoubling = 16;
    const Ms doubled = kFirstCeiling * (std::int64_t{1} << std::min(attempts_, kLastDoubling));
    return std::min(kMaxCeiling, doubled);
}

ReconnectPolicy::Ms ReconnectPolicy::NextDelay() {
    std::uniform_int_distribution<std::int64_t> draw(0, Ceiling().count());
    const Ms delay(draw(random_));
    ++attempts_;
    return delay;
}

void ReconnectPolicy::ConnectionLost(Ms online_for) {
    if (online_for >= kStableOnline) {
        attempts_ = 0;
    }
}

}  // namespace parlo::client
