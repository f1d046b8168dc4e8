#!/bin/sh
# Soak run: one headless Server in WORK_DIR serves ten rounds of a login
# storm of 1,000 users and 100,000 relayed messages (ten thousand logins and
# logouts, one million messages in all). Prints the server's resident memory
# after the first minute and at the end, and the Log.txt lines that report
# trouble.
#   tools/load/soak.sh BUILD_DIR WORK_DIR
set -eu
build=$(cd "$1" && pwd)
work=$2
mkdir -p "$work"
cd "$work"
rm -f UserDB.dat UserDB.bak Log.txt rss.txt
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
ulimit -n "$(ulimit -Hn)"
"$build/bin/Server" --headless --port "$port" >/dev/null 2>server.err &
server=$!
sampler=
cleanup() {
    [ -z "$sampler" ] || kill "$sampler" 2>/dev/null || true
    kill -TERM "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
tries=0
until python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { echo "server did not start" >&2; exit 1; }
    sleep 0.1
done
load() { "$build/bin/parlo-load" --port "$port" --users 1000 --prefix soak "$@" >>load.txt; }
load --register --contacts 1
start=$(date +%s)
# Resident memory (kB) every five seconds, with the seconds since the start.
(while kill -0 "$server" 2>/dev/null; do
    echo "$(($(date +%s) - start)) $(awk '/VmRSS/ {print $2}' /proc/$server/status)" >>rss.txt
    sleep 5
done) &
sampler=$!
for round in 1 2 3 4 5 6 7 8 9 10; do
    load --login --storm-window 100
    load --relay 10 --messages 10000 --relay-window 8
    echo "round $round done after $(($(date +%s) - start)) s"
done
kill "$sampler" 2>/dev/null || true
sampler=
first=$(awk '$1 >= 60 {print $2; exit}' rss.txt)
last=$(awk '/VmRSS/ {print $2}' /proc/$server/status)
echo "RSS after the first minute: ${first:-?} kB; at the end: $last kB"
echo "Log.txt lines reporting trouble:"
grep -c -E "illisible|non envoyée|ne lit plus|coupée|incomplet|Impossible" Log.txt || true
