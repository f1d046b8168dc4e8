// The server core's cost of relaying one message between two logged-in
// connections, its log line to Log.txt included (no sockets).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/core/server_core.h"

namespace {

using namespace parlo;
using namespace parlo::server;

class QuietEvents : public ServerEvents {
  public:
    void OnLogLine(std::string_view) override {}
};

class NullConnection : public Connection {
  public:
    void Send(std::string_view bytes) override { benchmark::DoNotOptimize(bytes.data()); }
    void Close() override {}
};

std::string Blob(std::string_view text) {
    std::string out;
    Compress(text, out);
    return out;
}

std::string Frame(std::string_view command) {
    std::string frame;
    AppendCommandFrame(frame, command);
    return frame;
}

void RelayOneMessage(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "parlo-bench-XXXXXX");
    const std::filesystem::path directory = mkdtemp(pattern.data());
    {
        QuietEvents events;
        ServerCore core(ServerOptions{directory}, events);
        core.Start();
        NullConnection ann;
        NullConnection bob;
        core.OnAccepted(ann, "10.0.0.1", 4000);
        core.OnAccepted(bob, "10.0.0.2", 4001);
        for (auto [connection, login] : {std::pair{&ann, "ann"}, std::pair{&bob, "bob"}}) {
            core.OnBytes(*connection, Frame(FormatAddNewUser(FormatRecordText(
                                          Blob(login), Blob("pw"), "Prénom", "Nom", "x@y.fr"))));
        }
        const std::string message =
            Frame(FormatMessage("ann", std::vector<std::string>{"bob"}, "Bonjour, ça va ?"));
        for (auto _ : state) {
            core.OnBytes(ann, message);
        }
        core.Shutdown();
    }
    std::filesystem::remove_all(directory);
}
BENCHMARK(RelayOneMessage);

}  // namespace

BENCHMARK_MAIN();
