#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with.
# Idempotent: packages already present are left alone.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    zlib1g-dev libdeflate-dev libuv1-dev libssl-dev libxss-dev
    qt6-base-dev qt6-multimedia-dev libgl-dev qt6-translations-l10n libqt6sql6-sqlite
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth
    fonts-arkpandora dbus-daemon python3-dbusmock
    file desktop-file-utils lintian
)
# Not needed by the build or the tests: tools/load/plot_figures.py draws the
# plots of docs/load.md with Debian's python3-matplotlib (apt-get install it).

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
