// The Server program's command line:
// "Server [--headless] [--port N] [--broadcast full|changes] [--keepalive S]
// [/minimize]".
// Shared by the headless program and the operator's console.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "server/core/server_core.h"

namespace parlo::server {

inline constexpr uint16_t kDefaultPort = 7777;
// Idle seconds before a silent client is probed, unless --keepalive says.
inline constexpr int kDefaultKeepAliveS = 20;
// The largest --keepalive the system accepts (TCP_KEEPIDLE).
inline constexpr unsigned kMaxKeepAliveS = 32767;

struct ServerCommandLine {
    bool headless = false;  // no window; log lines also on standard output
    uint16_t port = kDefaultPort;
    bool minimize = false;  // start with the console hidden
    bool help = false;      // print the usage text and exit 0
    // "--broadcast full": every connection receives its state list at every
    // broadcast, for sites whose other clients need it.
    BroadcastMode broadcast = BroadcastMode::kChanges;
    // Idle seconds before a silent client is probed; 0: no keepalive.
    int keepalive_s = kDefaultKeepAliveS;
};

// Parses the arguments after the program name. On failure returns nothing and
// sets `error` to a one-line explanation (the caller adds the usage text).
std::optional<ServerCommandLine> ParseServerCommandLine(std::span<const std::string_view> args,
                                                        std::string& error);
// The same from main()'s arguments.
std::optional<ServerCommandLine> ParseServerCommandLine(int argc, const char* const* argv,
                                                        std::string& error);

// The short usage text printed for --help and after a command-line error.
std::string ServerUsage(std::string_view program);

}  // namespace parlo::server
