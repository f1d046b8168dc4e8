// Server: "Server [--headless] [--port N] [--broadcast full|changes] [limits] [/minimize]". With
// the console built, without --headless and with a display, the operator's window runs the server;
// otherwise it runs headless. "--admin ..." administers a running server instead.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "server/headless.h"
#include "server/net/net.h"
#include "server/options.h"
#include "server/service/admin_client.h"
#include "server/service/control_protocol.h"
#include "server/tls_start.h"

#ifdef PARLO_HAS_CONSOLE
#include "server/console/console_main.h"
#endif

int main(int argc, char** argv) {
    using namespace parlo::server;
    // The usage names the program as it was started ("Server" in the build
    // tree, "parlomatic-server" once installed).
    const std::string program =
        argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "Server";
    const std::string usage = ServerUsage(program);
    std::string error;
    std::optional<ServerCommandLine> options = ParseServerCommandLine(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), error.c_str(), usage.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (options->fingerprint) {
        return PrintFingerprint(*options);
    }
    if (options->admin) {
        return RunAdminCommand(options->control_socket.empty()
                                   ? std::filesystem::path(kDefaultControlSocket)
                                   : std::filesystem::path(options->control_socket),
                               *options->admin);
    }
    // A client that vanishes mid-write must cost an error code, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    RaiseOpenFileLimit();
#ifdef PARLO_HAS_CONSOLE
    if (!options->headless && ConsoleDisplayAvailable()) {
        return RunConsole(argc, argv, *options);
    }
#endif
    return RunHeadless(*options);
}
