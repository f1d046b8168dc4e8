// Server: "Server [--headless] [--port N] [--broadcast full|changes] [/minimize]". With the console
// built, without --headless and with a display, the operator's window runs the server; otherwise it
// runs headless.
#include <csignal>
#include <cstdio>
#include <string>

#include "server/headless.h"
#include "server/net/net.h"
#include "server/options.h"

#ifdef PARLO_HAS_CONSOLE
#include "server/console/console_main.h"
#endif

int main(int argc, char** argv) {
    using namespace parlo::server;
    std::string error;
    std::optional<ServerCommandLine> options = ParseServerCommandLine(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "Server: %s\n%.*s", error.c_str(),
                     static_cast<int>(ServerUsage().size()), ServerUsage().data());
        return 2;
    }
    if (options->help) {
        std::fwrite(ServerUsage().data(), 1, ServerUsage().size(), stdout);
        return 0;
    }
    // A client that vanishes mid-write must cost an error code, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    RaiseOpenFileLimit();
#ifdef PARLO_HAS_CONSOLE
    if (!options->headless && ConsoleDisplayAvailable()) {
        return RunConsole(argc, argv, options->port, options->minimize, options->broadcast);
    }
#endif
    return RunHeadless(*options);
}
