#include "client/ui/shell/command_line.h"

#include "protocol/ascii.h"

namespace parlo::client {

std::optional<ClientCommandLine> ParseClientCommandLine(std::span<const std::string_view> args,
                                                        std::string& error) {
    ClientCommandLine options;
    if (args.empty()) {
        return options;
    }
    const std::string_view arg = args[0];
    if (arg == "--help" || arg == "-h") {
        options.help = true;
    } else if (EqualsNoCase(arg, "/minimize")) {
        options.minimize = true;
    } else {
        error = "unknown option: " + std::string(arg);
        return std::nullopt;
    }
    if (args.size() > 1) {
        error = "unexpected argument: " + std::string(args[1]) + " (one option at most)";
        return std::nullopt;
    }
    return options;
}

std::string ClientUsage(std::string_view program) {
    return "Usage: " + std::string(program) +
           " [/minimize]\n"
           "  /minimize  start with the main window hidden, only the tray icon showing\n"
           "             (any letter case)\n"
           "  --help     print this text and exit\n"
           "Settings: $XDG_CONFIG_HOME/Parlomatic/Parlomatic.ini (~/.config/... by default).\n"
           "Incoming messages play Receive.wav from the working directory, or else the\n"
           "copy installed with the program.\n"
           "Starting Parlomatic again with the same settings brings the running copy back.\n";
}

}  // namespace parlo::client
