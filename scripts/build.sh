#!/usr/bin/env bash
# Configures and builds one flavour: `scripts/build.sh` (build/) or
# `scripts/build.sh asan` (build-asan/, AddressSanitizer + UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
case "$flavour" in
  release) dir=build; opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    dir=build-asan; opts=(-DCMAKE_BUILD_TYPE=Debug -DRAVEDERI_SANITIZE=ON -DRAVEDERI_BENCH=OFF) ;;
  *) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
