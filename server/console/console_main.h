// The Server program with its operator's console.
#pragma once

#include <cstdint>

#include "server/core/server_core.h"

namespace parlo::server {

// Whether a display is there for the console window to open on.
bool ConsoleDisplayAvailable();

// Runs the server behind the console window, listening on `port`, until the
// operator closes it; returns the process exit status. With `start_hidden`
// the window starts hidden. `keepalive_s`: NetServer::SetKeepAlive.
int RunConsole(int argc, char** argv, uint16_t port, bool start_hidden,
               BroadcastMode broadcast = BroadcastMode::kChanges, int keepalive_s = 0);

}  // namespace parlo::server
