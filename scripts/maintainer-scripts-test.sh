#!/usr/bin/env bash
# maintainer-scripts-test.sh <server .deb> <scratch dir>: runs the package's
# postinst, prerm and postrm for installation, upgrade, removal and purge,
# with and without a running systemd (a private /run in a mount namespace),
# with recorders in place of deb-systemd-helper, deb-systemd-invoke,
# systemctl, getent and addgroup, and checks what they were asked to do.
set -euo pipefail
deb=$1
work=$2
rm -rf "$work"
mkdir -p "$work/bin"
dpkg-deb -e "$deb" "$work/control"
record="$work/calls.txt"
for tool in deb-systemd-helper deb-systemd-invoke systemctl addgroup getent; do
    cat >"$work/bin/$tool" <<TOOL
#!/bin/sh
echo "$tool \$*" >>"$record"
# An administrator's "systemctl disable" shows as was-enabled failing.
[ "$tool \$*" = "deb-systemd-helper --quiet was-enabled parlomatic-server.service" ] &&
    [ -n "\${DISABLED:-}" ] && exit 1
[ "$tool" = getent ] && exit 2
exit 0
TOOL
    chmod +x "$work/bin/$tool"
done

fail() {
    echo "maintainer scripts FAILED: $*" >&2
    exit 1
}
# run_script SYSTEMD(yes|no) SCRIPT ARGS...: the calls it made, one a line.
run_script() {
    local systemd=$1 script=$2
    shift 2
    : >"$record"
    local run=(env "PATH=$work/bin:$PATH" sh "$work/control/$script" "$@")
    if [ "$systemd" = yes ]; then
        unshare -m sh -c 'mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/system && exec "$@"' \
            sh "${run[@]}"
    else
        "${run[@]}"
    fi
    cat "$record"
}
expect() { # expect NAME ACTUAL EXPECTED
    [ "$2" = "$3" ] || fail "$1: got
$2
expected
$3"
}

enable="deb-systemd-helper unmask parlomatic-server.service
deb-systemd-helper --quiet was-enabled parlomatic-server.service
deb-systemd-helper enable parlomatic-server.service"
group="getent group parlomatic-admin
addgroup --quiet --system parlomatic-admin"
reload="systemctl --system daemon-reload"

expect "installation without systemd" "$(run_script no postinst configure)" "$group
$enable"
if unshare -m true 2>/dev/null; then
    expect "installation with systemd" "$(run_script yes postinst configure)" "$group
$enable
$reload
deb-systemd-invoke start parlomatic-server.service"
    expect "upgrade with systemd" "$(run_script yes postinst configure 0.1~old)" "$group
$enable
$reload
deb-systemd-invoke restart parlomatic-server.service"
    expect "upgrade of a disabled service" "$(DISABLED=1 run_script yes postinst configure 0.1~old)" \
        "$group
deb-systemd-helper unmask parlomatic-server.service
deb-systemd-helper --quiet was-enabled parlomatic-server.service
deb-systemd-helper update-state parlomatic-server.service
$reload
deb-systemd-invoke restart parlomatic-server.service"
    expect "removal with systemd" "$(run_script yes prerm remove)" \
        "deb-systemd-invoke stop parlomatic-server.service"
    expect "prerm of an upgrade" "$(run_script yes prerm upgrade 0.2)" ""
    expect "postrm remove with systemd" "$(run_script yes postrm remove)" \
        "deb-systemd-helper mask parlomatic-server.service
$reload"
else
    echo "maintainer scripts: no mount namespace here, the runs with systemd are skipped"
fi
expect "removal without systemd" "$(run_script no prerm remove)" ""
expect "postrm remove" "$(run_script no postrm remove)" \
    "deb-systemd-helper mask parlomatic-server.service"
expect "purge" "$(run_script no postrm purge)" "deb-systemd-helper purge parlomatic-server.service
deb-systemd-helper unmask parlomatic-server.service"
echo "maintainer scripts passed"
