// Runs the server without a window: one start-up line naming the port and the
// working directory, then the log lines, on standard output; SIGTERM and
// SIGINT close it as the console's closing would.
#pragma once

#include "server/options.h"

namespace parlo::server {

// Returns the process exit status: 0 after a signal, non-zero when the port
// cannot be listened on.
int RunHeadless(const ServerCommandLine& options);

}  // namespace parlo::server
