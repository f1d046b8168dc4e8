// Parlomatic: the chat client. "Parlomatic [/minimize]".
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "client/shell/command_line.h"
#include "client/shell/run_client.h"

int main(int argc, char** argv) {
    using namespace parlo::client;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<ClientCommandLine> options = ParseClientCommandLine(args, error);
    if (!options) {
        std::fprintf(stderr, "Parlomatic: %s\n%.*s", error.c_str(),
                     static_cast<int>(ClientUsage().size()), ClientUsage().data());
        return 2;
    }
    if (options->help) {
        std::fwrite(ClientUsage().data(), 1, ClientUsage().size(), stdout);
        return 0;
    }
    return RunClient(argc, argv, *options);
}
