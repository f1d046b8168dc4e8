// parlo-load: simulates many clients against a Server on 127.0.0.1 and
// reports what it took (see docs/load.md).
#include <csignal>
#include <cstdio>
#include <fstream>
#include <span>

#include "tools/load/load_run.h"
#include "tools/load/options.h"
#include "tools/load/process_probe.h"
#include "tools/load/report.h"

int main(int argc, char** argv) {
    using namespace parlo::load;
    const ParsedOptions parsed =
        ParseOptions(std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1)));
    if (!parsed.options) {
        std::fprintf(stderr, "parlo-load: %s\n%s", parsed.error.c_str(), UsageText());
        return 2;
    }
    const LoadOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    // A server that drops us mid-write must not kill the tool.
    std::signal(SIGPIPE, SIG_IGN);
    const uint64_t files = RaiseOpenFileLimit();
    if (files < static_cast<uint64_t>(options.users) + 64) {
        std::fprintf(stderr, "parlo-load: only %llu open files allowed for %d users\n",
                     static_cast<unsigned long long>(files), options.users);
    }
    if (options.server_pid > 0 && !ProcessRunning(options.server_pid)) {
        std::fprintf(stderr, "parlo-load: no running process %d\n", options.server_pid);
        return 2;
    }

    std::vector<PhaseReport> reports;
    bool clean = false;
    {
        LoadRun run(options);
        if (!run.Ready()) {
            std::fputs("parlo-load: cannot start the event loop\n", stderr);
            return 1;
        }
        clean = run.Run(reports);
        // Printed before the connections close: with many users, closing
        // them keeps the server busy for a while.
        std::fputs(FormatTable(reports).c_str(), stdout);
        std::fflush(stdout);
    }
    if (!options.json_path.empty()) {
        std::ofstream json(options.json_path, std::ios::binary | std::ios::trunc);
        json << FormatJson(reports);
        if (!json.flush()) {
            std::fprintf(stderr, "parlo-load: cannot write %s\n", options.json_path.c_str());
            return 1;
        }
    }
    return clean ? 0 : 1;
}
