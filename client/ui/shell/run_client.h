// The client program from its start to its end.
#pragma once

#include <QString>

#include "client/ui/shell/command_line.h"

namespace parlo::client {

// The single-instance name: per user and per settings file, so that a second
// user on the same account (another XDG_CONFIG_HOME) runs a client of their
// own while a second start with the same settings brings the first back.
QString ClientInstanceName(const QString& settings_path);

// Starts up in this order: own state 4 with the tray icon, the settings, the
// one-copy check (a running copy with the same settings is asked to come to
// the foreground and this one ends), the start-up login or the settings
// dialog, then the window unless /minimize. Returns the exit code.
int RunClient(int argc, char** argv, const ClientCommandLine& options);

}  // namespace parlo::client
