#!/bin/sh
# Server CPU per login against the number of users: a login storm (10
# contacts each, 8 at a time) for each USERS count and each BROADCAST mode,
# ROUNDS times. The working directories (made by parlo-load-userdb) go in
# WORK_DIR; parlo-load's figures in OUT_DIR/login-BROADCAST-USERS-ROUND.json.
#   tools/load/login_curve.sh BUILD_DIR WORK_DIR OUT_DIR
# USERS ("1000 5000 10000 19000"), FULL_USERS ("1000 2000": the full
# broadcast costs N²/2 lists, 19,000 users would take hours), ROUNDS (1),
# FIRST_ROUND (1: the number of the first round's files), LOAD_ARGS (more
# parlo-load options, e.g. "--phase-timeout 900" for a storm of 10,000 users
# with the full broadcast, which lasts about 6 minutes here).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$2
out=$3
mkdir -p "$work" "$out"
out=$(cd "$out" && pwd)
round=${FIRST_ROUND:-1}
while [ "$round" -lt $((${FIRST_ROUND:-1} + ${ROUNDS:-1})) ]; do
    for broadcast in changes full; do
        if [ "$broadcast" = full ]; then counts=${FULL_USERS:-1000 2000}; else counts=${USERS:-1000 5000 10000 19000}; fi
        for users in $counts; do
            dir="$work/users$users"
            mkdir -p "$dir"
            [ -f "$dir/UserDB.dat" ] || "$build/bin/parlo-load-userdb" --users "$users" --contacts 5 "$dir" >/dev/null
            # shellcheck disable=SC2086 # LOAD_ARGS holds several words
            SERVER_ARGS="--broadcast $broadcast" "$here/measure.sh" "$build" "$dir" --users "$users" \
                --login --storm-window 8 --window 8 ${LOAD_ARGS:-} \
                --json "$out/login-$broadcast-$users-$round.json" >/dev/null
        done
    done
    round=$((round + 1))
done
