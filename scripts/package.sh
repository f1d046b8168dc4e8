#!/usr/bin/env bash
# package.sh [build dir]: builds the Debian packages parlomatic (the client) and
# parlomatic-server (the server and its systemd service) into dist/, from an
# optimised, hardened build of the two programs in build-package/ (or the
# directory given). The version is the project's version in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}

# Debian's hardening flags (all of them), without debugging information (the
# programs are installed stripped).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=$(sed -E 's/(^| )-g( |$)/ /g; s/(^| )-O[0-9s]( |$)/ /g' <<<"$cxxflags")
ldflags="$(dpkg-buildflags --get LDFLAGS) -s"

echo "package: configuring $dir"
mkdir -p "$dir"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DPARLO_TESTS=OFF -DPARLO_BENCH=OFF -DPARLO_SANITIZE=OFF -DPARLO_FUZZ=OFF -DPARLO_GUI=ON \
    "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >"$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; exit 1; }
echo "package: building Parlomatic and Server"
cmake --build "$dir" --parallel "$(nproc)"
echo "package: making the packages in dist/"
rm -rf dist/_CPack_Packages dist/*.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log"; exit 1; }
rm -rf dist/_CPack_Packages
ls dist/*.deb
