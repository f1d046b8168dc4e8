#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The server keeps UserDB.dat and Log.txt in run/. Without a display it runs
# headless, and Ctrl-C ends it after saving the database.
mkdir -p run
cd run
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
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
