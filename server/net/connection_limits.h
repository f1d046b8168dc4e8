// Counts the open connections, in all and per IPv4 address, against their
// limits, and words the refusal of one beyond them (at most one line a
// second, with the count of those not logged).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace parlo::server {

// How many connections are accepted (0: no limit). Beyond, a new connection
// is closed at once, with a log line (at most one a second).
struct ConnectionLimits {
    static constexpr size_t kDefaultTotal = 10'000;
    static constexpr size_t kDefaultPerAddress = 64;
    size_t total = kDefaultTotal;
    size_t per_address = kDefaultPerAddress;
};

class ConnectionCounter {
  public:
    static constexpr uint64_t kRefusalLogIntervalMs = 1000;

    explicit ConnectionCounter(ConnectionLimits limits) : limits_(limits) {}

    // Counts a connection from `address` (network order) when the limits
    // allow it: true. Otherwise false, and `log_line` is set to the line to
    // log when one is due at `now_ms`.
    bool Admit(uint32_t address, uint64_t now_ms, std::optional<std::string>& log_line);
    // A connection counted by Admit has closed.
    void Release(uint32_t address);
    size_t Open() const { return open_; }

  private:
    ConnectionLimits limits_;
    size_t open_ = 0;
    std::unordered_map<uint32_t, size_t> per_address_;
    std::optional<uint64_t> last_logged_ms_;
    size_t unlogged_ = 0;
};

}  // namespace parlo::server
