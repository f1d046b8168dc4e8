// The Server program with its operator's console.
#pragma once

#include "server/options.h"

namespace parlo::server {

// Runs the server behind the console window until the operator closes it;
// returns the process exit status. Without a display it runs headless.
int RunConsole(int argc, char** argv, const ServerCommandLine& options);

}  // namespace parlo::server
