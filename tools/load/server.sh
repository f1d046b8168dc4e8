# Sourced by the load scripts, with $build set to the build directory.
# start_server [Server options...]: a headless Server on a free loopback port
# in the current directory (its errors in server.err); sets $server (its pid)
# and $port, and waits (at most 5 s) until it listens.
# start_listener PROGRAM [options...]: the same for any program that takes
# "--port N" (e.g. relay-floor).
# stop_server: SIGTERM (which saves), SIGKILL two seconds later if still there.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_listener() {
    port=$(free_port)
    ulimit -n "$(ulimit -Hn)"
    program=$1
    shift
    "$program" --port "$port" "$@" >/dev/null 2>server.err &
    server=$!
    tries=0
    until python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || { echo "server did not start" >&2; exit 1; }
        sleep 0.1
    done
}

start_server() {
    # All simulated users come from 127.0.0.1: the connection limits are lifted
    # unless SERVER_LIMITS says otherwise ("" for a build without them).
    # shellcheck disable=SC2086
    start_listener "$build/bin/Server" --headless ${SERVER_LIMITS---max-per-address 0 --max-connections 0} "$@"
}

stop_server() {
    [ -n "${server:-}" ] || return 0
    if kill -0 "$server" 2>/dev/null; then
        kill -TERM "$server" 2>/dev/null || true
        sleep 2
        kill -KILL "$server" 2>/dev/null || true
    fi
    wait "$server" 2>/dev/null || true
    server=
}
