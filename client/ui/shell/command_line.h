// The client program's command line: "Parlomatic [/minimize]".
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace parlo::client {

struct ClientCommandLine {
    bool minimize = false;  // start with only the tray icon
    bool help = false;      // print the usage text and exit 0
};

// Parses the arguments after the program name: none, "--help" (or "-h"), or
// exactly one "/minimize" in any letter case. On failure returns nothing and
// sets `error` to a one-line explanation (the caller adds the usage text).
std::optional<ClientCommandLine> ParseClientCommandLine(std::span<const std::string_view> args,
                                                        std::string& error);

// The short usage text printed for --help and after a command-line error.
std::string ClientUsage(std::string_view program);

}  // namespace parlo::client
