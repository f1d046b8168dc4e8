// The Server program with its operator's console.
#pragma once

#include <cstdint>

#include "server/core/server_core.h"

namespace parlo::server {

// Whether a display is there for the console window to open on.
bool ConsoleDisplayAvailable();

// Runs the server behind the console window, listening on `port`, until the
// operator closes it; returns the process exit status. With `start_hidden`
// the window starts hidden; without `log_message_texts` conversation lines
// are logged without their text.
int RunConsole(int argc, char** argv, uint16_t port, bool start_hidden,
               BroadcastMode broadcast = BroadcastMode::kChanges, bool log_message_texts = true);

}  // namespace parlo::server
