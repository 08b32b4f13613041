#!/usr/bin/env bash
# Builds everything and runs every test, first in the normal build, then in
# the sanitizer build. `scripts/test.sh release` or `asan` runs one of them.
# Under CI (CI=true) every fuzz target then runs for a short while
# (scripts/fuzz.sh, 20 seconds each unless RAVEDERI_FUZZ_SECONDS says
# otherwise), so that a crash fails the run, and the Debian package made
# from the normal build is installed, tried and removed again
# (scripts/package-test.sh, which needs root).
set -euo pipefail
cd "$(dirname "$0")/.."
flavours=("$@")
[ ${#flavours[@]} -gt 0 ] || flavours=(release asan)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for f in "${flavours[@]}"; do
  bash scripts/build.sh "$f"
  dir=build; [ "$f" = asan ] && dir=build-asan
  echo "== tests ($f)"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
done
if [ "${CI:-}" = true ]; then
  if [ -d build ] && [ "$(id -u)" -eq 0 ]; then
    echo "== package"
    bash scripts/package-test.sh build
  fi
  echo "== fuzz"
  bash scripts/fuzz.sh "${RAVEDERI_FUZZ_SECONDS:-20}"
fi
