#!/usr/bin/env bash
# take.sh [OUTDIR]: takes the documentation's pictures (default docs/screenshots).
# Starts a virtual X display (1280x800, 24 bits) with the openbox window
# manager, so windows have their titles and frames, runs every
# build/bin/parlo-*-shots program with OUTDIR, then stops the display.
# openbox and Xvfb are installed here when missing: only the pictures need
# them, never the programs.
set -euo pipefail
cd "$(dirname "$0")/../.."
outdir=${1:-docs/screenshots}
mkdir -p "$outdir"

missing=()
command -v openbox >/dev/null || missing+=(openbox)
command -v Xvfb >/dev/null || missing+=(xvfb)
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    echo "Installing for the screenshots: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

shopt -s nullglob
programs=(build/bin/parlo-*-shots)
if [ ${#programs[@]} -eq 0 ]; then
    echo "take.sh: no build/bin/parlo-*-shots program; build first (./run.sh)" >&2
    exit 1
fi

# A free display number: the first without a lock file.
display=99
while [ -e "/tmp/.X${display}-lock" ]; do
    display=$((display + 1))
done
export DISPLAY=:${display}
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

xvfb_pid=
wm_pid=
stop() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    return 0
}
trap stop EXIT

Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display}" ] && break
    sleep 0.1
done
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 1  # openbox takes over the display

status=0
for program in "${programs[@]}"; do
    echo "== $program"
    "$program" "$outdir" || status=1
done
exit $status
