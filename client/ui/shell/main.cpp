// Parlomatic: the chat client. "Parlomatic [/minimize]".
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "client/ui/shell/command_line.h"
#include "client/ui/shell/run_client.h"

int main(int argc, char** argv) {
    using namespace parlo::client;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    // The usage names the program as it was started ("Parlomatic" in the
    // build tree, "parlomatic" once installed).
    const std::string program =
        argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "Parlomatic";
    const std::string usage = ClientUsage(program);
    std::string error;
    const std::optional<ClientCommandLine> options = ParseClientCommandLine(args, error);
    if (!options) {
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), error.c_str(), usage.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    return RunClient(argc, argv, *options);
}
