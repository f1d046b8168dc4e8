#!/usr/bin/env bash
# package-test.sh <parlo-load>: builds the two Debian packages, checks what
# they hold (file lists, desktop entries, lintian, the systemd unit), installs
# them, runs the installed server headless on a free loopback port while
# <parlo-load> registers and logs in a user, stops it with SIGTERM and removes
# the packages again. Needs root (or sudo) for the installation.
set -euo pipefail
cd "$(dirname "$0")/.."
load=$(realpath "$1")
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
apt_get=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300)
work=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill -KILL "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "package test FAILED: $*" >&2
    exit 1
}

scripts/package.sh
version=$(sed -nE 's/^project\(Parlomatic VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
client_deb=dist/parlomatic_${version}_${arch}.deb
server_deb=dist/parlomatic-server_${version}_${arch}.deb
[ -f "$client_deb" ] && [ -f "$server_deb" ] || fail "missing $client_deb or $server_deb"

echo "package test: file lists"
expect_files() {
    local deb=$1
    shift
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
    for path in "$@"; do
        grep -qxF "$path" <<<"$listing" || fail "$deb lacks $path"
    done
}
icons() {
    for size in 16 32 48 128; do
        echo "/usr/share/icons/hicolor/${size}x${size}/apps/$1.png"
    done
}
mapfile -t client_icons < <(icons parlomatic)
mapfile -t server_icons < <(icons parlomatic-server)
expect_files "$client_deb" /usr/bin/parlomatic /usr/share/parlomatic/Receive.wav \
    /usr/share/applications/parlomatic.desktop "${client_icons[@]}" \
    /usr/share/man/man1/parlomatic.1.gz /usr/share/doc/parlomatic/README.md \
    /usr/share/doc/parlomatic/copyright /usr/share/doc/parlomatic/changelog.gz
expect_files "$server_deb" /usr/bin/parlomatic-server \
    /lib/systemd/system/parlomatic-server.service \
    /usr/share/applications/parlomatic-server.desktop "${server_icons[@]}" \
    /usr/share/man/man1/parlomatic-server.1.gz /usr/share/doc/parlomatic-server/README.md \
    /usr/share/doc/parlomatic-server/copyright /usr/share/doc/parlomatic-server/changelog.gz
for deb in "$client_deb" "$server_deb"; do
    dpkg-deb -f "$deb" Version | grep -qxF "$version" || fail "$deb is not version $version"
    dpkg-deb -f "$deb" Depends | grep -q libqt6core6 || fail "$deb has no library dependencies"
done
dpkg-deb -x "$client_deb" "$work/client"
dpkg-deb -x "$server_deb" "$work/server"
grep -q "Expat" "$work/client/usr/share/doc/parlomatic/copyright" || fail "copyright names no licence"
cmp -s "$work/server/usr/share/doc/parlomatic-server/copyright" \
    "$work/client/usr/share/doc/parlomatic/copyright" || fail "the packages' copyright files differ"

unit="$work/server/lib/systemd/system/parlomatic-server.service"
for line in "ExecStart=/usr/bin/parlomatic-server --headless" "StateDirectory=parlomatic" \
    "WorkingDirectory=/var/lib/parlomatic" "DynamicUser=yes" "Restart=on-failure" \
    "ProtectSystem=strict" "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX"; do
    grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done

echo "package test: desktop entries"
desktop-file-validate "$work/client/usr/share/applications/parlomatic.desktop" \
    "$work/server/usr/share/applications/parlomatic-server.desktop"
grep -qx "Categories=Network;InstantMessaging;" \
    "$work/client/usr/share/applications/parlomatic.desktop" || fail "client's categories"

if command -v lintian >/dev/null; then
    echo "package test: lintian"
    lintian --fail-on error "$client_deb" "$server_deb" 2>&1 | grep -v "^running with root" || true
    lintian --fail-on error "$client_deb" "$server_deb" >/dev/null 2>&1 || fail "lintian errors"
fi

echo "package test: installing both packages"
"${apt_get[@]}" purge parlomatic parlomatic-server >/dev/null 2>&1 || true
"${apt_get[@]}" install "./$client_deb" "./$server_deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install"; }
for program in /usr/bin/parlomatic /usr/bin/parlomatic-server; do
    [ -x "$program" ] || fail "$program not installed"
done
/usr/bin/parlomatic-server --help | grep -q -- "^Usage: parlomatic-server \[--headless\]" ||
    fail "parlomatic-server --help"
QT_QPA_PLATFORM=offscreen /usr/bin/parlomatic --help | grep -q -- "^Usage: parlomatic \[/minimize\]" ||
    fail "parlomatic --help"

if command -v systemd-analyze >/dev/null; then
    echo "package test: systemd-analyze verify"
    man_check=()
    command -v man >/dev/null || man_check=(--man=no)
    systemd-analyze verify "${man_check[@]}" /lib/systemd/system/parlomatic-server.service
fi

echo "package test: the installed server with a user registering and logging in"
run="$work/run"
mkdir -p "$run"
port=
for _ in $(seq 10); do
    candidate=$((20000 + RANDOM % 40000))
    (cd "$run" && exec /usr/bin/parlomatic-server --headless --port "$candidate" \
        >"$work/stdout.txt" 2>"$work/stderr.txt") &
    server=$!
    for _ in $(seq 50); do
        grep -q "port $candidate" "$work/stdout.txt" 2>/dev/null && break
        kill -0 "$server" 2>/dev/null || break
        sleep 0.1
    done
    if grep -q "port $candidate" "$work/stdout.txt"; then
        port=$candidate
        break
    fi
    kill -KILL "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    server=
done
[ -n "$port" ] || { cat "$work/stderr.txt"; fail "the server did not start"; }
dir=$(cd "$run" && pwd -P)
first=$(head -1 "$work/stdout.txt")
[ "$first" = "Server en écoute sur le port $port, fichiers dans $dir" ] ||
    fail "start-up line: $first"
"$load" --register --login --users 1 --prefix paquet --port "$port" --timeout 60 \
    >"$work/load.txt" 2>&1 || { cat "$work/load.txt"; fail "register and log in"; }
grep -Eq "^ +created +1$" "$work/load.txt" || { cat "$work/load.txt"; fail "no account created"; }
grep -Eq "^ +served_done +1$" "$work/load.txt" || { cat "$work/load.txt"; fail "no login"; }
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=
[ "$status" -eq 0 ] || fail "the server exited with status $status after SIGTERM"
[ -s "$run/UserDB.dat" ] || fail "no UserDB.dat"
grep -q "User paquet1 ajouté" "$run/Log.txt" || fail "Log.txt lacks the registration"
grep -q "Log de paquet1" "$run/Log.txt" || fail "Log.txt lacks the login"
! grep -q "en écoute" "$run/Log.txt" || fail "the start-up line went to Log.txt"

echo "package test: removing both packages"
"${apt_get[@]}" purge parlomatic parlomatic-server >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get purge"; }
[ ! -e /usr/bin/parlomatic-server ] && [ ! -e /usr/bin/parlomatic ] || fail "programs left behind"
echo "package tests passed"
