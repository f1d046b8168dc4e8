// Command line of parlo-load.
#pragma once

#include <optional>
#include <span>
#include <string>

#include <sys/types.h>

namespace parlo::load {

struct LoadOptions {
    int port = 7777;
    bool tls = false;  // connect with TLS (--port is then the server's TLS port)
    int users = 100;   // N simulated users: <prefix>1 .. <prefix>N
    std::string prefix = "load";
    std::string password = "motdepasse";

    bool register_users = false;
    int contacts = 0;  // K: user i asks i+1 .. i+K (wrapping), 0 = no contact phase
    bool login_storm = false;
    // All N online lose their connection at once and come back at the time
    // of the client's first reconnection attempt.
    bool reconnect_wave = false;
    int relay_senders = 0;  // P, 0 = no relay phase
    int relay_messages = 100;
    int relay_window = 8;       // messages in flight per sender
    int message_bytes = 64;     // length of each message text
    double relay_rate = 0;      // messages per second over all senders; 0: closed loop
    double idle_seconds = -1;   // < 0: no idle phase
    bool logout_storm = false;  // everybody online leaves at once
    // Clients in start-up at once in the set-up phases: kept under the
    // server's listen backlog of 5, beyond which connection requests are
    // dropped and retried by TCP a second or more later.
    int window = 4;
    int storm_window = 0;  // 0: every client of the storm connects at once

    pid_t server_pid = 0;
    bool stop_server = false;      // SIGTERM the server before closing our connections
    double timeout_seconds = 600;  // whole run
    double phase_timeout_seconds = 300;
    std::string json_path;
    bool help = false;
};

struct ParsedOptions {
    std::optional<LoadOptions> options;
    std::string error;  // set when options is empty
};

ParsedOptions ParseOptions(std::span<const char* const> args);
const char* UsageText();

}  // namespace parlo::load
