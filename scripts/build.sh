#!/usr/bin/env bash
# Configures and builds one flavour: `scripts/build.sh` (build/) or
# `scripts/build.sh asan` (build-asan/, AddressSanitizer + UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
case "$flavour" in
  # The build users make (Release), with warnings as errors on top.
  release) dir=build; opts=(-DCMAKE_BUILD_TYPE=Release -DRAVEDERI_WERROR=ON) ;;
  asan)    dir=build-asan; opts=(-DCMAKE_BUILD_TYPE=Debug -DRAVEDERI_WERROR=ON -DRAVEDERI_SANITIZE=ON -DRAVEDERI_BENCH=OFF) ;;
  *) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
# ccache, where a developer has it, makes rebuilds in several checkouts cheap.
if command -v ccache >/dev/null; then
  opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
fi
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
