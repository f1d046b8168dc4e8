// The adapter's events forwarded to the server core (kept apart so that the
// adapter alone links without the core).
#include "server/net.h"
#include "server/server_core.h"

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
void CoreNetEvents::Log(std::string_view message) {
    core_.Log(message);
}
void CoreNetEvents::OnShutdown() {
    core_.Shutdown();
}

}  // namespace parlo::server
