#include "server/core_net_events.h"

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
