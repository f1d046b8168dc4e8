// Compress + uncompress of a typical 60-byte Message command: zlib's one-shot
// calls against the project's reusing wrappers (which must give equal bytes).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/commands.h"

namespace {

std::string TypicalMessage() {
    const std::vector<std::string> who = {"alice", "bob"};
    std::string command = parlo::FormatMessage("alice", who, "On se voit a 14h pour le point ?");
    command.resize(60, ' ');
    return command;
}

void OneShot(benchmark::State& state) {
    const std::string command = TypicalMessage();
    std::array<Bytef, 8192> packed{};
    std::array<Bytef, 8192> plain{};
    for (auto _ : state) {
        uLongf packed_size = packed.size();
        compress(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(command.data()),
                 command.size());
        uLongf plain_size = plain.size();
        uncompress(plain.data(), &plain_size, packed.data(), packed_size);
        benchmark::DoNotOptimize(plain_size);
    }
}
BENCHMARK(OneShot);

void Wrappers(benchmark::State& state) {
    const std::string command = TypicalMessage();
    std::array<char, 8193> buffer{};
    for (auto _ : state) {
        std::copy(command.begin(), command.end(), buffer.begin());
        const int packed = parlo::CompressInPlace(buffer, static_cast<int>(command.size()));
        const int plain = parlo::UncompressInPlace(buffer, packed);
        benchmark::DoNotOptimize(plain);
    }
}
BENCHMARK(Wrappers);

// Refuses to report figures for wrappers whose bytes differ from zlib's.
bool SameBytes() {
    const std::string command = TypicalMessage();
    std::array<Bytef, 8192> packed{};
    uLongf size = packed.size();
    compress(packed.data(), &size, reinterpret_cast<const Bytef*>(command.data()), command.size());
    std::string ours;
    return parlo::Compress(command, ours) &&
           ours == std::string(reinterpret_cast<const char*>(packed.data()), size);
}

}  // namespace

int main(int argc, char** argv) {
    if (!SameBytes()) {
        std::fputs("wrappers and one-shot zlib disagree\n", stderr);
        return 1;
    }
    std::puts("output byte-identical to one-shot compress(): yes");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
