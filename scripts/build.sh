#!/usr/bin/env bash
# build.sh <dir> [cmake options...]: configures (once) and builds into <dir>.
set -euo pipefail
dir=$1
shift
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
fi
cmake --build "$dir" --parallel "$(nproc)"
