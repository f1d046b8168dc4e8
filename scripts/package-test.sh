#!/usr/bin/env bash
# package-test.sh <parlo-load>: builds the three Debian packages, checks what
# they hold (file lists, dependencies, desktop entries, lintian, the systemd
# unit and its exposure), runs the server package's maintainer scripts with
# recorders in place of deb-systemd-helper and deb-systemd-invoke, installs
# an older server package and upgrades it, runs the installed server headless
# on a free loopback port while <parlo-load> registers and logs in users and
# --admin manages accounts, checks that a second server on the same directory
# is refused, and removes the packages again. Needs root (or sudo).
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
console_deb=dist/parlomatic-server-console_${version}_${arch}.deb
for deb in "$client_deb" "$server_deb" "$console_deb"; do
    [ -f "$deb" ] || fail "missing $deb"
done

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
mapfile -t console_icons < <(icons parlomatic-server-console)
expect_files "$client_deb" /usr/bin/parlomatic /usr/share/parlomatic/Receive.wav \
    /usr/share/applications/parlomatic.desktop "${client_icons[@]}" \
    /usr/share/man/man1/parlomatic.1.gz /usr/share/doc/parlomatic/README.md \
    /usr/share/doc/parlomatic/copyright /usr/share/doc/parlomatic/changelog.gz
expect_files "$server_deb" /usr/bin/parlomatic-server \
    /lib/systemd/system/parlomatic-server.service /etc/default/parlomatic-server \
    /etc/logrotate.d/parlomatic-server /usr/share/doc/parlomatic-server/README.Debian \
    /usr/share/man/man1/parlomatic-server.1.gz /usr/share/doc/parlomatic-server/README.md \
    /usr/share/doc/parlomatic-server/copyright /usr/share/doc/parlomatic-server/changelog.gz
expect_files "$console_deb" /usr/bin/parlomatic-server-console \
    /usr/share/applications/parlomatic-server-console.desktop "${console_icons[@]}" \
    /usr/share/man/man1/parlomatic-server-console.1.gz \
    /usr/share/doc/parlomatic-server-console/copyright
for deb in "$client_deb" "$server_deb" "$console_deb"; do
    dpkg-deb -f "$deb" Version | grep -qxF "$version" || fail "$deb is not version $version"
done
for deb in "$client_deb" "$console_deb"; do
    dpkg-deb -f "$deb" Depends | grep -q libqt6core6 || fail "$deb has no library dependencies"
    dpkg-deb -f "$deb" Depends | grep -q "qt6-qpa-plugins" || fail "$deb lacks qt6-qpa-plugins"
done
# A server machine needs no graphical library.
! dpkg-deb -f "$server_deb" Depends | grep -q "libqt6" || fail "the server package depends on Qt"
dpkg-deb -f "$server_deb" Depends | grep -q "libuv1" || fail "the server package lacks libuv1"
[ "$(dpkg-deb -I "$server_deb" conffiles | sort)" = "/etc/default/parlomatic-server
/etc/logrotate.d/parlomatic-server" ] || fail "the server package's conffiles"
dpkg-deb -x "$client_deb" "$work/client"
dpkg-deb -x "$server_deb" "$work/server"
dpkg-deb -x "$console_deb" "$work/console"
grep -q "Expat" "$work/client/usr/share/doc/parlomatic/copyright" || fail "copyright names no licence"
cmp -s "$work/server/usr/share/doc/parlomatic-server/copyright" \
    "$work/client/usr/share/doc/parlomatic/copyright" || fail "the packages' copyright files differ"

unit="$work/server/lib/systemd/system/parlomatic-server.service"
for line in "ExecStart=/usr/bin/parlomatic-server --headless \$PARLOMATIC_SERVER_OPTIONS" \
    "EnvironmentFile=-/etc/default/parlomatic-server" "StateDirectory=parlomatic" \
    "StateDirectoryMode=0700" "RuntimeDirectory=parlomatic" "UMask=0077" "LimitNOFILE=65536" \
    "WorkingDirectory=/var/lib/parlomatic" "DynamicUser=yes" "Restart=on-failure" \
    "ProtectSystem=strict" "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX"; do
    grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done
grep -q '^PARLOMATIC_SERVER_OPTIONS="--tls-port 7778"$' "$work/server/etc/default/parlomatic-server" ||
    fail "the options file sets no PARLOMATIC_SERVER_OPTIONS"
rotate="$work/server/etc/logrotate.d/parlomatic-server"
for word in weekly "rotate 8" compress missingok notifempty; do
    grep -qxP "\t$word" "$rotate" || fail "logrotate lacks $word"
done
! grep -qP "^\s*copytruncate" "$rotate" || fail "logrotate copies and truncates"
if command -v systemd-analyze >/dev/null; then
    echo "package test: the unit's exposure"
    systemd-analyze security --offline=yes --threshold=20 "$unit" | tail -1 ||
        fail "the unit's exposure is above 2.0"
fi

echo "package test: desktop entries"
desktop-file-validate "$work/client/usr/share/applications/parlomatic.desktop" \
    "$work/console/usr/share/applications/parlomatic-server-console.desktop"
[ ! -d "$work/server/usr/share/applications" ] || fail "the server package has a menu entry"
grep -qx "Categories=Network;InstantMessaging;" \
    "$work/client/usr/share/applications/parlomatic.desktop" || fail "client's categories"

if command -v lintian >/dev/null; then
    echo "package test: lintian"
    lintian --fail-on warning "$client_deb" "$server_deb" "$console_deb" >"$work/lintian.txt" 2>&1 ||
        { grep -v "^running with root" "$work/lintian.txt"; fail "lintian warnings"; }
fi

echo "package test: maintainer scripts"
scripts/maintainer-scripts-test.sh "$server_deb" "$work/scripts"

echo "package test: upgrading an older server package"
"${apt_get[@]}" purge parlomatic parlomatic-server parlomatic-server-console >/dev/null 2>&1 || true
# The older package: these files with the maintainer scripts of version 0.1
# as first released, under a lower version.
old="$work/old"
dpkg-deb -R "$server_deb" "$old"
sed -i "s/^Version: .*/Version: ${version}~old/" "$old/DEBIAN/control"
for script in postinst prerm postrm; do
    git show "02d84cf:packaging/server/$script" >"$old/DEBIAN/$script" 2>/dev/null ||
        cp "packaging/server/$script" "$old/DEBIAN/$script"
done
dpkg-deb -b --root-owner-group "$old" "$work/parlomatic-server_old.deb" >/dev/null
"${apt_get[@]}" install "$work/parlomatic-server_old.deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "installing the older package"; }
state=/var/lib/private/parlomatic
"${sudo_cmd[@]}" mkdir -p "$state"
"${sudo_cmd[@]}" ln -sfn private/parlomatic /var/lib/parlomatic
printf 'accounts of the office' | "${sudo_cmd[@]}" tee "$state/UserDB.dat" >/dev/null

echo "package test: installing the three packages"
"${apt_get[@]}" install "./$client_deb" "./$server_deb" "./$console_deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install"; }
[ "$("${sudo_cmd[@]}" cat "$state/UserDB.dat")" = "accounts of the office" ] ||
    fail "the upgrade changed UserDB.dat"
getent group parlomatic-admin >/dev/null || fail "no group parlomatic-admin"
for program in /usr/bin/parlomatic /usr/bin/parlomatic-server /usr/bin/parlomatic-server-console; do
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
control="$work/control"
mkdir -p "$run"
port=
for _ in $(seq 10); do
    candidate=$((20000 + RANDOM % 40000))
    (cd "$run" && exec /usr/bin/parlomatic-server --headless --port "$candidate" \
        --control "$control" >"$work/stdout.txt" 2>"$work/stderr.txt") &
    server=$!
    for _ in $(seq 50); do
        grep -q "en écoute sur le port $candidate," "$work/stdout.txt" 2>/dev/null && break
        kill -0 "$server" 2>/dev/null || break
        sleep 0.1
    done
    if grep -q "en écoute sur le port $candidate," "$work/stdout.txt"; then
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

echo "package test: administering the running server"
admin() { /usr/bin/parlomatic-server --control "$control" --admin "$@"; }
logs_in() { # logs_in PREFIX PASSWORD: PREFIX1 logs in with PASSWORD
    "$load" --login --users 1 --prefix "$1" --password "$2" --port "$port" --timeout 30 \
        >"$work/load.txt" 2>&1 && grep -Eq "^ +served_done +1$" "$work/load.txt"
}
[ "$(echo secret | admin add bureau1 --first-name Anne --last-name Roy --email a@b.fr)" = \
    "Compte bureau1 ajouté" ] || fail "--admin add"
logs_in bureau secret || { cat "$work/load.txt"; fail "the added account cannot log in"; }
[ "$(echo nouveau | admin passwd paquet1)" = "Mot de passe de paquet1 changé" ] ||
    fail "--admin passwd"
logs_in paquet nouveau || { cat "$work/load.txt"; fail "no login with the new password"; }
! logs_in paquet motdepasse || fail "the old password still logs in"
admin list | grep -qxP "bureau1\tAnne\tRoy\ta@b.fr" || fail "--admin list"
[ "$(admin delete bureau1)" = "Compte bureau1 supprimé" ] || fail "--admin delete"
! admin list | grep -q "^bureau1" || fail "the deleted account is still listed"
! admin delete bureau1 2>/dev/null || fail "deleting an unknown account succeeded"
if command -v setpriv >/dev/null; then
    chmod 0755 "$work"  # the socket is reachable; its server decides who may use it
    ! setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/parlomatic-server \
        --control "$control" --admin list 2>"$work/refused.txt" >/dev/null &&
        grep -q "^Accès refusé" "$work/refused.txt" || fail "nobody may administer"
fi

echo "package test: a second server on the same directory"
status=0
(cd "$run" && exec /usr/bin/parlomatic-server --headless --port 1 2>"$work/second.txt") ||
    status=$?
[ "$status" -eq 1 ] && grep -qxF "Server: Un autre Server utilise déjà $dir" "$work/second.txt" ||
    fail "a second server was not refused: $status $(cat "$work/second.txt")"
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=
[ "$status" -eq 0 ] || fail "the server exited with status $status after SIGTERM"
[ -s "$run/UserDB.dat" ] || fail "no UserDB.dat"
grep -q "User paquet1 ajouté" "$run/Log.txt" || fail "Log.txt lacks the registration"
grep -q "Log de paquet1" "$run/Log.txt" || fail "Log.txt lacks the login"
grep -q "Journal du " "$run/Log.txt" || fail "Log.txt has no dated line"
! grep -q "en écoute" "$run/Log.txt" || fail "the start-up line went to Log.txt"
[ -z "$(find "$run" -maxdepth 1 -type f \( -name 'UserDB*' -o -name Log.txt \) -perm /077)" ] ||
    fail "files readable by others"
[ ! -e "$control" ] || fail "the control socket outlived the server"

echo "package test: removing the packages"
"${apt_get[@]}" purge parlomatic parlomatic-server parlomatic-server-console \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge"; }
[ ! -e /usr/bin/parlomatic-server ] && [ ! -e /usr/bin/parlomatic ] || fail "programs left behind"
[ -e "$state/UserDB.dat" ] || fail "the purge removed the accounts"
"${sudo_cmd[@]}" rm -rf "$state" /var/lib/parlomatic
"${sudo_cmd[@]}" delgroup --quiet parlomatic-admin >/dev/null 2>&1 || true
echo "package tests passed"
