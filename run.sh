#!/usr/bin/env bash
# Installs what is missing, builds the programs it runs (not the tests), and
# runs the main job. One line tells each step; the details go to run/*.log.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p run
step_log() { # step_log <log> <command...>: runs quietly, shows the log on failure
    local log=$1
    shift
    "$@" >"$log" 2>&1 || { tail -40 "$log"; echo "run.sh: failed, see $log" >&2; exit 1; }
}
headless=
programs=(Server Parlomatic)
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    headless=1
    programs=(Server)
fi

echo "run.sh: installing the missing Debian packages (run/install.log)"
step_log run/install.log scripts/install-deps.sh
# Configured on every call, so that a changed option takes effect.
echo "run.sh: configuring build/ (run/build.log)"
step_log run/build.log cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "run.sh: building ${programs[*]} in build/bin (run/build.log)"
step_log run/build.log cmake --build build --parallel "$(nproc)" --target "${programs[@]}"

# The server keeps UserDB.dat and Log.txt in run/. Without a display it runs
# headless, and Ctrl-C ends it after saving the database.
cd run
if [ -n "$headless" ]; then
    echo "run.sh: starting Server headless in run/ (Ctrl-C saves and stops it)"
    exec ../build/bin/Server --headless "$@"
fi

# With a display: the server's console (a build without the console runs
# headless by itself), then one client ready to log in to it.
port=7777
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
    case "${args[i]}" in
        --port) port=${args[i + 1]:-7777} ;;
        --port=*) port=${args[i]#--port=} ;;
    esac
done
echo "run.sh: starting Server's console in run/ and a client in run/client"
../build/bin/Server "$@" &
server=$!
for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        break
    fi
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done

# The client runs in run/client with its settings in run/client/config (not
# the user's own ~/.config). On the first run they name this server and hold
# an empty login (stored, as every login is, compressed), so the client opens
# "Paramètres" with 127.0.0.1 and the port filled in.
mkdir -p client
cp ../build/bin/Receive.wav client/
ini=client/config/Parlomatic/Parlomatic.ini
if [ ! -f "$ini" ]; then
    mkdir -p "$(dirname "$ini")"
    (
        umask 077
        printf '[Login]\nLogin=120:156:3:0:0:0:0:1\nPassword=\n\n[Server]\nIP=127.0.0.1\nPort=%s\n' \
            "$port" >"$ini"
    )
fi
(cd client && XDG_CONFIG_HOME="$PWD/config" exec ../../build/bin/Parlomatic) &
wait "$server"
