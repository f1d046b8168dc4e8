#!/bin/sh
# Soak run: one headless Server in WORK_DIR serves ROUNDS (default 10)
# rounds of a login storm of 1,000 users and 100,000 relayed messages (ten
# rounds: ten thousand logins and logouts, one million messages). Prints the
# server's resident memory after the first round, after the first minute
# (when the run lasts that long) and at the end, and the count of Log.txt
# lines that report trouble.
#   [ROUNDS=N] tools/load/soak.sh BUILD_DIR WORK_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$2
mkdir -p "$work"
cd "$work"
rm -f UserDB.dat UserDB.bak Log.txt rss.txt
. "$here/server.sh"
sampler=
cleanup() {
    [ -z "$sampler" ] || kill "$sampler" 2>/dev/null || true
    stop_server
}
trap cleanup EXIT INT TERM
start_server
load() { "$build/bin/parlo-load" --port "$port" --users 1000 --prefix soak "$@" >>load.txt; }
load --register --contacts 1
start=$(date +%s)
# Resident memory (kB) every second, with the seconds since the start.
(while kill -0 "$server" 2>/dev/null; do
    echo "$(($(date +%s) - start)) $(awk '/VmRSS/ {print $2}' /proc/$server/status)" >>rss.txt
    sleep 1
done) &
sampler=$!
rss() { awk '/VmRSS/ {print $2}' /proc/$server/status; }
round=0
while [ "$round" -lt "${ROUNDS:-10}" ]; do
    round=$((round + 1))
    load --login --storm-window 100
    load --relay 10 --messages 10000 --relay-window 8
    [ "$round" -ne 1 ] || first_round=$(rss)
done
echo "$round rounds in $(($(date +%s) - start)) s"
kill "$sampler" 2>/dev/null || true
sampler=
minute=$(awk '$1 >= 60 {print $2; exit}' rss.txt)
echo "RSS after the first round: $first_round kB; after the first minute: ${minute:-(run shorter)} kB; at the end: $(rss) kB"
echo "Log.txt lines reporting trouble:"
grep -c -E "illisible|non envoyée|ne lit plus|coupée|incomplet|Impossible" Log.txt || true
