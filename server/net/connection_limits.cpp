#include "server/net/connection_limits.h"

#include <arpa/inet.h>

namespace parlo::server {

bool ConnectionCounter::Admit(uint32_t address, uint64_t now_ms,
                              std::optional<std::string>& log_line) {
    log_line.reset();
    const auto found = per_address_.find(address);
    const size_t from_address = found == per_address_.end() ? 0 : found->second;
    std::string reason;
    if (limits_.total > 0 && open_ >= limits_.total) {
        reason = std::to_string(open_) + " connexions ouvertes, au plus " +
                 std::to_string(limits_.total);
    } else if (limits_.per_address > 0 && from_address >= limits_.per_address) {
        reason = std::to_string(from_address) + " connexions de cette adresse, au plus " +
                 std::to_string(limits_.per_address);
    } else {
        ++open_;
        ++per_address_[address];
        return true;
    }
    // A flood of connections must not flood the log.
    if (last_logged_ms_ && now_ms - *last_logged_ms_ < kRefusalLogIntervalMs) {
        ++unlogged_;
        return false;
    }
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, ip, sizeof ip);
    log_line = "Connexion de " + std::string(ip) + " refusée : " + reason;
    if (unlogged_ > 0) {
        *log_line += " (" + std::to_string(unlogged_) + " autres refusées depuis)";
    }
    last_logged_ms_ = now_ms;
    unlogged_ = 0;
    return false;
}

void ConnectionCounter::Release(uint32_t address) {
    --open_;
    const auto found = per_address_.find(address);
    if (found != per_address_.end() && --found->second == 0) {
        per_address_.erase(found);
    }
}

}  // namespace parlo::server
