#!/usr/bin/env bash
# Installs what is missing, builds with sanitizers, runs every test, then the
# fuzz smoke runs.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

scripts/build.sh build-test -DCMAKE_BUILD_TYPE=Debug -DPARLO_SANITIZE=ON -DPARLO_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-test --output-on-failure --parallel "$(nproc)" --timeout 300

# The Debian packages: built, checked, installed, run and removed again.
scripts/package-test.sh build-test/bin/parlo-load

# Configured on every call; the compiler is chosen once (naming it again
# would make CMake start the cache afresh).
fuzz_compiler=()
[ -f build-fuzz/CMakeCache.txt ] || fuzz_compiler=(-DCMAKE_CXX_COMPILER=clang++)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${fuzz_compiler[@]}" \
    -DPARLO_FUZZ=ON -DPARLO_GUI=OFF -DPARLO_BENCH=OFF
cmake --build build-fuzz --parallel "$(nproc)" --target frame_reader_fuzz command_parser_fuzz server_core_fuzz
scripts/fuzz-smoke.sh build-fuzz "${FUZZ_SECONDS:-15}"
