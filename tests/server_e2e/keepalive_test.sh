#!/bin/bash
# A client that vanishes without closing its connection is closed by the
# server's keepalive: in a network namespace of its own, the test connects to
# the headless Server, then takes the loopback down so that nothing answers
# the probes any more. Skipped (77) where no namespace can be made.
# Usage: keepalive_test.sh SERVER [KEEPALIVE_SECONDS]
server=$(realpath "$1")
keepalive="${2:-1}"
limit=70
if ! unshare -n true 2>/dev/null; then
    echo "no network namespace here: skipped"
    exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export server keepalive limit dir
exec unshare -n bash -c '
    ip link set lo up || exit 77
    cd "$dir" || exit 1
    "$server" --headless --port 7777 --keepalive "$keepalive" > out.txt 2>&1 &
    pid=$!
    trap "kill $pid 2>/dev/null" EXIT
    waited() { for _ in $(seq 1 "$2"); do grep -q "$1" out.txt && return 0; sleep 0.1; done; return 1; }
    waited "en écoute" 100 || { echo "the server did not start"; cat out.txt; exit 1; }
    exec 3<>/dev/tcp/127.0.0.1/7777
    waited "est accepté" 100 || { echo "the connection was not accepted"; exit 1; }
    ip link set lo down
    start=$(date +%s.%N)
    if ! waited "a quitté le chat" $((limit * 10)); then
        echo "the vanished client was still there after ${limit} s"
        exit 1
    fi
    echo "closed $(awk "BEGIN { print $(date +%s.%N) - $start }") s after the peer vanished (keepalive ${keepalive} s)"
'
