#include "server/options.h"

#include <charconv>
#include <vector>

#include "protocol/field_string.h"
#include "server/service/admin_client.h"
#include "server/service/control_protocol.h"

namespace parlo::server {
namespace {

// The largest connection count or time-out the limit options take.
constexpr unsigned kMaxLimit = 1'000'000;

std::optional<unsigned> ParseNumber(std::string_view text, unsigned low, unsigned high) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// "--name" or "--name=value".
bool OptionNamed(std::string_view arg, std::string_view name) {
    return arg == name || (arg.starts_with(name) && arg.substr(name.size()).starts_with('='));
}

// The value after "=" or in the next argument (which is then consumed).
std::optional<std::string_view> OptionValue(std::span<const std::string_view> args, size_t& i,
                                            std::string_view name, std::string_view needs,
                                            std::string& error) {
    const std::string_view arg = args[i];
    if (arg.size() > name.size()) {
        return arg.substr(name.size() + 1);
    }
    if (i + 1 == args.size()) {
        error = std::string(name) + " needs " + std::string(needs);
        return std::nullopt;
    }
    return args[++i];
}

}  // namespace

std::optional<ServerCommandLine> ParseServerCommandLine(std::span<const std::string_view> args,
                                                        std::string& error) {
    ServerCommandLine options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--headless") {
            options.headless = true;
        } else if (EqualsNoCase(arg, "/minimize")) {  // letter case ignored
            options.minimize = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (OptionNamed(arg, "--broadcast")) {
            const auto value = OptionValue(args, i, "--broadcast", "full or changes", error);
            if (!value) {
                return std::nullopt;
            }
            if (*value == "full") {
                options.broadcast = BroadcastMode::kFull;
            } else if (*value == "changes") {
                options.broadcast = BroadcastMode::kChanges;
            } else {
                error = "invalid broadcast: " + std::string(*value) + " (full or changes)";
                return std::nullopt;
            }
        } else if (arg == "--tls-only") {
            options.tls_only = true;
        } else if (arg == "--fingerprint") {
            options.fingerprint = true;
        } else if (OptionNamed(arg, "--tls-cert") || OptionNamed(arg, "--tls-key")) {
            const std::string_view name = arg.substr(0, arg.find('='));
            const auto value = OptionValue(args, i, name, "a PEM file", error);
            if (!value) {
                return std::nullopt;
            }
            if (value->empty()) {
                error = std::string(name) + " needs a PEM file";
                return std::nullopt;
            }
            (name == "--tls-cert" ? options.tls_certificate : options.tls_key) = *value;
        } else if (OptionNamed(arg, "--tls-handshake-timeout")) {
            const auto value =
                OptionValue(args, i, "--tls-handshake-timeout", "a number of seconds", error);
            if (!value) {
                return std::nullopt;
            }
            const std::optional<unsigned> seconds = ParseNumber(*value, 1, kMaxLimit);
            if (!seconds) {
                error = "invalid tls-handshake-timeout: " + std::string(*value) + " (1 to " +
                        std::to_string(kMaxLimit) + " seconds)";
                return std::nullopt;
            }
            options.tls_handshake_timeout_s = static_cast<int>(*seconds);
        } else if (arg == "--admin") {
            options.admin.emplace(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (OptionNamed(arg, "--control")) {
            const auto value = OptionValue(args, i, "--control", "a socket path", error);
            if (!value) {
                return std::nullopt;
            }
            if (value->empty()) {
                error = "--control needs a socket path";
                return std::nullopt;
            }
            options.control_socket = *value;
        } else if (OptionNamed(arg, "--log-messages")) {
            const auto value = OptionValue(args, i, "--log-messages", "yes or no", error);
            if (!value) {
                return std::nullopt;
            }
            if (*value != "yes" && *value != "no") {
                error = "invalid log-messages: " + std::string(*value) + " (yes or no)";
                return std::nullopt;
            }
            options.log_message_texts = *value == "yes";
        } else if (OptionNamed(arg, "--log-stdout")) {
            const auto value = OptionValue(args, i, "--log-stdout", "all or warnings", error);
            if (!value) {
                return std::nullopt;
            }
            if (*value != "all" && *value != "warnings") {
                error = "invalid log-stdout: " + std::string(*value) + " (all or warnings)";
                return std::nullopt;
            }
            options.log_stdout_all = *value == "all";
        } else if (OptionNamed(arg, "--max-connections") || OptionNamed(arg, "--max-per-address") ||
                   OptionNamed(arg, "--login-timeout")) {
            const std::string_view name = arg.substr(0, arg.find('='));
            const std::string needs = "a number from 0 (no limit) to " + std::to_string(kMaxLimit);
            const auto value = OptionValue(args, i, name, needs, error);
            if (!value) {
                return std::nullopt;
            }
            const std::optional<unsigned> count = ParseNumber(*value, 0, kMaxLimit);
            if (!count) {
                error = std::string(name) + " needs " + needs;
                return std::nullopt;
            }
            if (name == "--max-connections") {
                options.limits.total = *count;
            } else if (name == "--max-per-address") {
                options.limits.per_address = *count;
            } else {
                options.login_timeout_s = static_cast<int64_t>(*count);
            }
        } else if (OptionNamed(arg, "--port") || OptionNamed(arg, "--tls-port")) {
            const std::string_view name = arg.substr(0, arg.find('='));
            const auto value = OptionValue(args, i, name, "a port number", error);
            if (!value) {
                return std::nullopt;
            }
            const std::optional<unsigned> port = ParseNumber(*value, 1, 65535);
            if (!port) {
                error = "invalid port number: " + std::string(*value) + " (1 to 65535)";
                return std::nullopt;
            }
            (name == "--port" ? options.port : options.tls_port) = static_cast<uint16_t>(*port);
        } else if (OptionNamed(arg, "--keepalive")) {
            const auto value = OptionValue(args, i, "--keepalive", "a number of seconds", error);
            if (!value) {
                return std::nullopt;
            }
            const std::optional<unsigned> seconds = ParseNumber(*value, 0, kMaxKeepAliveS);
            if (!seconds) {
                error = "invalid keepalive: " + std::string(*value) + " (0 to " +
                        std::to_string(kMaxKeepAliveS) + " seconds)";
                return std::nullopt;
            }
            options.keepalive_s = static_cast<int>(*seconds);
        } else {
            error = "unknown option: " + std::string(arg);
            return std::nullopt;
        }
    }
    if (options.tls_certificate.empty() != options.tls_key.empty()) {
        error = "--tls-cert and --tls-key go together";
        return std::nullopt;
    }
    if (options.tls_only && options.tls_port == 0) {
        error = "--tls-only needs --tls-port";
        return std::nullopt;
    }
    return options;
}

std::optional<ServerCommandLine> ParseServerCommandLine(int argc, const char* const* argv,
                                                        std::string& error) {
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    return ParseServerCommandLine(args, error);
}

std::string ServerUsage(std::string_view program) {
    return "Usage: " + std::string(program) +
           " [--headless] [--port N] [--broadcast full|changes] [--keepalive S]\n"
           "       [--max-connections N] [--max-per-address N] [--login-timeout S] [/minimize]\n"
           "       [--log-messages yes|no] [--log-stdout all|warnings] [--control PATH]\n"
           "       [--tls-port N [--tls-cert FILE --tls-key FILE] [--tls-only]]\n"
           "       [--tls-handshake-timeout S]\n"
           "       " +
           std::string(program) + " --fingerprint [--tls-cert FILE --tls-key FILE]\n" +
           AdminUsage(program) +
           "  --headless  run without a window; each log line is also printed here,\n"
           "              SIGTERM or SIGINT saves the database and exits\n"
           "  --port N    listen on port N instead of 7777\n"
           "  --broadcast full\n"
           "              send every connection its contacts' states after every\n"
           "              change, as older clients may need; the default (changes)\n"
           "              sends a connection its list only when it changed\n"
           "  --keepalive S\n"
           "              close a client that vanished (power cut, cable pulled):\n"
           "              probe it after S idle seconds (default 20, 0: never),\n"
           "              then every 10 s at most, and close it after 3 probes\n"
           "  --max-connections N\n"
           "              accept at most N connections at a time (default 10000)\n"
           "  --max-per-address N\n"
           "              and at most N from one address (default 64)\n"
           "  --login-timeout S\n"
           "              close a connection not logged in after S seconds (default 30)\n"
           "              (0 lifts any of these three limits)\n"
           "  /minimize   start with the console window hidden\n"
           "  --log-messages no\n"
           "              log conversation lines without the text of the messages\n"
           "  --log-stdout warnings\n"
           "              print only warnings and errors here (the default when\n"
           "              standard output is the journal); all: every log line\n"
           "  --control PATH\n"
           "              the administration socket (default for the service:\n"
           "              $RUNTIME_DIRECTORY/control; for --admin: " +
           std::string(kDefaultControlSocket) + ")\n" +
           "  --admin     administer the running server: list the accounts, add one,\n"
           "              change a password, delete one, list who is connected or\n"
           "              send a message to everyone connected\n"
           "  --tls-port N\n"
           "              also accept encrypted (TLS) connections on port N, carrying\n"
           "              the same frames (clients choose \"Connexion chiffrée\")\n"
           "  --tls-cert FILE --tls-key FILE\n"
           "              the certificate (PEM, with its chain) and key to serve;\n"
           "              by default a self-signed certificate made at the first\n"
           "              start and kept in ServerTLS.pem\n"
           "  --tls-only  no plain port: only encrypted connections\n"
           "  --tls-handshake-timeout S\n"
           "              close a connection whose handshake takes over S seconds\n"
           "              (default 10)\n"
           "  --fingerprint\n"
           "              print the SHA-256 fingerprint of the certificate served\n"
           "              (making the self-signed one if needed) and exit\n"
           "  --help      print this text and exit\n"
           "UserDB.dat, UserDB.bak, Log.txt and ServerTLS.pem are kept in the working\n"
           "directory.\n";
}

}  // namespace parlo::server
