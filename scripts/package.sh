#!/usr/bin/env bash
# Builds the Debian package: a Release build for the prefix /usr in
# build-deb/ (RAVEDERI_DEB_BUILD_DIR), compiled with Debian's hardening flags
# and without tests or benchmarks, packed by CPack. Its dependencies are
# computed by dpkg-shlibdeps. The last line printed is the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=${RAVEDERI_DEB_BUILD_DIR:-build-deb}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
opts=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DRAVEDERI_TESTS=OFF -DRAVEDERI_BENCH=OFF
  "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $cppflags"
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $cppflags"
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
  "-DCMAKE_SHARED_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
if command -v ccache >/dev/null; then
  opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
fi
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/package/ravederi_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$PWD/$dir"/package/ravederi_*.deb
