#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The server keeps UserDB.dat and Log.txt in run/. With a display it opens its
# console (a build without the console runs headless by itself); without one
# it runs headless, and Ctrl-C ends it after saving the database.
mkdir -p run
cd run
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ../build/bin/Server "$@"
fi
exec ../build/bin/Server --headless "$@"
