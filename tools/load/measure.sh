#!/bin/sh
# Starts a headless Server on a free loopback port in WORK_DIR, runs
# parlo-load against it with the given options, then stops the server.
# WORK_DIR keeps UserDB.dat between runs, so accounts and contacts made by
# one run are reused by the next.
#   tools/load/measure.sh BUILD_DIR WORK_DIR [parlo-load options...]
# SERVER_ARGS adds options to the server's command line (e.g. "--broadcast full").
set -eu
build=$(cd "$1" && pwd)
work=$2
shift 2
mkdir -p "$work"
cd "$work"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
ulimit -n "$(ulimit -Hn)"
# shellcheck disable=SC2086 # SERVER_ARGS holds several words
"$build/bin/Server" --headless --port "$port" ${SERVER_ARGS:-} >/dev/null 2>server.err &
server=$!
cleanup() {
    if kill -0 "$server" 2>/dev/null; then
        kill -TERM "$server" 2>/dev/null || true
        sleep 2
        kill -KILL "$server" 2>/dev/null || true
    fi
    wait "$server" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
# Wait (at most 5 s) until the server listens.
tries=0
until python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { echo "server did not start" >&2; exit 1; }
    sleep 0.1
done
"$build/bin/parlo-load" --port "$port" --server-pid "$server" --stop-server "$@"
