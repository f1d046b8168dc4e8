#!/bin/sh
# The relay against its floor: relay-floor (the server's event loop with a
# sink that forwards whole frames) and the real headless Server, driven in
# turn by the same parlo-load relay, PAIRS pairs in a closed loop with 8
# messages in flight, then an open loop at RATE messages/s; ROUNDS rounds,
# alternating, so that both meet the same load on the machine. The real
# server writes Log.txt in WORK_DIR: put it on a real disk, not on tmpfs.
# Then GROWTH closed-loop runs against one real server, Log.txt growing.
#   bench/relay_floor.sh BUILD_DIR WORK_DIR OUT_DIR
# Writes parlo-load's figures (--json) to OUT_DIR/relay-TARGET-MODE-ROUND.json
# (TARGET floor or real, MODE closed, rate or growth) and, for each run, the
# load average and the size of Log.txt at its start to OUT_DIR/relay-runs.txt,
# then prints the server CPU per message and the ratio of real to floor.
# PAIRS (100), MESSAGES (2000 per sender), RATE (2000), RATE_MESSAGES (200),
# ROUNDS (3), GROWTH (0).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$2
out=$3
mkdir -p "$work" "$out"
out=$(cd "$out" && pwd)
cd "$work"
. "$here/../tools/load/server.sh"
trap stop_server EXIT INT TERM
pairs=${PAIRS:-100}
users=$((2 * pairs))
[ -f UserDB.dat ] || "$build/bin/parlo-load-userdb" --users "$users" . >/dev/null

# load TARGET MODE ROUND [parlo-load options...]: one relay phase against the
# running $server.
load() {
    log_bytes=0
    [ "$1" = floor ] || [ ! -f Log.txt ] || log_bytes=$(wc -c <Log.txt)
    echo "$1 $2 $3 $(cut -d' ' -f1 /proc/loadavg) $log_bytes" >>"$out/relay-runs.txt"
    name="$out/relay-$1-$2-$3.json"
    shift 3
    "$build/bin/parlo-load" --port "$port" --server-pid "$server" --users "$users" \
        --relay "$pairs" "$@" --json "$name" >/dev/null
}

start() {
    if [ "$1" = floor ]; then
        start_listener "$build/bin/relay-floor" --pairs "$pairs"
    else
        start_server
    fi
}

: >"$out/relay-runs.txt"
round=1
while [ "$round" -le "${ROUNDS:-3}" ]; do
    for target in floor real; do
        start "$target"
        load "$target" closed "$round" --messages "${MESSAGES:-2000}"
        load "$target" rate "$round" --messages "${RATE_MESSAGES:-200}" \
            --relay-rate "${RATE:-2000}"
        stop_server
    done
    round=$((round + 1))
done
if [ "${GROWTH:-0}" -gt 0 ]; then
    for target in floor real; do
        start "$target"
        chunk=1
        while [ "$chunk" -le "$GROWTH" ]; do
            load "$target" growth "$chunk" --messages "${MESSAGES:-2000}"
            chunk=$((chunk + 1))
        done
        stop_server
    done
fi
python3 "$here/../tools/load/plot_figures.py" --relay-summary "$out"
