// The program's glue: the network adapter's events handed to the server
// core. The adapter knows only Connection; the core knows no libuv.
#pragma once

#include <cstdint>
#include <string_view>

#include "server/core/server_core.h"
#include "server/net/net.h"

namespace parlo::server {

// Forwards the adapter's events to the server core.
class CoreNetEvents final : public NetEvents {
  public:
    explicit CoreNetEvents(ServerCore& core) : core_(core) {}
    void OnAccepted(Connection& connection, std::string_view ip, uint16_t port) override;
    void OnBytes(Connection& connection, std::string_view bytes) override;
    void OnClosed(Connection& connection) override;
    void OnDrained(Connection& connection) override;
    void Log(std::string_view message) override;
    int64_t TimerDelayMs() override;
    void OnTimer() override;
    void OnShutdown() override;
    // The save of commands stored for offline users.
    int DeferredWorkDelayMs() override;
    void RunDeferredWork() override;

  private:
    ServerCore& core_;
};

}  // namespace parlo::server
