// The adapter's events forwarded to the server core: the glue between the
// libuv adapter, which knows only Connection, and the core.
#include "server/core/server_core.h"
#include "server/net/net.h"

namespace parlo::server {

void CoreNetEvents::OnAccepted(Connection& connection, std::string_view ip, uint16_t port) {
    core_.OnAccepted(connection, ip, port);
}
void CoreNetEvents::OnBytes(Connection& connection, std::string_view bytes) {
    core_.OnBytes(connection, bytes);
}
void CoreNetEvents::OnClosed(Connection& connection) {
    core_.OnClosed(connection);
}
void CoreNetEvents::OnDrained(Connection& connection) {
    core_.OnDrained(connection);
}
int64_t CoreNetEvents::TimerDelayMs() {
    return core_.TimerDelayMs();
}
void CoreNetEvents::OnTimer() {
    core_.RunTimers();
}
void CoreNetEvents::Log(std::string_view message) {
    core_.Log(message);
}
void CoreNetEvents::OnShutdown() {
    core_.Shutdown();
}
int CoreNetEvents::DeferredWorkDelayMs() {
    return core_.SaveWanted() ? ServerCore::kPendingSaveDelayMs : -1;
}
void CoreNetEvents::RunDeferredWork() {
    core_.SavePending();
}

}  // namespace parlo::server
