#!/usr/bin/env bash
# Builds the Debian package; the last line printed is its path.
#
#   scripts/package.sh          a Release build for the prefix /usr in build-deb/
#                               (RAVEDERI_DEB_BUILD_DIR), compiled with Debian's
#                               hardening flags, without tests or benchmarks
#   scripts/package.sh DIR      packs an existing build (such as build/ of
#                               scripts/build.sh), building only what the package holds
#
# CPack packs it; dpkg-shlibdeps computes its dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if [ $# -gt 0 ]; then
  dir=$1
  [ -f "$dir/CMakeCache.txt" ] || { echo "package.sh: $dir is not a configured build" >&2; exit 2; }
  cmake "$dir" >/dev/null
  cmake --build "$dir" --target ravederi_install_files
  rm -f "$dir"/package/ravederi_*.deb
  (cd "$dir" && cpack -G DEB >/dev/null)
  ls "$PWD/$dir"/package/ravederi_*.deb
  exit 0
fi
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
