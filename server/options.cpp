#include "server/options.h"

#include <charconv>
#include <vector>

#include "protocol/field_string.h"
#include "server/service/admin_client.h"
#include "server/service/control_protocol.h"

namespace parlo::server {
namespace {

std::optional<uint16_t> ParsePort(std::string_view text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

// The value of "--name VALUE" or "--name=VALUE" at args[i] (i moves past a
// separate value; a missing one reads as empty); nothing for another option.
std::optional<std::string_view> OptionValue(std::span<const std::string_view> args, size_t& i,
                                            std::string_view name) {
    const std::string_view arg = args[i];
    if (arg == name) {
        return i + 1 < args.size() ? args[++i] : std::string_view();
    }
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
    }
    return std::nullopt;
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
        } else if (arg == "--broadcast" || arg.starts_with("--broadcast=")) {
            std::string_view value;
            if (arg == "--broadcast") {
                if (i + 1 == args.size()) {
                    error = "--broadcast needs full or changes";
                    return std::nullopt;
                }
                value = args[++i];
            } else {
                value = arg.substr(12);
            }
            if (value == "full") {
                options.broadcast = BroadcastMode::kFull;
            } else if (value == "changes") {
                options.broadcast = BroadcastMode::kChanges;
            } else {
                error = "invalid broadcast: " + std::string(value) + " (full or changes)";
                return std::nullopt;
            }
        } else if (arg == "--admin") {
            options.admin.emplace(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (std::optional<std::string_view> value = OptionValue(args, i, "--control")) {
            if (value->empty()) {
                error = "--control needs a socket path";
                return std::nullopt;
            }
            options.control_socket = *value;
        } else if (std::optional<std::string_view> value = OptionValue(args, i, "--log-messages")) {
            if (*value != "yes" && *value != "no") {
                error = "invalid log-messages: " + std::string(*value) + " (yes or no)";
                return std::nullopt;
            }
            options.log_message_texts = *value == "yes";
        } else if (std::optional<std::string_view> value = OptionValue(args, i, "--log-stdout")) {
            if (*value != "all" && *value != "warnings") {
                error = "invalid log-stdout: " + std::string(*value) + " (all or warnings)";
                return std::nullopt;
            }
            options.log_stdout_all = *value == "all";
        } else if (arg == "--port" || arg.starts_with("--port=")) {
            std::string_view value;
            if (arg == "--port") {
                if (i + 1 == args.size()) {
                    error = "--port needs a port number";
                    return std::nullopt;
                }
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            std::optional<uint16_t> port = ParsePort(value);
            if (!port) {
                error = "invalid port number: " + std::string(value) + " (1 to 65535)";
                return std::nullopt;
            }
            options.port = *port;
        } else {
            error = "unknown option: " + std::string(arg);
            return std::nullopt;
        }
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
           " [--headless] [--port N] [--broadcast full|changes] [/minimize]\n"
           "       [--log-messages yes|no] [--log-stdout all|warnings] [--control PATH]\n" +
           AdminUsage(program) +
           "  --headless  run without a window; each log line is also printed here,\n"
           "              SIGTERM or SIGINT saves the database and exits\n"
           "  --port N    listen on port N instead of 7777\n"
           "  --broadcast full\n"
           "              send every connection its contacts' states after every\n"
           "              change, as older clients may need; the default (changes)\n"
           "              sends a connection its list only when it changed\n"
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
           "  --help      print this text and exit\n"
           "UserDB.dat, UserDB.bak and Log.txt are kept in the working directory.\n";
}

}  // namespace parlo::server
