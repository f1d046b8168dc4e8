// The Server program with its operator's console.
#pragma once

#include <cstdint>

#include "server/options.h"

namespace parlo::server {

// Whether a display is there for the console window to open on.
bool ConsoleDisplayAvailable();

// Runs the server behind the console window as the command line says, until
// the operator closes it; returns the process exit status.
int RunConsole(int argc, char** argv, const ServerCommandLine& options);

}  // namespace parlo::server
