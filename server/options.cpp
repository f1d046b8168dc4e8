#include "server/options.h"

#include <charconv>
#include <vector>

#include "protocol/field_string.h"

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

// A count for the limits: 0 (no limit) to a million.
std::optional<size_t> ParseCount(std::string_view text) {
    size_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value > 1'000'000) {
        return std::nullopt;
    }
    return value;
}

// The value of "--name V" or "--name=V" at args[i] (advancing i), or none.
std::optional<std::string_view> OptionValue(std::span<const std::string_view> args, size_t& i,
                                            std::string_view name) {
    const std::string_view arg = args[i];
    if (arg == name) {
        if (i + 1 == args.size()) {
            return std::nullopt;
        }
        return args[++i];
    }
    return arg.substr(name.size() + 1);
}

bool IsOption(std::string_view arg, std::string_view name) {
    return arg == name ||
           (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=');
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
        } else if (IsOption(arg, "--max-connections") || IsOption(arg, "--max-per-address") ||
                   IsOption(arg, "--login-timeout")) {
            const std::string_view name = arg.substr(0, arg.find('='));
            const auto value = OptionValue(args, i, name);
            const auto count = value ? ParseCount(*value) : std::nullopt;
            if (!count) {
                error = std::string(name) + " needs a number from 0 (no limit) to 1000000";
                return std::nullopt;
            }
            if (name == "--max-connections") {
                options.limits.total = *count;
            } else if (name == "--max-per-address") {
                options.limits.per_address = *count;
            } else {
                options.login_timeout_s = static_cast<int64_t>(*count);
            }
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
           " [--headless] [--port N] [--broadcast full|changes]\n"
           "       [--max-connections N] [--max-per-address N] [--login-timeout S] [/minimize]\n"
           "  --headless  run without a window; each log line is also printed here,\n"
           "              SIGTERM or SIGINT saves the database and exits\n"
           "  --port N    listen on port N instead of 7777\n"
           "  --broadcast full\n"
           "              send every connection its contacts' states after every\n"
           "              change, as older clients may need; the default (changes)\n"
           "              sends a connection its list only when it changed\n"
           "  --max-connections N\n"
           "              accept at most N connections at a time (default 10000)\n"
           "  --max-per-address N\n"
           "              and at most N from one address (default 64)\n"
           "  --login-timeout S\n"
           "              close a connection not logged in after S seconds (default 30)\n"
           "              (0 lifts any of these three limits)\n"
           "  /minimize   start with the console window hidden\n"
           "  --help      print this text and exit\n"
           "UserDB.dat, UserDB.bak and Log.txt are kept in the working directory.\n";
}

}  // namespace parlo::server
