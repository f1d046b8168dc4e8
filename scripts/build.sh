#!/usr/bin/env bash
# build.sh <dir> [cmake options...]: configures <dir> (every call, so that a
# new -D option takes effect) and builds it.
set -euo pipefail
dir=$1
shift
cmake -S . -B "$dir" -G Ninja "$@"
cmake --build "$dir" --parallel "$(nproc)"
