#!/bin/sh
# Starts a headless Server on a free loopback port in WORK_DIR, runs
# parlo-load against it with the given options, then stops the server.
# WORK_DIR keeps UserDB.dat between runs, so accounts and contacts made by
# one run are reused by the next.
#   tools/load/measure.sh BUILD_DIR WORK_DIR [parlo-load options...]
# SERVER_ARGS adds options to the server's command line (e.g. "--broadcast full").
# With --tls among the options, the server also listens on a TLS port, which
# parlo-load is pointed at.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$2
shift 2
mkdir -p "$work"
cd "$work"
. "$here/server.sh"
trap stop_server EXIT INT TERM
tls_args=
for arg in "$@"; do
    if [ "$arg" = --tls ]; then
        tls_port=$(free_port)
        tls_args="--tls-port $tls_port"
    fi
done
# shellcheck disable=SC2086 # SERVER_ARGS holds several words
start_server ${SERVER_ARGS:-} $tls_args
[ -z "$tls_args" ] || port=$tls_port
"$build/bin/parlo-load" --port "$port" --server-pid "$server" --stop-server "$@"
