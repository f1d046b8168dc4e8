#!/usr/bin/env bash
# fuzz-smoke.sh <build dir> <seconds>: runs each fuzz target for a bounded time
# from the committed seeds (copied, so the committed corpus is left alone).
set -euo pipefail
dir=$1
seconds=$2
for target in frame_reader command_parser server_core; do
    work=$(mktemp -d)
    cp fuzz/corpus/$target/* "$work"/
    echo "fuzzing $target for ${seconds}s"
    "$dir/bin/${target}_fuzz" -max_total_time="$seconds" -max_len=9000 -print_final_stats=0 \
        "$work" 2>"$work.log" || { tail -50 "$work.log"; rm -rf "$work" "$work.log"; exit 1; }
    tail -1 "$work.log"
    rm -rf "$work" "$work.log"
done
echo "fuzz smoke runs finished without a crash"
