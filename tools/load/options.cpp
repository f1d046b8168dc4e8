#include "tools/load/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

namespace parlo::load {

namespace {

bool ParseInt(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

bool ParseSeconds(std::string_view text, double high, double& out) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= 0) || value > high) {
        return false;
    }
    out = value;
    return true;
}

bool ValidPrefix(std::string_view prefix) {
    if (prefix.empty() || prefix.size() > 64) {
        return false;
    }
    for (const char c : prefix) {
        // Logins never hold the separators; keep them printable ASCII.
        if (c == ':' || c == '!' || c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

}  // namespace

const char* UsageText() {
    return "Usage: parlo-load [options]\n"
           "Simulates many Parlomatic clients against a Server on 127.0.0.1.\n"
           "Phases run in this order, each only when asked for:\n"
           "  --register            register the N users (existing accounts are reused)\n"
           "  --contacts K          user i asks users i+1..i+K (wrapping) to be contacts;\n"
           "                        each accepts, so every user ends with 2K contacts\n"
           "  --login               login storm: all N log in at once and fetch their\n"
           "                        address book and states\n"
           "  --reconnect           reconnection wave: all N online lose their connection\n"
           "                        at once (a server restart) and each comes back at\n"
           "                        its first reconnection attempt (within 1 s)\n"
           "  --relay P             P senders each send M messages to a partner\n"
           "  --idle SECONDS        hold N logged-in idle connections that long\n"
           "  --logout              logout storm: all N online, then all leave at once\n"
           "Settings:\n"
           "  --port N              server port on 127.0.0.1 (default 7777)\n"
           "  --tls                 speak TLS (--port is then the server's --tls-port)\n"
           "  --users N             number of simulated users (default 100)\n"
           "  --prefix TEXT         login prefix, users are TEXT1..TEXTN (default load)\n"
           "  --password TEXT       password of every user (default motdepasse)\n"
           "  --messages M          messages per relay sender (default 100)\n"
           "  --relay-window W      relay messages in flight per sender (default 8)\n"
           "  --relay-rate R        send R messages per second over all senders (open\n"
           "                        loop, the window still applying; default 0: as\n"
           "                        fast as the window allows)\n"
           "  --message-bytes B     length of each relay message text (default 64)\n"
           "  --window C            clients starting at once in set-up steps (default 4)\n"
           "  --storm-window C      clients connecting at once in the storm (default 0: all)\n"
           "  --server-pid PID      report the server's CPU time and memory from /proc\n"
           "  --stop-server         send SIGTERM to --server-pid after the last phase,\n"
           "                        before closing the connections\n"
           "  --timeout S           stop the whole run after S seconds (default 600)\n"
           "  --phase-timeout S     give up a phase after S seconds (default 300)\n"
           "  --json FILE           also write the figures as JSON\n"
           "  --help                show this text\n";
}

ParsedOptions ParseOptions(std::span<const char* const> args) {
    LoadOptions options;
    ParsedOptions result;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        auto fail = [&](std::string message) {
            result.error = std::move(message);
            return result;
        };
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--register") {
            options.register_users = true;
            continue;
        }
        if (name == "--login") {
            options.login_storm = true;
            continue;
        }
        if (name == "--reconnect") {
            options.reconnect_wave = true;
            continue;
        }
        if (name == "--tls") {
            options.tls = true;
            continue;
        }
        if (name == "--stop-server") {
            options.stop_server = true;
            continue;
        }
        if (name == "--logout") {
            options.logout_storm = true;
            continue;
        }
        static constexpr std::string_view kValued[] = {
            "--port",   "--users",        "--prefix",       "--password",      "--contacts",
            "--relay",  "--messages",     "--relay-window", "--message-bytes", "--idle",
            "--window", "--storm-window", "--server-pid",   "--timeout",       "--phase-timeout",
            "--json",   "--relay-rate"};
        if (std::find(std::begin(kValued), std::end(kValued), name) == std::end(kValued)) {
            return fail("unknown option " + std::string(name));
        }
        if (i + 1 >= args.size()) {
            return fail("missing value after " + std::string(name));
        }
        const std::string_view value = args[++i];
        bool ok = true;
        int pid = 0;
        if (name == "--port") {
            ok = ParseInt(value, 1, 65535, options.port);
        } else if (name == "--users") {
            ok = ParseInt(value, 1, 100000, options.users);
        } else if (name == "--prefix") {
            ok = ValidPrefix(value);
            options.prefix = value;
        } else if (name == "--password") {
            ok = !value.empty() && value.size() <= 256;
            options.password = value;
        } else if (name == "--contacts") {
            ok = ParseInt(value, 0, 1000, options.contacts);
        } else if (name == "--relay") {
            ok = ParseInt(value, 0, 100000, options.relay_senders);
        } else if (name == "--messages") {
            ok = ParseInt(value, 1, 10000000, options.relay_messages);
        } else if (name == "--relay-window") {
            ok = ParseInt(value, 1, 1000, options.relay_window);
        } else if (name == "--message-bytes") {
            // The text must leave room for its time stamp and fit a frame.
            ok = ParseInt(value, 40, 4000, options.message_bytes);
        } else if (name == "--relay-rate") {
            ok = ParseSeconds(value, 10000000, options.relay_rate);
        } else if (name == "--idle") {
            ok = ParseSeconds(value, 86400, options.idle_seconds);
        } else if (name == "--window") {
            ok = ParseInt(value, 1, 100000, options.window);
        } else if (name == "--storm-window") {
            ok = ParseInt(value, 0, 100000, options.storm_window);
        } else if (name == "--server-pid") {
            ok = ParseInt(value, 1, 1 << 30, pid);
            options.server_pid = pid;
        } else if (name == "--timeout") {
            ok = ParseSeconds(value, 86400, options.timeout_seconds) && options.timeout_seconds > 0;
        } else if (name == "--phase-timeout") {
            ok = ParseSeconds(value, 86400, options.phase_timeout_seconds) &&
                 options.phase_timeout_seconds > 0;
        } else if (name == "--json") {
            ok = !value.empty();
            options.json_path = value;
        }
        if (!ok) {
            return fail("bad value for " + std::string(name) + ": " + std::string(value));
        }
    }
    if (options.stop_server && options.server_pid == 0) {
        result.error = "--stop-server needs --server-pid";
        return result;
    }
    if (options.relay_senders > 0 && options.users < 2) {
        result.error = "--relay needs at least 2 users";
        return result;
    }
    result.options = options;
    return result;
}

}  // namespace parlo::load
