// A chatting pair's pace beside a flood of incompressible 4 KB messages, on
// the real headless Server: once with the flood's target reading it all, once
// with a target that never reads (dropped at its 4 MB output cap). Each
// iteration sends 20 flood messages, then times one chat message from alice
// to bob; the counters give its median and 99th percentile in milliseconds.
// PARLO_SERVER points at another Server program.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "protocol/commands.h"
#include "tests/support/process.h"
#include "tests/support/wire_client.h"

namespace {

using parlo::testing::RegisterCommand;
using parlo::testing::ScratchDirectory;
using parlo::testing::ServerProcess;
using parlo::testing::WireClient;
using Clock = std::chrono::steady_clock;

constexpr int kFloodPerChat = 20;

std::unique_ptr<WireClient> Account(uint16_t port, const std::string& login) {
    auto client = std::make_unique<WireClient>(port);
    client->Send(RegisterCommand(login, "pw"));
    client->Next();
    return client;
}

double Percentile(std::vector<double> samples, size_t percent) {
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? 0
                           : samples[std::min(samples.size() - 1, samples.size() * percent / 100)];
}

void ChatBesideAFlood(benchmark::State& state, bool target_reads) {
    ScratchDirectory directory;
    ServerProcess server(parlo::testing::ProgramPath("PARLO_SERVER", SERVER_PATH),
                         directory.Path());
    if (!server.StartOnFreePort()) {
        state.SkipWithError("the Server did not start");
        return;
    }
    auto alice = Account(server.Port(), "alice");
    auto bob = Account(server.Port(), "bob");
    auto flooder = Account(server.Port(), "flooder");
    auto target = Account(server.Port(), "target");
    std::mt19937 random(7);
    std::string noise(4000, ' ');
    const std::string chat =
        parlo::FormatMessage("alice", std::vector<std::string>{"alice", "bob"}, "ça va ?");
    std::vector<double> latencies;
    for (auto _ : state) {
        for (int k = 0; k < kFloodPerChat; ++k) {
            for (char& c : noise) {
                c = static_cast<char>(1 + random() % 255);
            }
            flooder->Send(parlo::FormatMessage(
                "flooder", std::vector<std::string>{"flooder", "target"}, noise));
        }
        if (target_reads) {
            target->ReadAvailable();
            while (target->Pop()) {
            }
        }
        const auto start = Clock::now();
        alice->Send(chat);
        bob->WaitFor("Message:");
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        latencies.push_back(took.count() * 1000);
    }
    state.counters["p50_ms"] = Percentile(latencies, 50);
    state.counters["p99_ms"] = Percentile(latencies, 99);
}

void BM_ChatBesideAReadingPeer(benchmark::State& state) {
    ChatBesideAFlood(state, true);
}
void BM_ChatBesideAStalledPeer(benchmark::State& state) {
    ChatBesideAFlood(state, false);
}

// 200 rounds send 16 MB towards the target: four times the cap.
BENCHMARK(BM_ChatBesideAReadingPeer)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChatBesideAStalledPeer)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
