// The Server program's command line:
// "Server [--headless] [--port N] [--broadcast full|changes] [--keepalive S]
//  [--max-connections N] [--max-per-address N] [--login-timeout S] [/minimize]
//  [--tls-port N [--tls-cert FILE --tls-key FILE] [--tls-only]]", or
// "Server --fingerprint".
// Shared by the headless program and the operator's console.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/core/server_core.h"
#include "server/net/net.h"

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
    // Connections accepted in all and from one address (0: no limit).
    ConnectionLimits limits;
    // Seconds a connection may stay without logging in (0: no limit).
    int64_t login_timeout_s = ServerOptions::kDefaultLoginTimeoutMs / 1000;
    // "--log-messages no": conversation lines are logged without their text.
    bool log_message_texts = true;
    // "--log-stdout all|warnings": whether the headless server prints every
    // log line or only warnings and errors; unset: warnings when standard
    // output is the journal, else all.
    std::optional<bool> log_stdout_all;
    // "--control PATH": the administration socket; empty: $RUNTIME_DIRECTORY
    // /control when that is set (the service), else none (with --admin: the
    // service's socket).
    std::string control_socket;
    // "--admin COMMAND ...": every argument after --admin, for the
    // administration client; unset: run the server.
    std::optional<std::vector<std::string>> admin;
    // "--tls-port N": a second listener for encrypted connections; 0: none.
    uint16_t tls_port = 0;
    // "--tls-cert FILE --tls-key FILE" (both or neither): the certificate
    // served; empty: the self-signed one of the data directory.
    std::string tls_certificate;
    std::string tls_key;
    // "--tls-only": no plain listener (needs --tls-port).
    bool tls_only = false;
    // "--tls-handshake-timeout S": seconds a handshake may take.
    int tls_handshake_timeout_s = NetServer::kHandshakeTimeoutS;
    // "--fingerprint": print the certificate's SHA-256 fingerprint and exit.
    bool fingerprint = false;

    // The core's options for this command line.
    ServerOptions Core() const {
        ServerOptions options;
        options.broadcast = broadcast;
        options.login_timeout_ms = login_timeout_s * 1000;
        options.log_message_texts = log_message_texts;
        return options;
    }
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
